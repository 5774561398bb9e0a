// A stop signal (as a daemon sends at unblank) ends the program within a tenth of a
// second with status 0 at any point of its life, and never leaves a file half written.
#include "host/Process.h"

#include "platform/image/MagickSetup.h"

#include <Magick++.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <thread>

using namespace zorvan;
using Clock = std::chrono::steady_clock;

namespace {

// A logo picture of noise, large enough that decoding it takes a good part of a second.
void writeSlowLogo(const std::string& path) {
    magick::ensureStarted();
    const size_t w = 2400, h = 2400;
    std::vector<uint8_t> rgb(w * h * 3);
    std::mt19937 noise(7);
    for (uint8_t& b : rgb) b = static_cast<uint8_t>(noise());
    Magick::Image image(w, h, "RGB", Magick::CharPixel, rgb.data());
    image.quality(10);  // fast to write, as slow to read as ever
    image.write(path);
}

struct Stopped {
    int status = -2;
    double seconds = 0;  // from the signal to the exit
};

// Whether process `pid` catches SIGTERM yet (its SigCgt mask in /proc).
bool catchesTerm(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

// Starts zorvan with `args`, sends SIGTERM `after` it has set up its handler (a loaded
// machine may take a while to get there: a signal before it would test the loader, not
// the program), and waits for it.
Stopped stopAfter(const std::vector<std::string>& args, std::chrono::milliseconds after) {
    const int pid = test::startProcess(test::zorvanPath(), args);
    test::waitUntil([pid] { return catchesTerm(pid); }, 10, 0.001);
    std::this_thread::sleep_for(after);
    const auto sent = Clock::now();
    kill(pid, SIGTERM);
    Stopped s;
    s.status = test::waitProcess(pid, 20.0);
    s.seconds = test::secondsSince(sent);
    return s;
}

}  // namespace

TEST(StopSignal, EndsStartUpAndOffscreenRunsAtOnceWithNothingWritten) {
    test::TempDir dir;
    writeSlowLogo(dir.file("logo.png"));
    std::ofstream(dir.file("prefs.ini")) << "[Zorvan]\nlogoMode=2\nlogoFile=" << dir.file("logo.png") << "\n";
    const std::vector<std::string> before = test::entriesOf(dir.path());

    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::chrono::milliseconds after;
    };
    // Every run would go on long after its signal: one that could end first (a render of
    // one frame on a fast decode) would test nothing.
    const std::vector<Case> cases = {
        {"offscreen, while the logo decodes",
         {"--render", dir.file("out.png"), "--size", "64x48", "--frames", "100000000", "--prefs",
          dir.file("prefs.ini")},
         std::chrono::milliseconds(150)},
        {"offscreen, among the frames",
         {"--render", dir.file("out.png"), "--size", "64x48", "--frames", "100000000", "--dump-motes",
          dir.file("dump.txt"), "--prefs", dir.file("none.ini")},
         std::chrono::milliseconds(1500)},
        {"in a window, while the logo decodes",
         {"--size", "64x48", "--prefs", dir.file("prefs.ini")},
         std::chrono::milliseconds(150)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.what[0] == 'i' && !getenv("DISPLAY")) continue;
        // A loaded machine may be slow to deliver once; the best of three counts.
        double best = 1e9;
        for (int attempt = 0; attempt < 3 && best > 0.1; ++attempt) {
            const Stopped s = stopAfter(c.args, c.after);
            EXPECT_EQ(s.status, 0);
            best = std::min(best, s.seconds);
            const std::vector<std::string> after = test::entriesOf(dir.path());
            EXPECT_EQ(after, before) << "something was written";
            // What a failed case wrote goes, so that the next case is judged on its own.
            for (const std::string& name : after)
                if (!std::binary_search(before.begin(), before.end(), name)) std::remove(dir.file(name).c_str());
        }
        EXPECT_LT(best, 0.1);
    }
}
