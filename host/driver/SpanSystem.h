// --span: one scene over every screen. Wraps the backend that makes a screen for each
// monitor or output and shows the frame driver one screen instead: the bounding box of
// them all, in points, with its origin at the box's lower-left corner and y upward. Its
// one view draws through a SpanView whose panes are the backend's GL views (on one
// context), each showing its screen's rectangle of the box at its own scale.
// Implements: the box and each pane's place in it; screens that come or go (a pane
// made or dropped, and a resize of the one view to the new box, which re-seeds it); a
// screen's new size or scale; frames drawn when every screen can take one (one that is
// late is not waited for), and on each screen that can.
// Does not implement: the screens themselves, their events and their ends (the wrapped
// backend's), screens whose frames are not in one coordinate space.
#pragma once

#include "host/driver/WindowSystem.h"
#include "platform/gl/SpanView.h"

#include <memory>
#include <optional>
#include <vector>

namespace zorvan::host {

class SpanSystem : public WindowSystem {
public:
    explicit SpanSystem(std::unique_ptr<WindowSystem> screens);

    std::vector<ScreenSpec> screens() override;
    int failureStatus() const override { return screens_->failureStatus(); }
    bool preview() const override { return screens_->preview(); }
    bool paced() const override { return screens_->paced(); }
    std::optional<long> defaultFrames() const override { return screens_->defaultFrames(); }
    bool stopsAtOnce() const override { return screens_->stopsAtOnce(); }
    void viewMade(size_t i) override;
    bool beforeStart(bool fade) override { return screens_->beforeStart(fade); }
    void afterStart() override { screens_->afterStart(); }
    EndReason poll() override { return screens_->poll(); }
    // The one screen stays; its panes follow the backend's screens.
    ScreenChanges takeScreenChanges() override;
    std::optional<Resize> takeResize(size_t i) override;
    // A frame waits until every pane can take it (their frame callbacks on Wayland), so
    // that all screens show the same step; a pane late by more than a moment (covered,
    // its output asleep) is not waited for.
    bool visible(size_t i) const override;
    void wait(std::optional<Clock::time_point> deadline) override;
    bool writeOutput(EndReason why) override { return screens_->writeOutput(why); }
    int end(EndReason why) override;

private:
    // A screen of the wrapped backend.
    struct Pane {
        Rect frame;  // as the backend gives it (its size in points)
        OpenGLViewFactory makeGLView;
        OpenGLView* gl = nullptr;  // once the span's view asked for its GL view
        bool live = true;          // false once its screen is gone
        // Since when the frame has waited for it; none while it can take one.
        mutable std::optional<Clock::time_point> waitedSince;
    };

    static Pane paneOf(ScreenSpec& spec);  // takes its GL view's factory
    OpenGLView* makeSpanView(const OpenGLPixelFormat& format);
    bool makePaneView(size_t i);
    // The box around the live panes (without any, the last one stays); each pane placed
    // in it. True when its size changed.
    bool placePanes();

    std::unique_ptr<WindowSystem> screens_;
    std::vector<Pane> panes_;  // by the backend's screen index
    std::optional<OpenGLPixelFormat> format_;  // the view's, for the panes made later
    std::unique_ptr<SpanView> view_;
    Rect box_;
    bool resized_ = false;  // the box changed since the last takeResize
    mutable std::optional<Clock::time_point> holdUntil_;  // the frame waits for a pane until then
};

}  // namespace zorvan::host
