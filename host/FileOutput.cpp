#include "host/FileOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zorvan::host {

bool writeWholeFile(const std::string& path, const void* data, size_t size, const std::string& what,
                    std::string& error) {
    const std::string name = what.empty() ? path : what + " " + path;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + name + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + name + ": " + std::strerror(written ? errno : writeErrno);
        std::remove(path.c_str());
        return false;
    }
    return true;
}

}  // namespace zorvan::host
