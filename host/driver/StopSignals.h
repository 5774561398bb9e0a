// SIGTERM, SIGINT and SIGHUP as a request to end the run, the way screen-saver daemons
// end their savers: the handler only sets a flag and writes to a pipe, whose read end
// wakes the host's poll at once, so the run ends between two frames and every
// clean-up (the gamma above all) happens on the normal way out. Phases with nothing to
// clean up can ask for an immediate exit instead.
#pragma once

#include <chrono>
#include <optional>

namespace zorvan::host {

class StopSignals {
public:
    StopSignals();   // installs the handlers
    ~StopSignals();  // puts the previous handlers back
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // True once one of the signals arrived.
    bool requested() const;
    // Readable once one of the signals arrived (for poll); -1 when no pipe could be made.
    int fd() const;
    // Sleeps for `duration` or until a signal arrives; returns requested().
    bool sleepFor(std::chrono::nanoseconds duration) const;
    // Sleeps until `fd` is readable, `deadline` passes (none: no limit) or a signal
    // arrives; returns whether `fd` is readable. The window systems' waits; `alsoFd`,
    // where given, ends the wait too when readable.
    bool waitForInput(int fd, std::optional<std::chrono::steady_clock::time_point> deadline, int alsoFd = -1) const;

    // While on, a signal ends the process at once with status 0, from the handler: for
    // the phases that have nothing to undo and may not look at the flag for a while
    // (start-up, with the logo decoding; offscreen frames before anything is written).
    void setExitAtOnce(bool on);
};

}  // namespace zorvan::host
