#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace zorvan::fuzz {

namespace {

struct Scratch {
    std::string path;
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zorvan-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("zorvan-fuzz: cannot make a scratch folder");
            std::abort();
        }
        path = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

std::string scratchFile(const std::string& name) {
    static Scratch scratch;
    return scratch.path + "/" + name;
}

void writeBytes(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    require(f != nullptr, "the scratch file can be written");
    if (size > 0) require(std::fwrite(data, 1, size, f) == size, "the scratch file takes the input");
    std::fclose(f);
}

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "zorvan-fuzz: broken: %s\n", what);
    std::abort();
}

}  // namespace zorvan::fuzz
