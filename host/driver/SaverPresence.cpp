#include "host/driver/SaverPresence.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace zorvan::host {

namespace {

const char* named(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value ? value : nullptr;
}

int openSessionFile() {
    const std::optional<std::string> path = SaverPresence::sessionFile();
    if (!path) return -1;
    return ::open(path->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

}  // namespace

std::optional<std::string> SaverPresence::sessionFile(const std::string& prefix) {
    const char* runtime = named("XDG_RUNTIME_DIR");
    const char* display = named("WAYLAND_DISPLAY");
    if (!display) display = named("DISPLAY");
    if (!runtime || !display) return std::nullopt;
    // A display may be a path ("/run/…/wayland-1") or carry a host (":0.0").
    std::string name = display;
    for (char& c : name)
        if (c == '/') c = '_';
    return std::string(runtime) + "/" + prefix + name;
}

SaverPresence SaverPresence::announce() {
    SaverPresence presence;
    presence.triedOpen_ = true;
    presence.fd_ = openSessionFile();
    if (presence.fd_ < 0) return presence;
    // A wallpaper looking at this moment holds the exclusive lock for a few microseconds.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::flock(presence.fd_, LOCK_SH | LOCK_NB) == 0) return presence;
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        const timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
    ::close(presence.fd_);
    presence.fd_ = -1;
    return presence;
}

bool SaverPresence::saverRunning() {
    if (!triedOpen_) {
        triedOpen_ = true;
        fd_ = openSessionFile();
    }
    if (fd_ < 0) return false;
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        ::flock(fd_, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

SaverPresence::SaverPresence(SaverPresence&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), triedOpen_(other.triedOpen_) {}

SaverPresence& SaverPresence::operator=(SaverPresence&& other) noexcept {
    std::swap(fd_, other.fd_);
    std::swap(triedOpen_, other.triedOpen_);
    return *this;
}

SaverPresence::~SaverPresence() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace zorvan::host
