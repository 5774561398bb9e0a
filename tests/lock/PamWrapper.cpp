// Reruns a lock test case under pam_wrapper (see PamWrapper.h), and the password file of
// pam_matrix.
#include "lock/PamWrapper.h"

#include "host/Process.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

namespace zorvan::test {

namespace {

constexpr const char* PASSDB_VARIABLE = "ZORVAN_TEST_PASSDB";

std::string replaced(std::string text, const std::string& word, const std::string& by) {
    return std::regex_replace(text, std::regex("\\b" + word + "\\b"), by);
}

}  // namespace

const std::string MATRIX_STACK = "auth required MATRIX passdb=PASSDB\naccount required MATRIX passdb=PASSDB\n";

bool inPamWrapper() { return getenv(PASSDB_VARIABLE) != nullptr; }

void rerunUnderPamWrapper(const std::string& stack) {
#if defined(__SANITIZE_ADDRESS__)
    // pam_wrapper opens PAM with RTLD_DEEPBIND, which the address sanitizer's runtime
    // refuses: the PAM process would die at its first check.
    GTEST_SKIP() << "pam_wrapper cannot load PAM under the address sanitizer (RTLD_DEEPBIND)";
#endif
    const std::string library = ZORVAN_PAM_WRAPPER_LIBRARY, modules = ZORVAN_PAM_WRAPPER_MODULES;
    if (library.empty() || !std::filesystem::exists(modules + "/pam_matrix.so"))
        GTEST_SKIP() << "pam_wrapper and pam_matrix are not installed (libpam-wrapper)";
    TempDir dir("pam");
    ASSERT_FALSE(dir.path().empty());
    std::string service = replaced(stack, "MATRIX", modules + "/pam_matrix.so");
    service = replaced(service, "CHATTY", modules + "/pam_chatty.so");
    writeFile(dir.file("zorvan"), replaced(service, "PASSDB", dir.file("passdb")));

    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    ChildSetup setup;
    const char* asan = getenv("ASAN_OPTIONS");
    setup.env = {"LD_PRELOAD=" + library, "PAM_WRAPPER=1", "PAM_WRAPPER_SERVICE_DIR=" + dir.path(),
                 std::string(PASSDB_VARIABLE) + "=" + dir.file("passdb"),
                 // The sanitizers' runtime would have to come before the preloaded library.
                 "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0"};
    const auto run = runChild(std::filesystem::read_symlink("/proc/self/exe").string(),
                              {std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()},
                              setup, 120.0);
    if (run.exitCode == 0 && run.out.find("[  SKIPPED ] 1 test") != std::string::npos)
        GTEST_SKIP() << run.out.substr(run.out.find("Skipped"));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[  PASSED  ] 1 test."), std::string::npos) << run.out;
}

void writePassdb(std::string_view password, const std::string& service, bool reversed) {
    const char* path = getenv(PASSDB_VARIABLE);
    ASSERT_NE(path, nullptr);
    std::vector<char> name(16384);
    passwd entry{}, *found = nullptr;
    ASSERT_EQ(getpwuid_r(getuid(), &entry, name.data(), name.size(), &found), 0);
    ASSERT_NE(found, nullptr);
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    bool written = write(fd, found->pw_name, strlen(found->pw_name)) > 0 && write(fd, ":", 1) == 1;
    for (size_t i = 0; i < password.size(); ++i) {
        const char byte = password[reversed ? password.size() - 1 - i : i];
        written = written && write(fd, &byte, 1) == 1;
    }
    const std::string tail = ":" + service + "\n";
    written = written && write(fd, tail.data(), tail.size()) == ssize_t(tail.size());
    close(fd);
    ASSERT_TRUE(written) << path;
}

}  // namespace zorvan::test
