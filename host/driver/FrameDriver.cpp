#include "host/driver/FrameDriver.h"

#include "host/driver/ErrorLine.h"
#include "host/driver/MoteDump.h"
#include "host/driver/StopSignals.h"
#include "saver/Zorvan.h"

#include <algorithm>
#include <cmath>

namespace zorvan::host {

namespace {

// How often a wallpaper looks whether a saver of its session has come or gone.
constexpr auto SAVER_LOOK = std::chrono::milliseconds(250);

// A view created on `makeGLView` with `frame` (its screen's, origin at the lower-left
// corner of the primary monitor), the way a screen-saver host makes one: initWithFrame
// as the preview or not. With --mode the motion mode is held: the play list is emptied,
// so the schedule never switches. Returns null, with `error` set, when the view or its
// GL view cannot be made; a view that declines to draw is no failure.
std::unique_ptr<Zorvan> makeView(OpenGLViewFactory makeGLView, Rect frame, bool isPreview, const Options& options,
                                 std::string& error) {
    // A view that declines to draw never asks for a GL view; one that asked and got none
    // would stay blank for its whole life, which is a failure to report, not a decline.
    auto glFailed = std::make_shared<bool>(false);  // the view keeps its factory
    auto factory = [glFailed, makeGLView = std::move(makeGLView)](Rect frame,
                                                                  const OpenGLPixelFormat& format) -> OpenGLView* {
        OpenGLView* glView = makeGLView ? makeGLView(frame, format) : nullptr;
        *glFailed = !glView;
        return glView;
    };
    auto view = std::make_unique<Zorvan>(factory);
    if (!view->initWithFrame(frame, isPreview)) {
        error = "cannot create the saver view";
        return nullptr;
    }
    if (*glFailed) {
        error = "cannot create an OpenGL context for the view";
        return nullptr;
    }
    if (options.mode) {
        view->holdMode(*options.mode);
    }
    return view;
}

// How often the views draw for the machine's power, and why, for the --fps text.
struct Pace {
    enum Rate { Full, Half, Rest } rate = Full;
    std::string why;
};

// Below this charge, or at UPower's critical or action level, on battery, the views rest.
constexpr double LOW_PERCENT = 10.0;
constexpr unsigned CRITICAL_LEVEL = 4;
// While resting the loop looks at the power again this often.
constexpr auto REST_LOOK = std::chrono::milliseconds(500);

Pace paceFor(Options::Power mode, PowerWatch* watch) {
    if (mode == Options::Power::Full) return {};
    if (mode == Options::Power::Save) return {Pace::Half, "--power save"};
    if (!watch) return {};
    const PowerState& s = watch->poll();
    if (s.onBattery && s.battery && s.percentage < LOW_PERCENT)
        return {Pace::Rest, "battery at " + std::to_string(int(std::max(s.percentage, 0.0))) + " %"};
    if (s.onBattery && s.warningLevel >= CRITICAL_LEVEL) return {Pace::Rest, "battery critical"};
    if (s.onBattery) return {Pace::Half, "on battery"};
    if (s.profile == "power-saver") return {Pace::Half, "power saver"};
    return {};
}

}  // namespace

FrameDriver::FrameDriver(WindowSystem& system, const Options& options, StopSignals* stop)
    : system_(system), options_(options), stop_(stop) {}

FrameDriver::~FrameDriver() {
    for (Screen& screen : screens_) release(screen);
}

bool FrameDriver::start(std::string& error) {
    std::vector<ScreenSpec> screens = system_.screens();
    if (screens.empty()) {
        failureStatus_ = system_.failureStatus();
        return false;
    }
    if (options_.fps) meter_.emplace();
    // Asked now, so that the answer is in before the first frame as a rule.
    if (options_.power == Options::Power::Auto && system_.paced()) power_.emplace();
    for (ScreenSpec& screen : screens) {
        if (!addView(screen, error)) {
            failureStatus_ = 1;
            return false;
        }
    }
    if (stop_) stop_->setExitAtOnce(system_.stopsAtOnce());
    if (!system_.beforeStart(Zorvan::performGammaFade())) {
        ended_ = EndReason::Signal;
        return true;
    }
    for (Screen& screen : screens_) screen.view->startAnimation();
    system_.afterStart();
    // A saver over every output: the wallpapers of this session may rest until it ends.
    if (options_.fullscreen) presence_ = SaverPresence::announce();
    startClock();
    frameLimit_ = options_.frames ? options_.frames : system_.defaultFrames();
    if (options_.seconds)
        frameLimit_ = std::clamp<long long>(std::llround(*options_.seconds / interval_), 1, MAX_FRAMES);
    if (!system_.framesBegin(interval_)) {
        failureStatus_ = 1;
        return false;
    }
    if (!system_.paced() && frameLimit_) progress_.emplace(*frameLimit_);
    return true;
}

bool FrameDriver::addView(ScreenSpec& screen, std::string& error) {
    auto view = makeView(std::move(screen.glView), screen.frame, system_.preview(), options_, error);
    if (!view) {
        error += screen.where;
        return false;
    }
    if (options_.span && view->state().settings.mainScreenOnly)
        reportError("warning: --main-screen-only has no meaning with --span: one scene goes over every screen");
    Screen made{std::move(view), nullptr};
    // The --fps text goes over each frame, drawn before the frame is presented.
    if (OpenGLView* gl = made.view->glView(); gl && meter_) {
        made.fps = std::make_unique<FpsText>(screen.fontDisplay, screen.scale);
        gl->setBeforePresent([meter = &*meter_, text = made.fps.get()] { text->draw(meter->text()); });
    }
    system_.viewMade(screens_.size());
    made.view->setFrameSize(screen.size);
    screens_.push_back(std::move(made));
    return true;
}

// The view goes before its GL view, which its backend keeps until it forgets the screen.
void FrameDriver::release(Screen& screen) {
    if (!screen.view) return;
    if (OpenGLView* gl = screen.view->glView()) gl->setBeforePresent({});
    screen.view.reset();
    screen.fps.reset();
}

void FrameDriver::startClock() {
    // The views' interval (or --delay); no clock when no view draws.
    double interval = -1.0;
    bool anyDrawing = false;
    for (const Screen& screen : screens_) {
        if (!screen.view || !screen.view->draws()) continue;
        anyDrawing = true;
        interval = screen.view->animationTimeInterval();
    }
    if (anyDrawing && options_.delayMicros) interval = double(*options_.delayMicros) / 1e6;
    if (anyDrawing && std::isfinite(interval) && interval >= 0.0 && (interval > 0.0 || options_.delayMicros)) {
        // (An hour at most: a longer interval would overflow the clock's arithmetic.)
        interval_ = std::min(interval, 3600.0);
        period_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(interval_));
        clock_.emplace(period_);
    }
}

