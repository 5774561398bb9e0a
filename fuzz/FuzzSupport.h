// What the fuzz targets share: a private folder for the files they feed the program,
// and a check that ends the run as a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zorvan::fuzz {

// A file in a folder of this process's own, made on first use and emptied at exit.
std::string scratchFile(const std::string& name);

// Replaces `path` with exactly these bytes.
void writeBytes(const std::string& path, const uint8_t* data, size_t size);

// A property that must hold: when it does not, says which and aborts (a finding).
void require(bool holds, const char* what);

}  // namespace zorvan::fuzz
