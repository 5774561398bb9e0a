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

bool writeWholeFile(const std::string& path, const void* data, size_t size, const std::string& what,
                    std::string& error) {
    const std::string name = what.empty() ? path : what + " " + path;
    auto fail = [&](const char* reason) {
        error = "cannot write " + name + ": " + reason;
        return false;
    };

    // An existing target must be a regular file (through any symbolic links); the new
    // file replaces the file the links lead to, with that file's permissions.
    std::string target = path;
    mode_t mode = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return fail("not a regular file");
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved)) target = resolved;
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return fail(std::strerror(errno));
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    std::string temp = folderOf(target) + "/.zorvan-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail(std::strerror(errno));

    const bool written = writeAll(fd, data, size) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), target.c_str()) != 0) {
        const int reason = !written ? writeErrno : errno;
        ::unlink(temp.c_str());
        return fail(std::strerror(reason));
    }
    return true;
}

}  // namespace zorvan::host
