// zorvan-daemon: what `zorvan --daemon`, `--activate` and `--deactivate` become (zorvan
// execs it), so that the long-running daemon loads no picture, GL or toolkit library and
// none of the saver's code. It runs the saver, libexec/zorvan/../../bin/zorvan, as a child.
#include "host/daemon/DaemonInstance.h"
#include "host/daemon/DaemonSettings.h"
#include "host/daemon/IdleDaemon.h"

#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>

using namespace zorvan::daemon;

namespace {

// The zorvan beside the daemon: bin/zorvan from libexec/zorvan/zorvan-daemon.
std::string saverProgram() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "zorvan";
    return (self.parent_path().parent_path().parent_path() / "bin" / "zorvan").string();
}

}  // namespace

int main(int argc, char** argv) {
    const DaemonParse parsed = parseDaemonCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.command) {
        std::fprintf(stderr, "zorvan: %s\n", parsed.error.c_str());
        return 2;
    }
    const DaemonCommand& command = *parsed.command;
    if (command.action != DaemonCommand::Action::Run) {
        if (DaemonInstance::tell(command.action == DaemonCommand::Action::Activate ? SIGUSR1 : SIGUSR2)) return 0;
        std::fputs("zorvan: no zorvan --daemon runs in this session\n", stderr);
        return 2;
    }
    int holder = 0;
    std::optional<DaemonInstance> instance = DaemonInstance::claim(holder);
    if (!instance) {
        std::fprintf(stderr, "zorvan: zorvan --daemon already runs in this session (pid %d)\n", holder);
        return 2;
    }
    IdleDaemon daemon(command, saverProgram());
    return daemon.run();
}
