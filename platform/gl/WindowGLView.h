// What the GL views on a window system's drawable share (GlxView on an X window,
// EglView on a Wayland surface): the module's frame ends in glFlush only, so the back
// buffer is presented at unlockFocus, unless flushBuffer presented it inside the lock
// already (a second swap would show the stale buffer); the host's overlay is drawn over
// every frame right before it is presented.
#pragma once

#include "platform/gl/OpenGLView.h"

#include <functional>

namespace zorvan {

class WindowGLView : public OpenGLView {
public:
    void flushBuffer() final {
        present();
        presentedInFocus_ = true;
    }
    void lockFocus() final {
        makeCurrentContext();
        presentedInFocus_ = false;
    }
    void unlockFocus() final {
        if (!presentedInFocus_) present();
        presentedInFocus_ = false;
    }

    // Drawn over every frame, with the view's context current, right before the frame
    // is presented (the host's frame-rate display); none by default.
    void setOverlay(std::function<void()> overlay) { overlay_ = std::move(overlay); }

protected:
    // Puts the back buffer on screen.
    virtual void swapBuffers() = 0;

private:
    void present() {
        if (overlay_) overlay_();
        swapBuffers();
    }

    bool presentedInFocus_ = false;
    std::function<void()> overlay_;
};

}  // namespace zorvan
