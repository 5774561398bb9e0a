// A lock screen's process, with a password typed and another one sent to be checked, dumped
// with gdb's gcore: the password is nowhere in the dump.
#include "host/lock/PamChild.h"

#include "host/Process.h"
#include "lock/PamWrapper.h"
#include "support/TestSupport.h"

#include <poll.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace zorvan;

namespace {

// What the lock screen does up to the moment of the dump: a check of the right password,
// which passes, then the same password typed again and left in the buffer. The password
// is typed from `reversed`, a character at a time, as keys come; it tells `ready` when
// done, then waits to be killed.
[[noreturn]] void lockScreen(const std::string& reversed, int ready) {
    lock::PamChild pam;
    lock::Password password;
    bool passed = false;
    for (int round = 0; round < 2; ++round) {
        for (size_t i = reversed.size(); i-- > 0;) password.append(std::string_view(&reversed[i], 1));
        if (round == 1) break;
        pam.check(password);
        for (int waits = 0; waits < 200 && !passed; ++waits) {
            pollfd p = {pam.fd(), POLLIN, 0};
            poll(&p, 1, 100);
            while (auto event = pam.next()) passed = passed || event->kind == lock::PamEvent::Kind::Success;
        }
    }
    const char said = passed && password.size() == reversed.size() ? 'y' : 'n';
    if (write(ready, &said, 1) != 1) _exit(1);
    for (;;) pause();
}

}  // namespace

TEST(LockCoreDump, TypedPasswordIsNotInACoreDump) {
    if (!test::inPamWrapper()) return test::rerunUnderPamWrapper(test::MATRIX_STACK);
    const std::string gcore = "/usr/bin/gcore";
    if (access(gcore.c_str(), X_OK) != 0) GTEST_SKIP() << "no gcore (gdb) to dump a process with";

    // A random password, held in this process only back to front (the forked screen
    // inherits that copy: the dump must show it, or it shows nothing of the heap).
    std::string reversed(40, ' ');
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (char& c : reversed) {
        unsigned char r;
        ASSERT_EQ(getrandom(&r, 1, 0), 1);
        c = letters[r % letters.size()];
    }
    test::writePassdb(reversed, "zorvan", true);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t screen = fork();
    ASSERT_GE(screen, 0);
    if (screen == 0) lockScreen(reversed, ready[1]);
    close(ready[1]);
    char said = 0;
    const bool done = read(ready[0], &said, 1) == 1;
    close(ready[0]);

    test::TempDir dir("core");
    const auto dump = done && said == 'y' ? test::runProcess(gcore, {"-o", dir.file("core"), std::to_string(screen)},
                                                             {}, 120.0)
                                          : test::ProcessResult{};
    kill(screen, SIGKILL);
    waitpid(screen, nullptr, 0);
    ASSERT_TRUE(done && said == 'y') << "the screen's check did not pass";
    const std::string core = test::readFile(dir.file("core." + std::to_string(screen)));
    if (dump.exitCode != 0 || core.empty())
        GTEST_SKIP() << "gcore could not dump the process (is ptrace permitted?): " << dump.err;

    EXPECT_NE(core.find(reversed), std::string::npos) << "the dump holds none of the heap";
    bool found = false;
    for (size_t at = core.find(reversed.back()); at != std::string::npos && !found;
         at = core.find(reversed.back(), at + 1)) {
        found = core.size() - at >= reversed.size() &&
                std::equal(reversed.rbegin(), reversed.rend(), core.begin() + long(at));
    }
    EXPECT_FALSE(found) << "the password is in the core dump";
}
