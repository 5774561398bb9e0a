#include "host/driver/FrameDriver.h"

#include "host/driver/ErrorLine.h"
#include "host/driver/StopSignals.h"
#include "saver/Zorvan.h"

#include <algorithm>
#include <cmath>

namespace zorvan::host {

// The backends this build has, in the order they are asked (the build writes the list:
// one ZORVAN_BACKEND(Name) line each, made by makeNameBackend in NameBackend.cpp).
#define ZORVAN_BACKEND(name) \
    std::unique_ptr<WindowSystem> make##name##Backend(const Options& options, StopSignals& stop);
#include "host_backends.inc"
#undef ZORVAN_BACKEND

namespace {

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
    auto factory = [glFailed, makeGLView = std::move(makeGLView)](
                       Rect frame, const OpenGLPixelFormat& format) -> std::unique_ptr<OpenGLView> {
        auto glView = makeGLView ? makeGLView(frame, format) : nullptr;
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

// The first backend that takes the options' form; each says no by returning null.
std::unique_ptr<WindowSystem> openWindowSystem(const Options& options, StopSignals& stop) {
#define ZORVAN_BACKEND(name) \
    if (auto system = make##name##Backend(options, stop)) return system;
#include "host_backends.inc"
#undef ZORVAN_BACKEND
    return nullptr;
}

}  // namespace

FrameDriver::FrameDriver(WindowSystem& system, const Options& options, StopSignals* stop)
    : system_(system), options_(options), stop_(stop) {}

FrameDriver::~FrameDriver() = default;

bool FrameDriver::start(std::string& error) {
    std::vector<ScreenSpec> screens = system_.screens();
    if (screens.empty()) {
        failureStatus_ = system_.failureStatus();
        return false;
    }
    if (options_.fps) meter_.emplace();
    for (ScreenSpec& screen : screens) {
        if (!addView(screen, error)) {
            failureStatus_ = 1;
            return false;
        }
    }
    if (stop_) stop_->setExitAtOnce(system_.stopsAtOnce());
    if (!system_.beforeStart()) {
        ended_ = EndReason::Signal;
        return true;
    }
    for (auto& view : views_) view->startAnimation();
    system_.afterStart();
    startClock();
    frameLimit_ = options_.frames ? options_.frames : system_.defaultFrames();
    return true;
}

bool FrameDriver::addView(ScreenSpec& screen, std::string& error) {
    auto view = makeView(std::move(screen.glView), screen.frame, system_.preview(), options_, error);
    if (!view) {
        error += screen.where;
        return false;
    }
    system_.viewMade(views_.size(), *view, meter_ ? &*meter_ : nullptr);
    view->setFrameSize(screen.size);
    views_.push_back(std::move(view));
    return true;
}

void FrameDriver::startClock() {
    // The views' interval (or --delay); no clock when no view draws.
    double interval = -1.0;
    bool anyDrawing = false;
    for (const auto& view : views_) {
        if (!view || !view->draws()) continue;
        anyDrawing = true;
        interval = view->animationTimeInterval();
    }
    if (anyDrawing && options_.delayMicros) interval = double(*options_.delayMicros) / 1e6;
    if (anyDrawing && std::isfinite(interval) && interval >= 0.0 && (interval > 0.0 || options_.delayMicros)) {
        // (An hour at most: a longer interval would overflow the clock's arithmetic.)
        clock_.emplace(std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(std::min(interval, 3600.0))));
    }
}

void FrameDriver::followScreens() {
    ScreenChanges changes = system_.takeScreenChanges();
    for (size_t i : changes.gone) {
        views_[i].reset();
        system_.forget(i);
    }
    for (ScreenSpec& screen : changes.added) {
        // A screen whose view cannot be made stays empty; the others run on.
        std::string error;
        if (!addView(screen, error)) {
            reportError(error);
            views_.emplace_back();
            system_.forget(views_.size() - 1);
            continue;
        }
        views_.back()->startAnimation();
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
    for (size_t i = 0; i < views_.size(); ++i) anyVisible = anyVisible || (views_[i] && system_.visible(i));
    if (!anyVisible) return std::nullopt;
    if (!system_.paced()) {
        drawFrame();
        return Clock::now();
    }
    if (!clock_) return std::nullopt;
    if (!clock_->due(Clock::now())) return clock_->next();
    drawFrame();
    clock_->tick(Clock::now());
    return clock_->next();
}

void FrameDriver::resizeIfNeeded() {
    // A new size re-seeds the swarm and re-applies the GL state at the new start.
    for (size_t i = 0; i < views_.size(); ++i) {
        if (!views_[i]) continue;
        if (const std::optional<Resize> resize = system_.takeResize(i)) {
            if (OpenGLView* gl = views_[i]->glView()) gl->setBackingScale(resize->scale);
            views_[i]->setFrameSize(resize->size);
            views_[i]->startAnimation();
        }
    }
}

void FrameDriver::drawFrame() {
    if (meter_) meter_->beginFrame();
    for (size_t i = 0; i < views_.size(); ++i)
        if (views_[i] && system_.visible(i)) views_[i]->animateOneFrame();
    if (meter_) meter_->endFrame();
    ++framesDrawn_;
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
    const int status = system_.end(ended_, views_);
    views_.clear();
    return status;
}

int runSaver(const Options& options) {
    // Until the views are made (the logo decoding among it) nothing needs undoing: a stop
    // signal ends the process at once rather than after the start-up.
    StopSignals stop;
    stop.setExitAtOnce(true);
    std::unique_ptr<WindowSystem> system = openWindowSystem(options, stop);
    if (!system) {
        reportError("no window system for this form of the saver");
        return 2;
    }
    return FrameDriver(*system, options, &stop).run();
}

}  // namespace zorvan::host
