#include "host/daemon/DaemonInstance.h"

#include "host/driver/SaverPresence.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>

namespace zorvan::daemon {

namespace {

std::optional<std::string> lockFile() { return host::SaverPresence::sessionFile("zorvan-daemon-"); }

int readPid(int fd) {
    char text[32] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    return n > 0 ? std::atoi(text) : 0;
}

}  // namespace

std::optional<DaemonInstance> DaemonInstance::claim(int& holder) {
    const auto path = lockFile();
    if (!path) return DaemonInstance(-1);
    const int fd = open(path->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return DaemonInstance(-1);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        holder = readPid(fd);
        close(fd);
        return std::nullopt;
    }
    const std::string pid = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0 || pwrite(fd, pid.data(), pid.size(), 0) != ssize_t(pid.size())) {
        // The lock still holds; only --activate cannot find this daemon.
    }
    return DaemonInstance(fd);
}

std::optional<int> DaemonInstance::running() {
    const auto path = lockFile();
    if (!path) return std::nullopt;
    const int fd = open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    std::optional<int> pid;
    // A lock we can take is a lock nobody holds.
    if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
        const int held = readPid(fd);
        if (held > 0) pid = held;
    }
    close(fd);
    return pid;
}

bool DaemonInstance::tell(int signal) {
    const auto pid = running();
    return pid && kill(*pid, signal) == 0;
}

DaemonInstance::DaemonInstance(DaemonInstance&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

DaemonInstance::~DaemonInstance() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace zorvan::daemon
