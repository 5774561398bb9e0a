// zorvan --lock on the Wayland desktops. Where the compositor offers no session lock
// (sway 1.7, weston, no Wayland at all) it says so in one line and ends with 2, never
// drawing anything. Where it does (sway 1.8 on, labwc), end to end with real PAM under
// pam_wrapper: the lock covers every output with its swarm (the stored settings: pink and
// orange motes) and nothing of the desktop (the saver as a wallpaper in green and blue,
// motes on both outputs), with the prompt on the output with the pointer, its text at the
// output's resolution; a second lock is turned away; a wrong password says so and changes
// nothing else; the right one ends it with 0 and the desktop is back, typed through a
// dead key too, but not when half of it was typed 10 s before; SIGTERM, or the
// authentication process killed, ends the program and leaves the session locked, and a
// new zorvan --lock takes it over; on sway, an output plugged in while locked gets a
// lock surface (the swarm as one scene over them, --span), and Backspace held repeats.
// Those skip where the compositor has no session lock.
#include "lock/PamWrapper.h"
#include "support/HeadlessLabwc.h"
#include "support/HeadlessSway.h"
#include "support/HeadlessWeston.h"
#include "support/WaylandRuns.h"

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace zorvan;
using namespace zorvan::test;

namespace {

const char PASSWORD[] = "sesame, öpen";
const char REFUSAL[] = "offers no session lock";
// Pixels a locked output may show besides its one colour: labwc draws its parked cursor
// over everything (about 130 at scale 1).
constexpr long CURSOR = 600;
// The desktop's wallpaper draws green and blue motes; the lock's stored settings are the
// defaults, pink to orange, whose green never passes their red.
const std::vector<std::string> WALLPAPER = {"--wallpaper", "--colours", "custom", "--light", "#00ff40",
                                            "--heavy",     "#2090ff",   "--bg",   "#000000"};
const char* const OUTPUTS[] = {"HEADLESS-1", "HEADLESS-2"};

// The pixels that differ from the colour most of the shot has: the motes of the desktop,
// none on the compositor's own screen of one colour once the locker has gone, but
// for the cursor.
long strayPixels(const Shot& shot) {
    std::map<unsigned long, long> counts;
    for (size_t i = 0; i + 2 < shot.rgb.size(); i += 3)
        ++counts[(unsigned long)shot.rgb[i] << 16 | (unsigned long)shot.rgb[i + 1] << 8 | shot.rgb[i + 2]];
    long most = 0;
    for (const auto& [colour, count] : counts) most = std::max(most, count);
    return long(shot.width * shot.height) - most;
}

// The prompt's box, 360x140 points in the middle of an output of `scale` (HEADLESS-1 is
// 1280x720 at scale 1, HEADLESS-2 800x600 at 2), and the band of its second line, where
// a wrong password and PAM's messages show.
Box promptBox(const Shot& shot, size_t scale) {
    return {(shot.width - 360 * scale) / 2, (shot.height - 140 * scale) / 2, (shot.width + 360 * scale) / 2,
            (shot.height + 140 * scale) / 2};
}
const Box MESSAGE = {472, 350, 808, 382};
constexpr size_t SCALES[] = {1, 2};

// White text: in the box, where the swarm shows through at 15 % at most, nothing else is
// this bright.
bool isText(const unsigned char* p) { return p[0] > 140 && p[1] > 140 && p[2] > 140; }

long messagePixels(const Shot& shot) { return countPixels(shot, MESSAGE, isText); }

// Whether the prompt shows on an output of `scale`: its text in the middle.
bool hasPrompt(const Shot& shot, size_t scale) { return countPixels(shot, promptBox(shot, scale), isText) > 150 * long(scale); }

bool promptOn(HeadlessWlroots& desktop, int i) {
    const Shot shot = desktop.outputShot(OUTPUTS[i]);
    return !shot.rgb.empty() && hasPrompt(shot, SCALES[i]);
}

// The 2x2 blocks of the prompt's box (from its corner) that hold text and box alike: text
// drawn at the output's resolution has its edges anywhere, text drawn at half of it and
// scaled up only between blocks.
long textEdges(const Shot& shot, size_t scale) {
    const Box box = promptBox(shot, scale);
    long edges = 0;
    for (size_t y = box.top; y + 1 < box.bottom; y += 2)
        for (size_t x = box.left; x + 1 < box.right; x += 2) {
            const int text = isText(shot.at(x, y)) + isText(shot.at(x + 1, y)) + isText(shot.at(x, y + 1)) +
                             isText(shot.at(x + 1, y + 1));
            edges += text > 0 && text < 4;
        }
    return edges;
}

// The desktop's motes: green or blue well above red.
long desktopPixels(const Shot& shot) {
    return countPixels(shot, [](const unsigned char* p) { return p[1] > p[0] + 60 || p[2] > p[0] + 60; });
}

// Every output shows the lock's swarm and nothing of the desktop, the prompt on one, when
// `locked`; one colour but for the cursor when not (the compositor's own screen once the
// locker has gone).
bool covered(HeadlessWlroots& desktop, bool locked) {
    bool prompt = false;
    for (int i = 0; i < 2; ++i) {
        Shot shot = desktop.outputShot(OUTPUTS[i]);
        if (shot.rgb.empty()) return false;
        if (!locked) {
            if (strayPixels(shot) > CURSOR) return false;
            continue;
        }
        prompt = prompt || hasPrompt(shot, SCALES[i]);
        if (desktopPixels(shot) > CURSOR || litPixels(shot) < MOTES / long(3 - SCALES[i])) return false;
    }
    return prompt || !locked;
}

// The desktop shows on both outputs again: the wallpaper's motes.
bool desktopShows(HeadlessWlroots& desktop) {
    return desktop.waitForLit(OUTPUTS[0], MOTES, 15) && desktop.waitForLit(OUTPUTS[1], MOTES / 4, 15);
}

int startLock(HeadlessCompositor& desktop, const std::string& err, std::vector<std::string> args = {"--lock"}) {
    ChildSetup setup;
    setup.errPath = desktop.file(err);
    return desktop.startClient(zorvanPath(), args, setup);
}

// Waits until lock `pid` covers every output with its swarm; false, and `refused` set when
// it ended saying that the compositor has no session lock.
bool waitLocked(HeadlessWlroots& desktop, int pid, const std::string& err, bool& refused) {
    waitUntil([&] { return !running(pid) || covered(desktop, true); }, 20, 0.1);
    if (running(pid)) return covered(desktop, true);
    refused = readFile(desktop.file(err)).find(REFUSAL) != std::string::npos;
    waitProcess(pid, 1);
    return false;
}

// The child that the lock program `pid` forked for PAM; -1 when none is found.
int authenticationProcess(int pid) {
    const std::string children = readFile("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    return children.empty() ? -1 : std::stoi(children);
}

// The whole round on a desktop with a session lock; see the opening comment.
void expectLockAndUnlock(HeadlessWlroots& desktop, const std::string& name) {
    writePassdb(PASSWORD);
    const int wallpaper = startZorvan(desktop, WALLPAPER, "wallpaper.err");
    ASSERT_TRUE(desktopShows(desktop)) << readFile(desktop.file("wallpaper.err"));

    int lock = startLock(desktop, "lock.err");
    bool refused = false;
    if (!waitLocked(desktop, lock, "lock.err", refused)) {
        if (refused) GTEST_SKIP() << "this compositor has no session lock: " << readFile(desktop.file("lock.err"));
        FAIL() << "the outputs never showed the lock's swarm and prompt (test-shots/" << name << "-unlocked-*.png): "
               << desktop.outputShot(OUTPUTS[0], name + "-unlocked-1").width << " "
               << desktop.outputShot(OUTPUTS[1], name + "-unlocked-2").width << " "
               << readFile(desktop.file("lock.err"));
    }
    // The prompt shows where the pointer is: on the second output, then on the first.
    ASSERT_TRUE(desktop.moveTo(1280 + 40, 40)) << desktop.error();
    EXPECT_TRUE(waitUntil([&] { return promptOn(desktop, 1) && !promptOn(desktop, 0); }, 5, 0.1))
        << "no prompt on the output with the pointer";
    EXPECT_GT(textEdges(desktop.outputShot(OUTPUTS[1], name + "-locked-2"), 2), 100)
        << "the prompt's text at scale 2 is not drawn at the output's resolution";
    ASSERT_TRUE(desktop.moveTo(40, 40)) << desktop.error();
    ASSERT_TRUE(waitUntil([&] { return promptOn(desktop, 0) && covered(desktop, true); }, 5, 0.1))
        << "the prompt did not follow the pointer";
    EXPECT_EQ(messagePixels(desktop.outputShot(OUTPUTS[0], name + "-locked-1")), 0) << "a message before any check";

    // A second lock while one holds the session is turned away by the compositor.
    const ProcessResult second = desktop.runClient(zorvanPath(), {"--lock"});
    EXPECT_EQ(second.exitCode, 1) << second.err;
    EXPECT_NE(second.err.find("another locker holds it"), std::string::npos) << second.err;
    EXPECT_TRUE(running(lock));

    ASSERT_TRUE(desktop.type("wrong")) << desktop.error();
    ASSERT_TRUE(desktop.type(PASSWORD, false)) << desktop.error();  // typed, not sent
    ASSERT_TRUE(desktop.key("Escape")) << desktop.error();         // and cleared
    ASSERT_TRUE(desktop.key("Return")) << desktop.error();         // an empty password
    settle(1.5);
    EXPECT_TRUE(running(lock)) << readFile(desktop.file("lock.err"));
    EXPECT_TRUE(covered(desktop, true)) << "the desktop shows through a wrong password";
    EXPECT_GT(messagePixels(desktop.outputShot(OUTPUTS[0], name + "-wrong")), 100) << "no word of the wrong password";

    // A password left half typed for 10 s is forgotten: the rest alone is wrong.
    ASSERT_TRUE(desktop.type("sesame", false)) << desktop.error();
    settle(10.5);
    ASSERT_TRUE(desktop.type(", öpen")) << desktop.error();
    settle(1.5);
    EXPECT_TRUE(running(lock)) << "a half-typed password was kept beyond 10 s";

    ASSERT_TRUE(desktop.type(PASSWORD)) << desktop.error();
    EXPECT_EQ(waitProcess(lock, 10), 0) << readFile(desktop.file("lock.err"));
    // pam_wrapper may log to stderr; the program itself says nothing.
    EXPECT_EQ(readFile(desktop.file("lock.err")).find("zorvan:"), std::string::npos) << readFile(desktop.file("lock.err"));
    EXPECT_TRUE(desktopShows(desktop)) << "the desktop is not back after the unlock";

    // SIGTERM ends the program, and the session stays locked: the compositor shows a
    // colour of its own and nothing of the desktop.
    lock = startLock(desktop, "lock2.err");
    ASSERT_TRUE(waitLocked(desktop, lock, "lock2.err", refused)) << readFile(desktop.file("lock2.err"));
    kill(lock, SIGTERM);
    EXPECT_EQ(waitProcess(lock, 5), -1) << "not ended by the signal";
    settle(1.0);
    EXPECT_TRUE(covered(desktop, false)) << "the desktop shows after the locker was stopped";
    desktop.outputShot(OUTPUTS[0], name + "-abandoned-1");

    // A new lock takes it over. Its authentication process killed, it says so, ends with
    // 1 and leaves the session locked.
    lock = startLock(desktop, "lock3.err");
    ASSERT_TRUE(waitLocked(desktop, lock, "lock3.err", refused)) << readFile(desktop.file("lock3.err"));
    const int pam = authenticationProcess(lock);
    ASSERT_GT(pam, 0);
    kill(pam, SIGKILL);
    EXPECT_EQ(waitProcess(lock, 5), 1);
    EXPECT_NE(readFile(desktop.file("lock3.err")).find("the session stays locked"), std::string::npos)
        << readFile(desktop.file("lock3.err"));
    settle(1.0);
    EXPECT_TRUE(covered(desktop, false)) << "the desktop shows after the authentication process died";

    // And the next one unlocks it, its ö typed with a dead key (the compose table of the
    // locale, C.UTF-8 under the tests).
    lock = startLock(desktop, "lock4.err");
    ASSERT_TRUE(waitLocked(desktop, lock, "lock4.err", refused)) << readFile(desktop.file("lock4.err"));
    ASSERT_TRUE(desktop.type("sesame, ", false)) << desktop.error();
    ASSERT_TRUE(desktop.key("dead_diaeresis")) << desktop.error();
    ASSERT_TRUE(desktop.type("open")) << desktop.error();
    EXPECT_EQ(waitProcess(lock, 10), 0) << readFile(desktop.file("lock4.err"));
    EXPECT_TRUE(desktopShows(desktop)) << "the desktop is not back after the second lock's unlock";
    expectPromptStop(wallpaper, "wallpaper");
}

void expectRefused(const ProcessResult& run, const std::string& where) {
    EXPECT_EQ(run.exitCode, 2) << where << ": " << run.err;
    EXPECT_EQ(lines(run.err), 1) << where << ": " << run.err;
    EXPECT_NE(run.err.find("ext-session-lock-v1"), std::string::npos) << where << ": " << run.err;
    EXPECT_NE(run.err.find("the desktop's own locker"), std::string::npos) << where << ": " << run.err;
    EXPECT_EQ(run.out, "") << where;
}

}  // namespace

// No lock where none can be had: no Wayland display (X11, a console), weston, sway 1.7;
// and other options with --lock, or the lock program run with any other, are refused.
TEST(Lock, RefusedInOneLineWhereTheCompositorHasNoSessionLock) {
    expectRefused(runProcess(zorvanPath(), {"--lock"}, {"WAYLAND_DISPLAY", "WAYLAND_SOCKET"}, 10), "no Wayland");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--lock", "--fullscreen"}, {"--seed", "3", "--lock"}, {"-lock", "-lock"}}) {
        const ProcessResult run = runProcess(zorvanPath(), args, {"WAYLAND_DISPLAY"}, 10);
        EXPECT_EQ(run.exitCode, 2) << args[0] << " " << args[1];
        EXPECT_EQ(lines(run.err), 1) << run.err;
        EXPECT_NE(run.err.find("--lock goes alone"), std::string::npos) << run.err;
    }
    const std::string program = std::string(ZORVAN_BIN_DIR) + "/../libexec/zorvan/zorvan-lock";
    const ProcessResult direct = runProcess(program, {"--lock", "--seed"}, {"WAYLAND_DISPLAY"}, 10);
    EXPECT_EQ(direct.exitCode, 2) << direct.err;
    EXPECT_EQ(lines(direct.err), 1) << direct.err;

