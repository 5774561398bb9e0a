// The one buffer a typed password lives in: a page of its own, locked in memory, left out
// of core dumps, wiped in a child after fork, and zeroed on clear and when it goes. The
// keyboard appends and removes whole UTF-8 characters; PAM reads the bytes. It does not
// decide what a key means (Enter, Escape, Backspace are the caller's), nor talk to PAM.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace zorvan::lock {

class Password {
public:
    // Bytes of text it holds at most; typing beyond that is refused.
    static constexpr size_t CAPACITY = 1024;

    // Maps and protects the page; throws std::system_error when no page can be mapped
    // or it cannot be kept out of core dumps.
    Password();
    ~Password();
    Password(const Password&) = delete;
    Password& operator=(const Password&) = delete;

    // Appends `utf8`, one typed character or a few (a compose sequence), all or none:
    // false, and nothing appended, when it is empty, not valid UTF-8, holds a control
    // character (NUL, Enter, Escape...) or does not fit.
    bool append(std::string_view utf8);
    // Removes the last character, all its bytes; false when there is none.
    bool removeLast();
    // Zeroes the whole buffer.
    void clear();

    size_t characters() const { return characters_; }  // for the dots on the screen
    size_t size() const { return bytes_; }
    bool empty() const { return bytes_ == 0; }
    // The bytes, for PAM; not NUL-terminated.
    std::span<const char> bytes() const { return {data_, bytes_}; }

    // Whether mlock held the page in memory (it may fail under a small RLIMIT_MEMLOCK;
    // the buffer works without, and may then reach swap).
    bool memoryLocked() const { return locked_; }

    // The whole buffer, for reading a password straight into it (the authentication
    // process does); then adopt() the bytes read. CAPACITY bytes and a NUL after them.
    std::span<char> storage() { return {data_, CAPACITY}; }
    std::span<const char> storage() const { return {data_, CAPACITY + 1}; }
    // Takes the first `bytes` bytes of storage() as the text (none is an empty password);
    // false, and cleared, when they are not text that append() would take.
    bool adopt(size_t bytes);

private:
    char* data_ = nullptr;
    size_t mapped_ = 0;
    size_t bytes_ = 0;
    size_t characters_ = 0;
    bool locked_ = false;
};

}  // namespace zorvan::lock
