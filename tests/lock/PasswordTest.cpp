// The password buffer: whole UTF-8 characters in and out, nothing past its size, zeroes
// left behind, and the kernel's protections on its page.
#include "host/lock/Password.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

using zorvan::lock::Password;
using namespace std::string_view_literals;

namespace {

bool zeroFrom(const Password& password, size_t from) {
    const auto all = password.storage();
    return std::all_of(all.begin() + long(from), all.end(), [](char c) { return c == 0; });
}

// The VmFlags of the mapping that holds `address`, from /proc/self/smaps.
std::string vmFlagsOf(const void* address) {
    std::istringstream smaps(zorvan::test::readFile("/proc/self/smaps"));
    const auto at = reinterpret_cast<uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        uintptr_t start = 0, end = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> start >> dash >> end && dash == '-' && line.find(' ') > line.find('-'))
            inside = start <= at && at < end;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line.substr(8) + " ";
    }
    return "";
}

}  // namespace

TEST(Password, TypingAndBackspaceGoByWholeCharacters) {
    Password password;
    for (const char* typed : {"a", "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "e\xcc\x81"})
        EXPECT_TRUE(password.append(typed)) << typed;
    EXPECT_EQ(password.characters(), 6u);  // a é € 😀 e and the combining accent
    EXPECT_EQ(password.size(), 1u + 2 + 3 + 4 + 3);
    EXPECT_EQ(std::string(password.bytes().data(), password.size()), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80" "e\xcc\x81");

    for (size_t left : {11u, 10u, 6u, 3u, 1u, 0u}) {
        EXPECT_TRUE(password.removeLast());
        EXPECT_EQ(password.size(), left);
        EXPECT_TRUE(zeroFrom(password, left)) << "bytes of a removed character stay behind";
    }
    EXPECT_EQ(password.characters(), 0u);
    EXPECT_FALSE(password.removeLast());
}

TEST(Password, RefusesWhatIsNoTypedText) {
    Password password;
    ASSERT_TRUE(password.append("x"));
    // Empty, NUL, Enter, Escape, DEL, a C1 control, a cut sequence, a lone continuation, an
    // overlong '/', a surrogate, past U+10FFFF, and good text with a newline after it.
    for (std::string_view bad : {""sv, "\0"sv, "\r"sv, "\x1b"sv, "\x7f"sv, "\xc2\x85"sv, "\xc3"sv, "\xa9"sv, "\xc0\xaf"sv,
                                 "\xed\xa0\x80"sv, "\xf4\x90\x80\x80"sv, "ok\n"sv}) {
        EXPECT_FALSE(password.append(bad)) << testing::PrintToString(std::string(bad));
    }
    EXPECT_EQ(password.size(), 1u);
    EXPECT_TRUE(zeroFrom(password, 1));
}

TEST(Password, FullBufferRefusesMoreAndNothingIsCut) {
    Password password;
    for (size_t i = 0; i + 1 < Password::CAPACITY; ++i) ASSERT_TRUE(password.append("z"));
    EXPECT_FALSE(password.append("\xc3\xa9")) << "a two-byte character in one free byte";
    EXPECT_EQ(password.size(), Password::CAPACITY - 1);
    EXPECT_TRUE(password.append("y"));
    EXPECT_FALSE(password.append("y"));
    EXPECT_EQ(password.size(), Password::CAPACITY);
    EXPECT_EQ(password.characters(), Password::CAPACITY);
    EXPECT_EQ(password.storage()[Password::CAPACITY], '\0');
}

TEST(Password, ClearAndAdoptLeaveZeroes) {
    Password password;
    ASSERT_TRUE(password.append("hunter2 \xc3\xa9t\xc3\xa9"));
    password.clear();
    EXPECT_TRUE(password.empty());
    EXPECT_EQ(password.characters(), 0u);
    EXPECT_TRUE(zeroFrom(password, 0));

    // Bytes read straight into the buffer: the text is taken, anything past it zeroed, and
    // bytes that are no text leave nothing.
    std::fill(password.storage().begin(), password.storage().end(), 'q');
    EXPECT_TRUE(password.adopt(5));
    EXPECT_EQ(password.characters(), 5u);
    EXPECT_TRUE(zeroFrom(password, 5));
    password.storage()[2] = '\n';
    EXPECT_FALSE(password.adopt(5));
    EXPECT_TRUE(password.empty());
    EXPECT_TRUE(zeroFrom(password, 0));
    EXPECT_FALSE(password.adopt(Password::CAPACITY + 1));
    EXPECT_TRUE(password.adopt(0));
}

TEST(Password, PageIsLockedKeptFromCoreDumpsAndWipedOnFork) {
    Password password;
    const std::string flags = vmFlagsOf(password.bytes().data());
    ASSERT_NE(flags, "") << "no mapping in /proc/self/smaps holds the buffer";
    EXPECT_NE(flags.find(" dd "), std::string::npos) << flags;  // MADV_DONTDUMP
    EXPECT_NE(flags.find(" wf "), std::string::npos) << flags;  // MADV_WIPEONFORK
#if !defined(__SANITIZE_ADDRESS__)  // the address sanitizer answers mlock with success and locks nothing
    if (password.memoryLocked()) {
        EXPECT_NE(flags.find(" lo "), std::string::npos) << flags;
    }
#endif
}
