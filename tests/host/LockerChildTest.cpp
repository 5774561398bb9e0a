// The idle daemon's lock screen child (LockerChild) on a GLib main loop, with stand-in
// lock programs written as shell scripts: what it hears on the "locked" pipe, how soon it
// starts another locker, and that a locker outlives it.
#include "host/DaemonRun.h"
#include "host/Process.h"
#include "host/daemon/LockerChild.h"

#include <gtest/gtest.h>

#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

using namespace zorvan;
using namespace zorvan::test;
using zorvan::daemon::LockerChild;

namespace {

// A lock program: a shell script with `body`, in `dir`.
std::string script(const TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.file(name);
    writeFile(path, "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

// Runs the main loop until `done` or `seconds` have passed; whether `done`.
bool loopUntil(const std::function<bool()>& done, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// What a locker made known: "locked" and "ended <status>" in their order.
struct Heard {
    std::vector<std::string> events;
    bool ended() const { return !events.empty() && events.back().rfind("ended", 0) == 0; }
};

LockerChild::Events recorder(Heard& heard) {
    return {[&heard] { heard.events.push_back("locked"); },
            [&heard](int status, bool hadLocked) {
                heard.events.push_back("ended " + std::to_string(status) + (hadLocked ? " locked" : ""));
            }};
}

}  // namespace

// "locked" counts once the whole line is there, once however often it comes, and before
// the end of a locker that says it and ends at once; anything else is not "locked".
TEST(LockerChild, HearsLockedWholeOnceAndBeforeTheEnd) {
    TempDir dir("locker");
    struct Case {
        const char* what;
        std::string body;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {"in two pieces", "printf lo >&$ZORVAN_LOCKED_FD; sleep 0.3; printf 'cked\\n' >&$ZORVAN_LOCKED_FD; exit 1",
         {"locked", "ended 1 locked"}},
        {"and at once its end", "printf 'locked\\n' >&$ZORVAN_LOCKED_FD; exit 0", {"locked", "ended 0 locked"}},
        {"twice", "printf 'locked\\nlocked\\n' >&$ZORVAN_LOCKED_FD; sleep 0.2; exit 0", {"locked", "ended 0 locked"}},
        {"without its newline", "printf locked >&$ZORVAN_LOCKED_FD; sleep 0.2; exit 1", {"ended 1"}},
        {"another word", "printf 'unlocked\\n' >&$ZORVAN_LOCKED_FD; exit 1", {"ended 1"}},
        {"the pipe closed unsaid", "exec 3>&-; sleep 0.3; exit 1", {"ended 1"}},
        {"killed", "kill -9 $$", {"ended -1"}},
    };
    for (const Case& c : cases) {
        Heard heard;
        LockerChild locker(script(dir, "lock", c.body), recorder(heard));
        locker.start();
        EXPECT_TRUE(loopUntil([&] { return heard.ended(); }, 5)) << c.what;
        EXPECT_EQ(heard.events, c.events) << c.what;
        EXPECT_FALSE(locker.active()) << c.what;
    }

    // Said while it goes on running: heard then, and only one locker runs.
    Heard heard;
    const std::string starts = dir.file("starts");
    LockerChild locker(script(dir, "lock", "echo $$ >> " + starts + "\nprintf 'locked\\n' >&$ZORVAN_LOCKED_FD\nexec sleep 30"),
                       recorder(heard));
    locker.start();
    ASSERT_TRUE(loopUntil([&] { return locker.locked(); }, 5));
    locker.start();
    loopUntil([] { return false; }, 1.2);
    EXPECT_EQ(lines(readFile(starts)), 1) << "a second locker while one runs";
    kill(std::stoi(readFile(starts)), SIGKILL);
    EXPECT_TRUE(loopUntil([&] { return heard.ended(); }, 5));
    EXPECT_EQ(heard.events, (std::vector<std::string>{"locked", "ended -1 locked"}));
    EXPECT_FALSE(locker.locked()) << "no locker runs";
}

// A locker that dies at once, started again each time it ends, runs once a second.
TEST(LockerChild, AnotherStartsNoSoonerThanASecondAfterTheLast) {
    TempDir dir("locker");
    const std::string starts = dir.file("starts");
    int ended = 0;
    std::unique_ptr<LockerChild> locker;
    locker = std::make_unique<LockerChild>(script(dir, "lock", "date +%s.%N >> " + starts + "\nkill -9 $$"),
                                           LockerChild::Events{[] {}, [&](int, bool) {
                                               ++ended;
                                               locker->start();
                                           }});
    const auto begun = std::chrono::steady_clock::now();
    locker->start();
    loopUntil([] { return false; }, 3.5);
    locker.reset();
    std::istringstream in(readFile(starts));
    std::vector<double> times;
    for (double t = 0; in >> t;) times.push_back(t);
    ASSERT_GE(times.size(), 3u) << readFile(starts);
    EXPECT_LE(times.size(), 4u) << readFile(starts);
    EXPECT_GE(ended, 3);
    for (size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 0.95) << "start " << i;
    EXPECT_LT(secondsSince(begun), 4.0);
}

// The lock screen outlives its daemon, in a session of its own (a terminal's Ctrl+C to
// the daemon does not reach it): the session stays locked until the password.
TEST(LockerChild, TheLockerOutlivesItsOwner) {
    TempDir dir("locker");
    const std::string pidFile = dir.file("pid");
    Heard heard;
    auto locker = std::make_unique<LockerChild>(script(dir, "lock", "echo $$ > " + pidFile + "\nexec sleep 30"),
                                                recorder(heard));
    locker->start();
    ASSERT_TRUE(loopUntil([&] { return lines(readFile(pidFile)) == 1; }, 5));
    const int pid = std::stoi(readFile(pidFile));
    locker.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(alive(pid));
    EXPECT_EQ(getsid(pid), pid);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_TRUE(heard.events.empty());
}
