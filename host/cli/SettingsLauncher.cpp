#include "host/cli/SettingsLauncher.h"

#include "host/driver/ErrorLine.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace zorvan::host {

namespace fs = std::filesystem;

namespace {

// Runs libexec/zorvan/<name> beside the program's bin/ in this process.
// `what` names it in the error line.
int runHelper(const char* name, const char* what, char** argv) {
    std::error_code ec;
    const fs::path program =
        fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "libexec" / "zorvan" / name;
    // A stop signal that comes before the program has its handlers waits for
    // them (a blocked signal stays pending across exec); they unblock it.
    sigset_t stops;
    sigemptyset(&stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, s);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    argv[0] = const_cast<char*>(program.c_str());
    execv(program.c_str(), argv);
    const int error = errno;
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    reportError(std::string("cannot run the ") + what + " " + program.string() + ": " + std::strerror(error));
    return 1;
}

}  // namespace

int runSettingsProgram(char** argv) { return runHelper("zorvan-settings", "settings program", argv); }

int runDaemonProgram(char** argv) { return runHelper("zorvan-daemon", "idle daemon", argv); }

int runRecordProgram(char** argv) { return runHelper("zorvan-record", "recording program", argv); }

int runLockProgram(char** argv) { return runHelper("zorvan-lock", "lock screen", argv); }

}  // namespace zorvan::host
