// How far a long offscreen run has come, on a terminal: one line on stderr kept up to
// date (frames done of all, frames a second, the time left), as the tools that copy and
// encode show theirs. It appears once the run has taken a second, so short runs show
// nothing, and never where stderr is no terminal (a log, a pipe, a test).
#pragma once

#include <chrono>
#include <string>

namespace zorvan::host {

class ProgressLine {
public:
    // Towards `total` frames, on `fd` when it is a terminal.
    explicit ProgressLine(long total, int fd = 2);
    ~ProgressLine();  // clears the line it showed
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // `done` frames are drawn.
    void update(long done);

    // "frame 150/300  50%  57.2 fps  0:03 left".
    static std::string text(long done, long total, double seconds);

private:
    using Clock = std::chrono::steady_clock;
    void show(const std::string& line) const;

    int fd_ = -1;  // -1: no terminal
    long total_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point next_;  // the line is rewritten no sooner
    bool shown_ = false;
};

}  // namespace zorvan::host
