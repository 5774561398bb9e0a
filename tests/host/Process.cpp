#include "host/Process.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace zorvan::test {

namespace {

std::vector<char*> argvOf(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

}  // namespace

std::string zorvanPath() { return ZORVAN_BIN_DIR "/zorvan"; }

int spawnProcess(const std::string& program, const std::vector<std::string>& args,
                 const ChildSetup& setup) {
    std::vector<char*> argv = argvOf(program, args);
    const pid_t pid = fork();
    if (pid != 0) return pid;

    // A test that dies leaves no program running behind it (ctest would wait for it).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (setup.ownGroup) setpgid(0, 0);
    if (!setup.cwd.empty() && chdir(setup.cwd.c_str()) != 0) _exit(126);
    if (setup.quiet) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
    }
    const int out = setup.outPath.empty() ? -1 : open(setup.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = setup.errPath.empty() ? -1
                    : setup.errPath == setup.outPath
                        ? out
                        : open(setup.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if ((!setup.outPath.empty() && out < 0) || (!setup.errPath.empty() && err < 0)) _exit(126);
    if (out >= 0) dup2(out, 1);
    if (err >= 0) dup2(err, 2);
    if (setup.emptyEnv) clearenv();
    for (const auto& entry : setup.env) {
        const size_t eq = entry.find('=');
        if (eq == std::string::npos) unsetenv(entry.c_str());
        else setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
    }
    execvp(program.c_str(), argv.data());
    _exit(127);
}

int startProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::vector<std::string>& env, const std::string& errPath) {
    ChildSetup setup;
    setup.env = env;
    setup.errPath = errPath;
    return spawnProcess(program, args, setup);
}

int waitProcess(int pid, double timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0) return -1;
        if (Clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& unset, double timeoutSeconds) {
    ChildSetup setup;
    setup.env = unset;
    return runChild(program, args, setup, timeoutSeconds);
}

ProcessResult runChild(const std::string& program, const std::vector<std::string>& args, ChildSetup setup,
                       double timeoutSeconds) {
    ProcessResult result;
    TempDir dir;
    if (setup.outPath.empty()) setup.outPath = dir.file("out");
    if (setup.errPath.empty()) setup.errPath = dir.file("err");
    const int pid = spawnProcess(program, args, setup);
    if (pid < 0) return result;
    result.exitCode = waitProcess(pid, timeoutSeconds);
    result.out = readFile(setup.outPath);
    result.err = readFile(setup.errPath);
    return result;
}

namespace {

const char SETPRIV[] = "/usr/bin/setpriv";

}  // namespace

DaemonUser::DaemonUser() {
    if (uid != 0) return;
    const passwd* nobody = getpwnam("nobody");
    if (!nobody || access(SETPRIV, X_OK) != 0) {
        why = "running as root without a nobody user or setpriv to drop to";
        return;
    }
    uid = nobody->pw_uid;
    gid = nobody->pw_gid;
}

int DaemonUser::spawn(const std::string& program, const std::vector<std::string>& args, const ChildSetup& setup,
                      const std::vector<std::string>& options) const {
    if (uid == getuid()) return spawnProcess(program, args, setup);
    std::vector<std::string> command = {"--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid),
                                        "--clear-groups"};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(program);
    command.insert(command.end(), args.begin(), args.end());
    return spawnProcess(SETPRIV, command, setup);
}

double cpuSeconds(int pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const size_t name = text.rfind(')');
    if (name == std::string::npos) return 0.0;
    std::istringstream fields(text.substr(name + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoul(field);
        if (i == 15) stime = std::stoul(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

double cpuOver(int pid, double seconds) {
    const double before = cpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return cpuSeconds(pid) - before;
}

namespace {

// A "Vm…:" line of /proc/PID/status, in MiB.
double statusMiB(int pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + key.size()) / 1024.0;
    return 0.0;
}

}  // namespace

double residentMiB(int pid) { return statusMiB(pid, "VmRSS:"); }
double peakMiB(int pid) { return statusMiB(pid, "VmHWM:"); }

}  // namespace zorvan::test
