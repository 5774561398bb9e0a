// Writing a whole output file (a rendered picture, a mote dump) or nothing.
#pragma once

#include <cstddef>
#include <string>

namespace zorvan::host {

// Writes `size` bytes to `path`. On failure removes what was written, sets `error` to
// one line ("cannot write <what> <path>: <reason>") and returns false.
bool writeWholeFile(const std::string& path, const void* data, size_t size, const std::string& what,
                    std::string& error);

}  // namespace zorvan::host
