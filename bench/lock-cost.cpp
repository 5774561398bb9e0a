// What the lock screen costs and how soon it covers: on a private headless sway (through
// the test suite's harness, as nobody when run as root; sway 1.8 on has the session
// lock), the time from starting `zorvan --lock` to the compositor's "locked" (told on
// ZORVAN_LOCKED_FD) and to the first frame of the swarm on the first output (shots one
// after the other, some 50 ms each: the time is that of the first shot that shows it),
// over RUNS locks, each taking over the one before (killed: the compositor's red); then the CPU time and the peak memory of the lock screen
// against `zorvan --fullscreen` over SECONDS.
//   build/bin/zorvan-lock-cost [SECONDS] [RUNS]      (default 10 and 3)
#include "host/Process.h"
#include "support/HeadlessSway.h"
#include "support/Pictures.h"
#include "support/TestSupport.h"
#include "support/WaylandRuns.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <map>
#include <string>

using namespace zorvan::test;
using Clock = std::chrono::steady_clock;

namespace {

// The pixels of other colours than the one most of the shot has: the motes, and none on
// black or on the compositor's own screen of an abandoned lock.
long motePixels(const Shot& shot) {
    std::map<unsigned long, long> counts;
    long most = 0;
    for (size_t i = 0; i + 2 < shot.rgb.size(); i += 3)
        most = std::max(most, ++counts[(unsigned long)shot.rgb[i] << 16 | shot.rgb[i + 1] << 8 | shot.rgb[i + 2]]);
    return long(shot.width * shot.height) - most;
}

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Starts a lock; `locked` and `swarm` are the seconds to the compositor's lock and to the
// swarm on HEADLESS-1 (negative: not within 10 s).
int startLock(HeadlessSway& sway, double& locked, double& swarm) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    ChildSetup setup;
    setup.env = {"ZORVAN_LOCKED_FD=" + std::to_string(fds[1])};
    setup.quiet = true;
    const Clock::time_point start = Clock::now();
    const int pid = sway.startClient(zorvanPath(), {"--lock"}, setup);
    close(fds[1]);
    locked = swarm = -1.0;
    while (since(start) < 10.0 && (locked < 0 || swarm < 0)) {
        if (locked < 0) {
            pollfd p{fds[0], POLLIN, 0};
            char word[16];
            if (poll(&p, 1, 0) > 0 && read(fds[0], word, sizeof word) > 0) locked = since(start);
        }
        if (swarm < 0 && motePixels(sway.outputShot("HEADLESS-1")) > MOTES) swarm = since(start);
    }
    close(fds[0]);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!(seconds > 0.0)) seconds = 10.0;
    int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (runs < 1) runs = 3;
    HeadlessSway sway;
    if (!sway.available()) {
        std::printf("sway skipped: %s\n", sway.why().c_str());
        return 0;
    }
    std::string version = runProcess("sway", {"--version"}).out;
    version.erase(version.find_last_not_of("\n") + 1);
    std::printf("%s, outputs 1280x720 at 1 and 800x600 at 2\n", version.c_str());

    // The saver first: once a lock is held, a full-screen saver beneath it draws unseen.
    const int saver = startZorvan(sway, {"--fullscreen"});
    settle(2.0);
    const double saverCpu = cpuOver(saver, seconds), saverPeak = peakMiB(saver);
    kill(saver, SIGTERM);
    waitProcess(saver, 10);

    int lock = -1;
    for (int i = 0; i < runs; ++i) {
        if (lock > 0) {
            kill(lock, SIGKILL);
            waitProcess(lock, 5);
        }
        double locked = 0, swarm = 0;
        lock = startLock(sway, locked, swarm);
        std::printf("lock %d: locked after %.3f s, the swarm shows after %.3f s\n", i + 1, locked, swarm);
    }
    settle(2.0);
    const double lockCpu = cpuOver(lock, seconds), lockPeak = peakMiB(lock);
    kill(lock, SIGKILL);
    waitProcess(lock, 5);
    std::printf("over %.0f s: --fullscreen %.2f s CPU, %.1f MiB peak; --lock %.2f s CPU, %.1f MiB peak (%.2f x CPU)\n",
                seconds, saverCpu, saverPeak, lockCpu, lockPeak, saverCpu > 0 ? lockCpu / saverCpu : 0.0);
    return 0;
}
