// The frame driver: what every form of the saver shares, over one window-system
// backend. It makes a view for each of the backend's screens in the module's order
// (created, sized, then started), keeps the frame clock on absolute deadlines (what a
// stall missed is skipped, not caught up), stops after --frames, ticks the --fps meter
// and draws its text over every view's frame, keeps a progress line on a terminal while
// frames are drawn offscreen, writes the mote dump after the last frame, and ends the
// run for the backend's reasons or a stop signal. With --power auto the clock follows
// the machine's power: half the rate on battery or in power-saver mode, and no new
// frames at a critical battery until the power comes back.
#pragma once

#include "host/cli/Options.h"
#include "host/driver/FpsOverlay.h"
#include "host/driver/PowerWatch.h"
#include "host/driver/ProgressLine.h"
#include "host/driver/SaverPresence.h"
#include "host/driver/WindowSystem.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zorvan {
class Zorvan;
}

namespace zorvan::host {

class StopSignals;

// Deadlines at a fixed period; after a stall the next one is a period from now.
class FrameClock {
public:
    explicit FrameClock(Clock::duration period) : period_(period), next_(Clock::now()) {}
    bool due(Clock::time_point now) const { return now >= next_; }
    void tick(Clock::time_point now) {
        next_ += period_;
        if (next_ + period_ < now) next_ = now + period_;
    }
    Clock::time_point next() const { return next_; }
    // From the next tick on.
    void setPeriod(Clock::duration period) { period_ = period; }

private:
    Clock::duration period_;
    Clock::time_point next_;
};

class FrameDriver {
public:
    // `stop`, when given, ends the run on SIGTERM, SIGINT and SIGHUP.
    FrameDriver(WindowSystem& system, const Options& options, StopSignals* stop);
    ~FrameDriver();
    FrameDriver(const FrameDriver&) = delete;
    FrameDriver& operator=(const FrameDriver&) = delete;

    // Makes, sizes and starts a view for every screen. False, with `error` set to one
    // line, when a view cannot be made (then failureStatus() is the exit status).
    bool start(std::string& error);
    int failureStatus() const { return failureStatus_; }
    // Why the run ended; NotYet while it goes on.
    EndReason ended() const { return ended_; }
    // One turn of the loop without its wait: the events, a resize, a frame when one is
    // due. Returns when the next frame is due (none: when an event comes).
    std::optional<Clock::time_point> turn();

    // The whole run of a saver form: start, turns and waits until the end, and the
    // backend's last steps. Returns the exit status.
    int run();

    Zorvan& view(size_t i) const { return *screens_[i].view; }
    long framesDrawn() const { return framesDrawn_; }

private:
    // A screen's view, and the --fps text over its frames.
    struct Screen {
        std::unique_ptr<Zorvan> view;  // null once its screen is gone
        std::unique_ptr<FpsText> fps;
    };

    // Whether this is a wallpaper or a window of its own with a saver of its session
    // over it; looked at now and then.
    bool restsUnderSaver();

    bool addView(ScreenSpec& screen, std::string& error);
    void release(Screen& screen);
    void startClock();
    void followScreens();
    void resizeIfNeeded();
    void drawFrame();
    bool writeOutput();

    WindowSystem& system_;
    const Options& options_;  // the caller's, for the driver's whole life
    StopSignals* stop_;
    std::vector<Screen> screens_;  // by the backend's screen index
    std::optional<FpsMeter> meter_;
    std::optional<FrameClock> clock_;  // none when no view animates
    Clock::duration period_{};         // the clock's period at full rate
    // The frames' interval in seconds, exact (--delay's, the views'): the period is rounded.
    double interval_ = 1.0 / 60.0;
    std::optional<PowerWatch> power_;  // with --power auto, where frames keep a clock
    bool resting_ = false;             // no frames until the power comes back
    std::optional<long> frameLimit_;
    std::optional<ProgressLine> progress_;  // offscreen, towards the frame limit
    long framesDrawn_ = 0;
    int failureStatus_ = 1;
    EndReason ended_ = EndReason::NotYet;
    // A saver's sign to the wallpapers of its session, or a wallpaper's look for one.
    SaverPresence presence_;
    Clock::time_point nextSaverLook_{};
    bool underSaver_ = false;
};

}  // namespace zorvan::host