void FrameDriver::followScreens() {
    ScreenChanges changes = system_.takeScreenChanges();
    for (size_t i : changes.gone) {
        release(screens_[i]);
        system_.forget(i);
    }
    for (ScreenSpec& screen : changes.added) {
        // A screen whose view cannot be made stays empty; the others run on.
        std::string error;
        if (!addView(screen, error)) {
            reportError(error);
            screens_.emplace_back();
            system_.forget(screens_.size() - 1);
            continue;
        }
        screens_.back().view->startAnimation();
        if (!clock_) startClock();
    }
}

std::optional<Clock::time_point> FrameDriver::turn() {
    auto end = [this](EndReason why) -> std::optional<Clock::time_point> {
        ended_ = why;
        return std::nullopt;
    };
    if (ended_ != EndReason::NotYet) return std::nullopt;
    if (stop_ && stop_->requested()) return end(EndReason::Signal);
    if (frameLimit_ && framesDrawn_ >= *frameLimit_) return end(EndReason::Frames);
    if (const EndReason why = system_.poll(); why != EndReason::NotYet) return end(why);
    if (stop_ && stop_->requested()) return end(EndReason::Signal);

    followScreens();
    resizeIfNeeded();

    bool anyVisible = false;
    for (size_t i = 0; i < screens_.size(); ++i) anyVisible = anyVisible || (screens_[i].view && system_.visible(i));
    if (!anyVisible) return std::nullopt;
    if (restsUnderSaver()) return nextSaverLook_;
    if (!system_.paced()) {
        drawFrame();
        return Clock::now();
    }
    if (!clock_) return std::nullopt;

    // Half the rate is the clock's period doubled. A rest keeps the last frame (with
    // --fps, one more that says why) and goes on where it was when the power is back.
    const Pace pace = paceFor(options_.power, power_ ? &*power_ : nullptr);
    clock_->setPeriod(pace.rate == Pace::Half ? 2 * period_ : period_);
    if (meter_) {
        meter_->setNote(pace.rate == Pace::Full   ? ""
                        : pace.rate == Pace::Half ? "half rate: " + pace.why
                                                  : "resting: " + pace.why);
    }
    if (pace.rate != Pace::Rest) resting_ = false;
    else if (resting_ || !meter_) {
        resting_ = true;
        return Clock::now() + REST_LOOK;
    }
    if (!clock_->due(Clock::now())) return clock_->next();
    drawFrame();
    clock_->tick(Clock::now());
    if (pace.rate == Pace::Rest) resting_ = true;
    return clock_->next();
}

