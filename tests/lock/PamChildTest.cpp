// The authentication process through real PAM (pam_wrapper's pam_matrix and pam_chatty,
// and Linux-PAM's own pam_deny and pam_exec): what unlocks, what does not, what the
// screen is told, and a process that dies.
#include "host/lock/PamChild.h"

#include "lock/PamWrapper.h"
#include "support/TestSupport.h"

#include <poll.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace zorvan;
using lock::PamChild;
using lock::PamEvent;
using lock::Password;
using Kind = PamEvent::Kind;

namespace {

// Linux-PAM's own modules, beside the system's libpam.
const std::string SECURITY = "/usr/lib/x86_64-linux-gnu/security/";

// The events up to and with the next result (Success, Failure or Died), waiting at most
// `seconds` for them.
std::vector<PamEvent> untilResult(PamChild& pam, double seconds = 20.0) {
    std::vector<PamEvent> events;
    const auto deadline = test::deadlineIn(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p = {pam.fd(), POLLIN, 0};
        if (p.fd < 0 || poll(&p, 1, 100) < 0) break;
        while (auto event = pam.next()) {
            events.push_back(*event);
            if (event->kind == Kind::Success || event->kind == Kind::Failure || event->kind == Kind::Died)
                return events;
        }
    }
    return events;
}

Kind resultOf(const std::vector<PamEvent>& events) {
    return events.empty() ? Kind::Info : events.back().kind;  // Info: no result came
}

bool typeAndCheck(PamChild& pam, Password& password, std::string_view text) {
    return password.append(text) && pam.check(password);
}

// One check of the right password, "letmein", in a fresh process: its events.
std::vector<PamEvent> checkRightPassword() {
    test::writePassdb("letmein");
    PamChild pam;
    Password password;
    EXPECT_TRUE(typeAndCheck(pam, password, "letmein"));
    return untilResult(pam);
}

}  // namespace

TEST(PamChild, OnlyTheRightPasswordUnlocksAndTheProcessServesEveryTry) {
    if (!test::inPamWrapper()) return test::rerunUnderPamWrapper(test::MATRIX_STACK);
    const std::string right = "right horse \xc3\xa9t\xc3\xa9";
    test::writePassdb(right);
    PamChild pam;
    Password password;

    ASSERT_TRUE(typeAndCheck(pam, password, "wrong horse"));
    EXPECT_TRUE(password.empty()) << "a sent password stays in the screen's buffer";
    EXPECT_TRUE(pam.checking());
    // Enter again while it runs: refused, and what is typed stays.
    ASSERT_TRUE(password.append(right));
    EXPECT_FALSE(pam.check(password));
    EXPECT_EQ(password.size(), right.size());
    auto events = untilResult(pam);
    ASSERT_EQ(resultOf(events), Kind::Failure);
    EXPECT_EQ(events.back().text, "Authentication failure");
    EXPECT_EQ(events.front().kind, Kind::HiddenPrompt);
    EXPECT_FALSE(pam.checking());

    // The right one now, then the almost right one, and an empty one: only the first passes.
    ASSERT_TRUE(pam.check(password));
    EXPECT_EQ(resultOf(untilResult(pam)), Kind::Success);
    ASSERT_TRUE(typeAndCheck(pam, password, right.substr(0, right.size() - 2)));
    EXPECT_EQ(resultOf(untilResult(pam)), Kind::Failure);
    ASSERT_TRUE(pam.check(password));
    EXPECT_EQ(resultOf(untilResult(pam)), Kind::Failure);
    // Nothing more comes without a check.
    pollfd p = {pam.fd(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 200), 0);
    EXPECT_FALSE(pam.next());
}

TEST(PamChild, AnAccountThatPamRefusesStaysLocked) {
    if (!test::inPamWrapper())
        return test::rerunUnderPamWrapper("auth required MATRIX passdb=PASSDB\naccount required " + SECURITY +
                                          "pam_deny.so\n");
    const auto events = checkRightPassword();
    ASSERT_EQ(resultOf(events), Kind::Failure);
    EXPECT_NE(events.back().text, "");
}

TEST(PamChild, PamsMessagesReachTheScreen) {
    if (!test::inPamWrapper())
        return test::rerunUnderPamWrapper("auth required CHATTY num_lines=1 info error\n" + test::MATRIX_STACK);
    const auto events = checkRightPassword();
    ASSERT_EQ(resultOf(events), Kind::Success);
    // pam_chatty's lines come first, as PAM sends them; then pam_matrix asks.
    std::vector<Kind> kinds;
    for (const auto& e : events) {
        kinds.push_back(e.kind);
        if (e.kind != Kind::Success) {
            EXPECT_NE(e.text, "");
        }
    }
    ASSERT_GE(kinds.size(), 4u);
    EXPECT_EQ(kinds.front(), Kind::Info);
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), Kind::Error), kinds.end());
    EXPECT_EQ(kinds[kinds.size() - 2], Kind::HiddenPrompt);
}

TEST(PamChild, AVisiblePromptHasNoAnswer) {
    // pam_matrix's echo asks for the password in the open; the screen answers nothing.
    if (!test::inPamWrapper())
        return test::rerunUnderPamWrapper("auth required MATRIX passdb=PASSDB echo\naccount required MATRIX passdb=PASSDB\n");
    const auto events = checkRightPassword();
    ASSERT_EQ(resultOf(events), Kind::Failure);
    EXPECT_EQ(events.front().kind, Kind::VisiblePrompt);
}

TEST(PamChild, AKilledProcessIsReportedAndNeverUnlocks) {
    // pam_exec holds the check in a sleep, where the process is killed.
    if (!test::inPamWrapper())
        return test::rerunUnderPamWrapper("auth required " + SECURITY + "pam_exec.so /bin/sleep 5\n" +
                                          test::MATRIX_STACK);
    test::writePassdb("letmein");
    {
        PamChild pam;
        Password password;
        ASSERT_TRUE(typeAndCheck(pam, password, "letmein"));
        EXPECT_TRUE(untilResult(pam, 0.5).empty());
        // The terminal's keys do not reach it; a kill does. (Never kill(-1, ...): a process
        // already gone has no pid, and -1 would signal every process there is.)
        ASSERT_GT(pam.pid(), 0);
        ASSERT_EQ(kill(pam.pid(), SIGINT), 0);
        EXPECT_TRUE(untilResult(pam, 0.5).empty());
        ASSERT_GT(pam.pid(), 0);
        ASSERT_EQ(kill(pam.pid(), SIGKILL), 0);
        const auto events = untilResult(pam);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].kind, Kind::Died);
        EXPECT_EQ(events[0].text, "the authentication process died: killed by signal 9 (Killed)");
        EXPECT_EQ(pam.fd(), -1);
        ASSERT_TRUE(password.append("letmein"));
        EXPECT_FALSE(pam.check(password));
        EXPECT_FALSE(pam.next());
    }
    {
        // Dead while idle: the same.
        PamChild pam;
        ASSERT_GT(pam.pid(), 0);
        ASSERT_EQ(kill(pam.pid(), SIGTERM), 0);
        const auto events = untilResult(pam);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].kind, Kind::Died);
    }
}
