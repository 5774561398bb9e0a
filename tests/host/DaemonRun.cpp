#include "host/DaemonRun.h"

#include "host/Process.h"

#include <signal.h>

#include <sstream>

namespace zorvan::test {

bool alive(int pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && stat.compare(close + 2, 1, "Z") != 0;
}

DaemonRun::~DaemonRun() {
    if (pid_ > 0) {
        for (int child : savers()) kill(child, SIGKILL);
        kill(pid_, SIGKILL);
        waitProcess(pid_, 5);
    }
}

std::string DaemonRun::log() const { return readFile(log_); }

bool DaemonRun::ready(double seconds) const {
    return waitUntil([&] { return log().find("watching ") != std::string::npos; }, seconds, 0.02);
}

std::vector<int> DaemonRun::savers() const {
    std::vector<int> pids;
    std::istringstream in(readFile("/proc/" + std::to_string(pid_) + "/task/" + std::to_string(pid_) + "/children"));
    for (int pid = 0; in >> pid;) pids.push_back(pid);
    return pids;
}

bool DaemonRun::waitSaving(bool running, double seconds) const {
    return waitUntil([&] { return saving() == running; }, seconds, 0.02);
}

std::vector<int> DaemonRun::children(const std::string& argument) const {
    std::vector<int> found;
    for (int pid : savers()) {
        std::string command = readFile("/proc/" + std::to_string(pid) + "/cmdline");
        for (char& c : command)
            if (c == '\0') c = ' ';
        if ((" " + command).find(" " + argument + " ") != std::string::npos) found.push_back(pid);
    }
    return found;
}

int DaemonRun::end(int signal, double seconds) {
    kill(pid_, signal);
    return ended(seconds);
}

int DaemonRun::ended(double seconds) {
    const int status = waitProcess(pid_, seconds);
    pid_ = -1;
    return status;
}

}  // namespace zorvan::test