    {
        HeadlessWeston weston(1280, 720, 1);
        if (weston.available()) {
            expectRefused(weston.runClient(zorvanPath(), {"--lock"}), "weston");
            EXPECT_TRUE(weston.waitUntilBlack(1)) << "the refused lock drew something";
        }
    }
    if (!HeadlessSway::hasSessionLock()) {
        HeadlessSway sway;
        if (sway.available()) {
            const ProcessResult run = sway.runClient(zorvanPath(), {"--lock"});
            expectRefused(run, "sway");
            EXPECT_NE(run.err.find(REFUSAL), std::string::npos) << run.err;
        }
    }
}

TEST(Lock, SwayLocksEveryOutputUntilThePasswordAndStaysLockedWhenStopped) {
    if (!inPamWrapper()) return rerunUnderPamWrapper(MATRIX_STACK);
    if (!HeadlessSway::hasSessionLock()) GTEST_SKIP() << "this sway has no session lock (1.8 on has)";
    HeadlessSway sway;
    if (!sway.available()) GTEST_SKIP() << sway.why();
    expectLockAndUnlock(sway, "lock-sway");
    if (HasFatalFailure() || IsSkipped()) return;

    // An output plugged in while locked gets a lock surface: the prompt follows the pointer
    // there. Unplugged again, it goes, and the lock holds. (This lock draws one scene over
    // every output, which grows with the new one.)
    const int lock = startLock(sway, "plug.err", {"--lock", "--span"});
    bool refused = false;
    ASSERT_TRUE(waitLocked(sway, lock, "plug.err", refused)) << readFile(sway.file("plug.err"));
    ASSERT_EQ(sway.swaymsg({"create_output"}).exitCode, 0);
    auto swarmOnNew = [&](bool prompt) {
        const Shot shot = sway.outputShot("HEADLESS-3");
        return !shot.rgb.empty() && hasPrompt(shot, 1) == prompt && litPixels(shot) > MOTES &&
               desktopPixels(shot) < CURSOR;
    };
    EXPECT_TRUE(waitUntil([&] { return swarmOnNew(false); }, 5, 0.1))
        << "no lock surface with the swarm on the new output: " << readFile(sway.file("plug.err"));
    // The pointer goes there once its surface shows (the compositor tells a surface of the
    // pointer when the pointer moves over it).
    ASSERT_TRUE(sway.moveTo(HeadlessWlroots::LAYOUT_WIDTH + 100, 100)) << sway.error();
    ASSERT_TRUE(sway.moveTo(HeadlessWlroots::LAYOUT_WIDTH + 100, 300)) << sway.error();
    EXPECT_TRUE(waitUntil([&] { return swarmOnNew(true); }, 5, 0.1))
        << "the prompt did not follow the pointer to the new output: " << readFile(sway.file("plug.err"));
    sway.outputShot("HEADLESS-3", "lock-sway-plugged");
    ASSERT_EQ(sway.swaymsg({"output", "HEADLESS-3", "unplug"}).exitCode, 0);
    settle(0.5);
    EXPECT_TRUE(running(lock)) << readFile(sway.file("plug.err"));
    EXPECT_TRUE(covered(sway, true)) << "the prompt did not come back to a remaining output";
    // Backspace held repeats: it takes back all that was typed before the password.
    ASSERT_TRUE(sway.type("xxxxxx", false)) << sway.error();
    ASSERT_TRUE(sway.holdKey("BackSpace", 1.5)) << sway.error();
    ASSERT_TRUE(sway.type(PASSWORD)) << sway.error();
    EXPECT_EQ(waitProcess(lock, 10), 0) << readFile(sway.file("plug.err"));
}

TEST(Lock, LabwcLocksEveryOutputUntilThePasswordAndStaysLockedWhenStopped) {
    if (!inPamWrapper()) return rerunUnderPamWrapper(MATRIX_STACK);
    HeadlessLabwc labwc;
    if (!labwc.available()) GTEST_SKIP() << labwc.why();
    expectLockAndUnlock(labwc, "lock-labwc");
}
