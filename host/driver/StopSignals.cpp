#include "host/driver/StopSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace zorvan::host {

namespace {

constexpr int SIGNALS[] = {SIGTERM, SIGINT, SIGHUP};

volatile sig_atomic_t stopFlag = 0;
volatile sig_atomic_t exitAtOnce = 0;
int pipeFds[2] = {-1, -1};
struct sigaction previous[3];

void onStop(int) {
    if (exitAtOnce) _exit(0);
    const int saved = errno;
    stopFlag = 1;
    if (pipeFds[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = write(pipeFds[1], &byte, 1);
    }
    errno = saved;
}

}  // namespace

StopSignals::StopSignals() {
    stopFlag = 0;
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) pipeFds[0] = pipeFds[1] = -1;
    struct sigaction action {};
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a blocking call returns with EINTR
    for (int i = 0; i < 3; ++i) sigaction(SIGNALS[i], &action, &previous[i]);
    // Blocked across the exec that started this program, a signal that came early is
    // pending: it is handled from here on.
    sigset_t stops;
    sigemptyset(&stops);
    for (int s : SIGNALS) sigaddset(&stops, s);
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
}

void StopSignals::setExitAtOnce(bool on) {
    exitAtOnce = on ? 1 : 0;
    if (on && stopFlag) _exit(0);
}

StopSignals::~StopSignals() {
    exitAtOnce = 0;
    for (int i = 0; i < 3; ++i) sigaction(SIGNALS[i], &previous[i], nullptr);
    for (int& fd : pipeFds) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

bool StopSignals::requested() const { return stopFlag != 0; }

int StopSignals::fd() const { return pipeFds[0]; }

bool StopSignals::sleepFor(std::chrono::nanoseconds duration) const {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + duration;
    while (!requested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd(), POLLIN, 0};
        poll(&p, fd() >= 0 ? 1 : 0, static_cast<int>(left.count()) + 1);
    }
    return requested();
}

bool StopSignals::waitForInput(int input, std::optional<std::chrono::steady_clock::time_point> deadline,
                               int alsoFd) const {
    timespec timeout{};
    if (deadline) {
        const long long ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(*deadline - std::chrono::steady_clock::now()).count();
        if (ns > 0) timeout = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    }
    // A negative descriptor is left out by poll itself.
    pollfd fds[3] = {{input, POLLIN, 0}, {fd(), POLLIN, 0}, {alsoFd, POLLIN, 0}};
    return ppoll(fds, 3, deadline ? &timeout : nullptr, nullptr) > 0 && (fds[0].revents & POLLIN);
}

}  // namespace zorvan::host
