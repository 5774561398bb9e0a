#include "support/WaylandRuns.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace zorvan::test {

void settle(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

bool running(int pid) {
    siginfo_t info{};
    return waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

std::string installedIn(HeadlessCompositor& compositor) {
    const fs::path tree = compositor.file("zorvan"), built = fs::path(ZORVAN_BIN_DIR).parent_path();
    if (!fs::exists(tree / "bin" / "zorvan")) {
        fs::create_directories(tree / "bin");
        fs::create_directories(tree / "libexec" / "zorvan");
        fs::copy_file(zorvanPath(), tree / "bin" / "zorvan");
        fs::copy_file(built / "libexec" / "zorvan" / "zorvan-daemon", tree / "libexec" / "zorvan" / "zorvan-daemon");
        fs::copy(built / "share", tree / "share", fs::copy_options::recursive);
    }
    return (tree / "bin" / "zorvan").string();
}

int startZorvan(HeadlessCompositor& compositor, std::vector<std::string> args, const std::string& err) {
    args.insert(args.end(), {"--seed", "5"});
    ChildSetup setup;
    if (!err.empty()) setup.errPath = compositor.file(err);
    return compositor.startClient(zorvanPath(), args, setup);
}

void expectNoIdleProtocol(HeadlessCompositor& compositor) {
    const ProcessResult idle = compositor.runClient("swayidle", {"timeout", "1", "true"});
    EXPECT_NE(idle.exitCode, 0);
    EXPECT_NE(idle.err.find("doesn't support idle protocol"), std::string::npos) << idle.err;
}

void expectPromptStop(int pid, const std::string& form) {
    const auto sent = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    EXPECT_EQ(waitProcess(pid, 10.0), 0) << form;
    EXPECT_LT(secondsSince(sent), STOP_LIMIT) << form;
}

void expectEndsWithCompositor(HeadlessCompositor& compositor, int pid, const std::string& err) {
    const auto killed = std::chrono::steady_clock::now();
    compositor.kill();
    EXPECT_EQ(waitProcess(pid, 10.0), 1);
    EXPECT_LT(secondsSince(killed), 2.0);
    const std::string said = readFile(compositor.file(err));
    EXPECT_EQ(lines(said), 1) << said;
}

void expectSaverOnEveryOutputEndedByInput(HeadlessWlroots& desktop, const std::string& name) {
    int pid = startZorvan(desktop, {"--fullscreen"});
    ASSERT_TRUE(desktop.waitForLit("HEADLESS-1", MOTES, 15)) << desktop.log();
    ASSERT_TRUE(desktop.waitForLit("HEADLESS-2", MOTES, 15)) << desktop.log();
    EXPECT_GT(mixedBlocks(desktop.outputShot("HEADLESS-2", name + "-2")), 200);
    desktop.outputShot("HEADLESS-1", name + "-1");
    ASSERT_TRUE(desktop.key("space")) << desktop.error();
    EXPECT_EQ(waitProcess(pid, 10.0), 0);

    ASSERT_TRUE(desktop.moveTo(300, 300)) << desktop.error();
    pid = startZorvan(desktop, {"--fullscreen"});
    ASSERT_TRUE(desktop.waitForLit("HEADLESS-1", MOTES, 15));
    ASSERT_TRUE(desktop.move(4, -3)) << desktop.error();  // within the slack
    settle(0.5);
    EXPECT_TRUE(running(pid));
    ASSERT_TRUE(desktop.move(40, 0));
    EXPECT_EQ(waitProcess(pid, 10.0), 0);

    pid = startZorvan(desktop, {"--fullscreen"});
    ASSERT_TRUE(desktop.waitForLit("HEADLESS-1", MOTES, 15));
    ASSERT_TRUE(desktop.click());
    EXPECT_EQ(waitProcess(pid, 10.0), 0);

    pid = startZorvan(desktop, {"--fullscreen"});
    ASSERT_TRUE(desktop.waitForLit("HEADLESS-2", MOTES, 15));
    expectPromptStop(pid);
}

}  // namespace zorvan::test
