// Output files are written beside their target under a temporary name, flushed to disk
// and renamed over the target, so the target is either what it was or the whole new
// file. Only the temporary file that this program made is ever removed.
#include "host/driver/FileOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace zorvan::host {

namespace {

// The folder part of `path`, for the temporary file beside it.
std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

PendingFile::~PendingFile() { discard(); }

std::string PendingFile::failure(const std::string& reason) const {
    return "cannot write " + name_ + ": " + reason;
}

void PendingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

bool PendingFile::open(const std::string& path, const std::string& what, std::string& error) {
    discard();
    name_ = what.empty() ? path : what + " " + path;
    target_ = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            error = failure("not a regular file");
            return false;
        }
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved)) target_ = resolved;
        mode_ = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        error = failure(std::strerror(errno));
        return false;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode_ = 0666 & ~mask;
    }
    std::string temp = folderOf(target_) + "/.zorvan-XXXXXX";
    fd_ = ::mkstemp(temp.data());
    if (fd_ < 0) {
        error = failure(std::strerror(errno));
        return false;
    }
    temp_ = temp;
    return true;
}

bool PendingFile::commit(std::string& error) {
    const bool flushed = ::fchmod(fd_, mode_) == 0 && ::fsync(fd_) == 0;
    int reason = errno;
    const bool closed = ::close(fd_) == 0;
    if (flushed && !closed) reason = errno;
    fd_ = -1;
    if (flushed && closed && ::rename(temp_.c_str(), target_.c_str()) == 0) {
        temp_.clear();
        return true;
    }
    if (flushed && closed) reason = errno;
    error = failure(std::strerror(reason));
    discard();
    return false;
}

bool writeWholeFile(const std::string& path, const void* data, size_t size, const std::string& what,
                    std::string& error) {
    PendingFile file;
    if (!file.open(path, what, error)) return false;
    if (!writeAll(file.fd(), data, size)) {
        error = file.failure(std::strerror(errno));
        return false;
    }
    return file.commit(error);
}

}  // namespace zorvan::host
