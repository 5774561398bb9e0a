// What `zorvan --daemon` costs while it waits, and how soon the saver shows: on headless
// sway, KWin and nested mutter (the test suite's harness, as nobody when run as root):
//   - the daemon's CPU ticks over SECONDS of idle (it is event-driven: the goal is 0);
//   - its resident memory then, beside swayidle's on the same compositor where swayidle
//     runs (sway, KWin; swayidle has nothing to watch on GNOME);
//   - the time from the idle timeout to the saver's motes in a picture of the screen
//     (pictures are taken back to back, so the figure includes up to one picture's time);
//   - the time from SIGTERM to the daemon until both it and its saver are gone.
//   build/bin/zorvan-idle-daemon [SECONDS]      (default 60)
#include "host/Process.h"
#include "support/HeadlessKwin.h"
#include "support/HeadlessMutter.h"
#include "support/HeadlessSway.h"
#include "support/TestSupport.h"
#include "support/WaylandRuns.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace zorvan::test;

namespace {

double seconds = 60.0;
constexpr int SAVER_AFTER = 3;

long ticks(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long total = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) total += std::stol(field);
    return total;
}

long residentKb(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// Seconds since boot, as /proc's start times count them.
double bootSeconds() {
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// When a process started, in seconds since boot (to a clock tick).
double startedAt(int pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field;)
        if (i++ == 22) return double(std::stoull(field)) / double(sysconf(_SC_CLK_TCK));
    return 0;
}

// Whether a process runs (a zombie nobody reaps does not).
bool alive(int pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && stat.compare(close + 2, 1, "Z") != 0;
}

int start(HeadlessCompositor& c, const std::string& program, const std::vector<std::string>& args, bool onBus,
          const std::string& log) {
    ChildSetup setup;
    setup.outPath = setup.errPath = log;
    setup.env = {"DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent"};
    return onBus ? c.startBusClient(program, args, setup) : c.startClient(program, args, setup);
}

void stop(int pid) {
    ::kill(pid, SIGTERM);
    waitProcess(pid, 10);
}

void measure(const char* desktop, HeadlessCompositor& c, bool onBus, bool swayidle,
             const std::function<bool(const Shot&)>& motes) {
    if (!c.available()) {
        std::printf("%-6s skipped: %s\n", desktop, c.why().c_str());
        return;
    }
    const std::string log = c.file("daemon.log");
    // The session bus's clients run as the compositor's user: a copy of zorvan it can reach.
    const std::string program = onBus ? installedIn(c) : zorvanPath();
    int daemon = start(c, program, {"--daemon", "--saver-after", "1h"}, onBus, log);
    if (!waitUntil([&] { return readFile(log).find("watching") != std::string::npos; }, 20, 0.05)) {
        std::printf("%-6s the daemon did not start: %s\n", desktop, readFile(log).c_str());
        stop(daemon);
        return;
    }
    settle(2.0);
    const long before = ticks(daemon);
    settle(seconds);
    const long idleTicks = ticks(daemon) - before;
    const long memory = residentKb(daemon);
    std::string theirs = "-";
    if (swayidle) {
        const int peer = start(c, "swayidle", {"timeout", "3600", "true"}, onBus, c.file("swayidle.log"));
        settle(3.0);
        theirs = std::to_string(residentKb(peer)) + " kB";
        stop(peer);
    }
    stop(daemon);

    // The saver's first frame after the timeout.
    const std::string log2 = c.file("daemon2.log");
    daemon = start(c, program, {"--daemon", "--saver-after", std::to_string(SAVER_AFTER) + "s"}, onBus, log2);
    waitUntil([&] { return readFile(log2).find("watching") != std::string::npos; }, 20, 0.002);
    const double armedBoot = bootSeconds();
    const auto armed = std::chrono::steady_clock::now();
    const bool shown = c.waitFor(motes, SAVER_AFTER + 10);
    const double late = secondsSince(armed) - SAVER_AFTER;
    std::istringstream children(
        readFile("/proc/" + std::to_string(daemon) + "/task/" + std::to_string(daemon) + "/children"));
    int saver = -1;
    children >> saver;
    const double started = startedAt(saver) - armedBoot - SAVER_AFTER;
    const auto picture = std::chrono::steady_clock::now();
    c.screenshot();
    const double pictureTime = secondsSince(picture);
    const auto stopped = std::chrono::steady_clock::now();
    stop(daemon);
    waitUntil([&] { return saver <= 0 || !alive(saver); }, 5, 0.001);
    const double stopMs = secondsSince(stopped) * 1000;
    std::printf("%-6s over %.0f s idle: %ld ticks; resident %ld kB (swayidle %s); saver's motes %.2f s after the "
                "timeout (its process %.2f s after it; a picture takes %.2f s)%s; SIGTERM to both gone %.0f ms\n",
                desktop, seconds, idleTicks, memory, theirs.c_str(), late, started, pictureTime,
                shown ? "" : " [none came]", stopMs);
    std::fflush(stdout);
}

bool anyMotes(const Shot& shot) { return litPixels(shot) >= MOTES; }

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) seconds = std::atof(argv[1]);
    {
        HeadlessSway sway;
        measure("sway", sway, false, true, anyMotes);
    }
    {
        HeadlessKwin kwin(1280, 720, 1);
        measure("KWin", kwin, true, true, anyMotes);
    }
    {
        HeadlessMutter mutter;
        measure("mutter", mutter, true, false,
                [](const Shot& s) { return motes(HeadlessMutter::output(s, 0)) >= MOTES; });
    }
    return 0;
}
