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

int runSettingsProgram(char** argv) {
    std::error_code ec;
    const fs::path program =
        fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "libexec" / "zorvan" / "zorvan-settings";
    // A stop signal that comes before the settings program has its handlers waits for
    // them (a blocked signal stays pending across exec); they unblock it.
    sigset_t stops;
    sigemptyset(&stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, s);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    argv[0] = const_cast<char*>(program.c_str());
    execv(program.c_str(), argv);
    const int error = errno;
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    reportError("cannot run the settings program " + program.string() + ": " + std::strerror(error));
    return 1;
}

}  // namespace zorvan::host
