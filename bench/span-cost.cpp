// What one scene over two screens costs against a swarm on each: the CPU time and the
// peak memory of `zorvan --fullscreen --span` and of `zorvan --fullscreen` over SECONDS,
// on two outputs of 1920x1080 side by side: a private headless sway (through the test
// suite's harness, as nobody when run as root) and an Xvfb split into two monitors;
// then the same with one mote, to tell the swarm's share from the screens' own.
//   build/bin/zorvan-span-cost [SECONDS]      (default 10)
#include "host/Process.h"
#include "host/TwoMonitorDisplay.h"
#include "support/HeadlessSway.h"
#include "support/TestSupport.h"
#include "support/WaylandRuns.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace zorvan::test;

namespace {

double seconds = 10.0;

struct Cost {
    double cpu = 0.0, peak = 0.0;
};

// A run that `start` starts, measured over `seconds` after two to settle, then stopped.
Cost measure(const std::function<int()>& start) {
    const int pid = start();
    settle(2.0);
    Cost cost{cpuOver(pid, seconds), peakMiB(pid)};
    ::kill(pid, SIGTERM);
    waitProcess(pid, 10);
    return cost;
}

// Each form with the default swarm, then with a single mote: what is left then is the
// cost of clearing and presenting the screens' pixels, the same for both forms.
void report(const char* where, const std::function<int(bool span, bool bare)>& start) {
    for (const bool bare : {false, true}) {
        const Cost two = measure([&] { return start(false, bare); });
        const Cost one = measure([&] { return start(true, bare); });
        std::printf("%-6s %-8s two swarms: %6.2f s CPU, %6.1f MiB peak   --span: %6.2f s CPU, %6.1f MiB peak   "
                    "(%.2f x CPU)\n",
                    where, bare ? "1 mote" : "default", two.cpu, two.peak, one.cpu, one.peak,
                    two.cpu > 0 ? one.cpu / two.cpu : 0.0);
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) seconds = std::atof(argv[1]);
    if (!(seconds > 0.0)) seconds = 10.0;
    {
        TwoMonitorDisplay x(3840, 1080, true);
        if (!x.ok()) std::printf("X11    skipped: %s\n", x.why().c_str());
        else
            report("X11", [](bool span, bool bare) {
                std::vector<std::string> args = {"--fullscreen", "--seed", "5"};
                if (span) args.push_back("--span");
                if (bare) args.insert(args.end(), {"--count", "1"});
                return startProcess(zorvanPath(), args, {"WAYLAND_DISPLAY"});
            });
    }
    HeadlessSway sway;
    if (!sway.available()) {
        std::printf("sway   skipped: %s\n", sway.why().c_str());
        return 0;
    }
    sway.swaymsg({"output", "HEADLESS-1", "mode", "1920x1080", "pos", "0", "0", "scale", "1"});
    sway.swaymsg({"output", "HEADLESS-2", "mode", "1920x1080", "pos", "1920", "0", "scale", "1"});
    report("sway", [&](bool span, bool bare) {
        std::vector<std::string> args = {"--fullscreen"};
        if (span) args.push_back("--span");
        if (bare) args.insert(args.end(), {"--count", "1"});
        return startZorvan(sway, args);
    });
    return 0;
}
