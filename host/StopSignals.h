// SIGTERM, SIGINT and SIGHUP as a request to end the run, the way screen-saver daemons
// end their savers: the handler only sets a flag and writes to a pipe, whose read end
// wakes the host's poll at once, so the run ends between two frames and every
// clean-up (the gamma above all) happens on the normal way out.
#pragma once

#include <chrono>

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
};

}  // namespace zorvan::host
