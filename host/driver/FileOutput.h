// Writing a whole output file (a rendered picture, a mote dump, a recording) or nothing.
#pragma once

#include <cstddef>
#include <string>

namespace zorvan::host {

// A new file for `path`, made as a temporary file in the same folder and renamed over
// `path` only once it is complete, so `path` is either what it was or the whole new
// file. A target that exists must be a regular file (through any symbolic links); the
// new file replaces the file the links lead to, with that file's permissions. The
// temporary file is removed unless committed.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Makes the temporary file. False with `error` set to one line ("cannot write
    // <what> <path>: <reason>"); a target that is not a regular file (a device, a FIFO,
    // a folder) is refused untouched.
    bool open(const std::string& path, const std::string& what, std::string& error);
    int fd() const { return fd_; }
    // Where the content is written until the commit.
    const std::string& temporaryPath() const { return temp_; }
    // Gives the file the target's permissions, flushes it to disk and renames it over the
    // target. False with `error` set (the temporary file removed).
    bool commit(std::string& error);
    // The error line for `reason`, as open and commit word it.
    std::string failure(const std::string& reason) const;

private:
    void discard();

    std::string name_;    // what the error lines call the target
    std::string target_;  // the file that the new one replaces
    std::string temp_;
    unsigned mode_ = 0;
    int fd_ = -1;
};

// Writes `size` bytes to `path` through a PendingFile. On failure `path` is as it was,
// `error` is one line and the result false.
bool writeWholeFile(const std::string& path, const void* data, size_t size, const std::string& what,
                    std::string& error);

}  // namespace zorvan::host
