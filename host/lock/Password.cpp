// The password buffer: an anonymous mapping, mlocked, MADV_DONTDUMP and MADV_WIPEONFORK,
// zeroed with explicit_bzero whenever its text goes. Nothing here copies the bytes
// anywhere else, logs them or puts them in a std::string.
#include "host/lock/Password.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace zorvan::lock {

namespace {

// The characters in `text` when it is valid UTF-8 without control characters (C0, DEL,
// C1), overlong forms, surrogates or code points past U+10FFFF; -1 otherwise.
long charactersIn(const unsigned char* text, size_t size) {
    long count = 0;
    for (size_t i = 0; i < size; ++count) {
        const unsigned char lead = text[i];
        size_t length;
        uint32_t cp;
        if (lead < 0x80) length = 1, cp = lead;
        else if ((lead & 0xe0) == 0xc0) length = 2, cp = lead & 0x1f;
        else if ((lead & 0xf0) == 0xe0) length = 3, cp = lead & 0x0f;
        else if ((lead & 0xf8) == 0xf0) length = 4, cp = lead & 0x07;
        else return -1;
        if (length > size - i) return -1;
        for (size_t k = 1; k < length; ++k) {
            if ((text[i + k] & 0xc0) != 0x80) return -1;
            cp = (cp << 6) | (text[i + k] & 0x3f);
        }
        static constexpr uint32_t SMALLEST[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < SMALLEST[length] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return -1;
        if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0)) return -1;
        i += length;
    }
    return count;
}

}  // namespace

Password::Password() {
    // A page of its own: the protections apply to whole pages, and nothing else shares it.
    const long page = sysconf(_SC_PAGESIZE);
    mapped_ = (CAPACITY + 1 + size_t(page) - 1) / size_t(page) * size_t(page);
    void* map = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) throw std::system_error(errno, std::generic_category(), "mmap for the password");
    data_ = static_cast<char*>(map);
    if (madvise(data_, mapped_, MADV_DONTDUMP) != 0) {
        const int error = errno;
        munmap(data_, mapped_);
        throw std::system_error(error, std::generic_category(), "madvise(MADV_DONTDUMP) for the password");
    }
#ifdef MADV_WIPEONFORK
    // A child forked later (a helper program before its exec) sees zeroes. Kernels before
    // 4.14 lack it; the buffer is still safe in this process.
    madvise(data_, mapped_, MADV_WIPEONFORK);
#endif
    locked_ = mlock(data_, mapped_) == 0;
}

Password::~Password() {
    explicit_bzero(data_, mapped_);
    if (locked_) munlock(data_, mapped_);
    munmap(data_, mapped_);
}

bool Password::append(std::string_view utf8) {
    const auto* text = reinterpret_cast<const unsigned char*>(utf8.data());
    if (utf8.empty() || utf8.size() > CAPACITY - bytes_) return false;
    const long count = charactersIn(text, utf8.size());
    if (count < 0) return false;
    std::memcpy(data_ + bytes_, utf8.data(), utf8.size());
    bytes_ += utf8.size();
    characters_ += size_t(count);
    return true;
}

bool Password::removeLast() {
    if (bytes_ == 0) return false;
    size_t start = bytes_ - 1;
    while (start > 0 && (static_cast<unsigned char>(data_[start]) & 0xc0) == 0x80) --start;
    explicit_bzero(data_ + start, bytes_ - start);
    bytes_ = start;
    --characters_;
    return true;
}

void Password::clear() {
    explicit_bzero(data_, mapped_);
    bytes_ = 0;
    characters_ = 0;
}

bool Password::adopt(size_t bytes) {
    const long count = bytes <= CAPACITY ? charactersIn(reinterpret_cast<const unsigned char*>(data_), bytes) : -1;
    if (count < 0) {
        clear();
        return false;
    }
    explicit_bzero(data_ + bytes, mapped_ - bytes);
    bytes_ = bytes;
    characters_ = size_t(count);
    return true;
}

}  // namespace zorvan::lock