bool FrameDriver::restsUnderSaver() {
    // A wallpaper or a window of its own; not the saver, nor a window handed over.
    if (options_.action != Options::Action::Window || options_.target != Options::Target::OwnWindow ||
        options_.fullscreen)
        return false;
    const Clock::time_point now = Clock::now();
    if (now >= nextSaverLook_) {
        underSaver_ = presence_.saverRunning();
        nextSaverLook_ = now + SAVER_LOOK;
    }
    return underSaver_;
}

void FrameDriver::resizeIfNeeded() {
    // A new size re-seeds the swarm and re-applies the GL state at the new start.
    for (size_t i = 0; i < screens_.size(); ++i) {
        Zorvan* view = screens_[i].view.get();
        if (!view) continue;
        if (const std::optional<Resize> resize = system_.takeResize(i)) {
            if (OpenGLView* gl = view->glView()) gl->setBackingScale(resize->scale);
            view->setFrameSize(resize->size);
            view->startAnimation();
        }
    }
}

// Each view's frame is presented by its GL view, with the --fps text drawn over it.
void FrameDriver::drawFrame() {
    if (meter_) meter_->beginFrame();
    for (size_t i = 0; i < screens_.size(); ++i)
        if (screens_[i].view && system_.visible(i)) screens_[i].view->animateOneFrame();
    if (meter_) meter_->endFrame();
    ++framesDrawn_;
    if (!system_.frameDrawn()) ended_ = EndReason::Failed;
    if (progress_) progress_->update(framesDrawn_);
}

// What the run leaves behind once its frames are drawn: the backend's (the picture),
// then the mote dump, unless the picture failed.
bool FrameDriver::writeOutput() {
    if (!system_.writeOutput(ended_)) return false;
    if (ended_ != EndReason::Frames || !options_.dumpPath || screens_.empty() || !screens_.front().view) return true;
    std::string error;
    if (!writeMoteDump(*screens_.front().view, *options_.dumpPath, error)) {
        reportError(error);
        return false;
    }
    return true;
}

int FrameDriver::run() {
    std::string error;
    if (!start(error)) {
        if (!error.empty()) reportError(error);
        return failureStatus_;
    }
    while (ended_ == EndReason::NotYet) {
        const std::optional<Clock::time_point> next = turn();  // poll, resize, draw if due
        if (ended_ == EndReason::NotYet) system_.wait(next);     // then wait
    }
    if (stop_) stop_->setExitAtOnce(false);
    progress_.reset();  // the line goes before what the end has to say
    const bool written = writeOutput();
    for (Screen& screen : screens_) release(screen);  // before the backend lets their GL views go
    const int status = system_.end(ended_);
    return written ? status : 1;
}

}  // namespace zorvan::host
