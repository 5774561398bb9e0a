// Writing a whole output file (a rendered picture, a mote dump) or nothing.
#pragma once

#include <cstddef>
#include <string>

namespace zorvan::host {

// Writes `size` bytes to `path`: to a temporary file in the same folder, flushed, then
// renamed over `path`. On failure `path` is as it was (only the temporary file is
// removed), `error` is one line ("cannot write <what> <path>: <reason>") and the result
// false. A target that exists and is not a regular file (a device, a FIFO, a folder)
// is refused untouched.
bool writeWholeFile(const std::string& path, const void* data, size_t size, const std::string& what,
                    std::string& error);

}  // namespace zorvan::host
