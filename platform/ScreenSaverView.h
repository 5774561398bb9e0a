// The host's base view: frame, preview flag, the animation interval the host's timer
// honours, the subviews (the GL view), and the base start and stop of the animation.
#pragma once

#include "platform/Geometry.h"
#include "platform/gl/OpenGLView.h"

#include <memory>
#include <vector>

namespace zorvan {

class ScreenSaverView {
public:
    ScreenSaverView() = default;
    virtual ~ScreenSaverView() = default;
    ScreenSaverView(const ScreenSaverView&) = delete;
    ScreenSaverView& operator=(const ScreenSaverView&) = delete;

    // Initialises the base view. Fails (false) for a frame whose size is negative or
    // not finite: no view can be made from it.
    bool initWithFrame(Rect frame, bool isPreview);

    Rect frame() const { return frame_; }
    bool isPreview() const { return isPreview_; }

    // Resizes the view, and with it every subview when autoresizing is on.
    virtual void setFrameSize(Size size);
    virtual void startAnimation();
    virtual void stopAnimation();
    virtual void animateOneFrame() {}

    bool isAnimating() const { return animating_; }
    // The period of the host's frame calls; a negative interval asks for no frames.
    void setAnimationTimeInterval(double seconds) { animationTimeInterval_ = seconds; }
    double animationTimeInterval() const { return animationTimeInterval_; }

    void setAutoresizesSubviews(bool on) { autoresizesSubviews_ = on; }
    bool autoresizesSubviews() const { return autoresizesSubviews_; }
    // The subviews are lent: whoever made them keeps them alive for the view's whole life.
    void addSubview(OpenGLView* view) { subviews_.push_back(view); }
    const std::vector<OpenGLView*>& subviews() const { return subviews_; }

private:
    Rect frame_;
    bool isPreview_ = false;
    bool animating_ = false;
    bool autoresizesSubviews_ = false;
    double animationTimeInterval_ = 1.0 / 30.0;
    std::vector<OpenGLView*> subviews_;
};

}  // namespace zorvan
