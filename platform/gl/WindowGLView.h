// What the GL views on a window system's drawable share (GlxView on an X window,
// EglView on a Wayland surface): the module's frame ends in glFlush only, so the back
// buffer is presented at unlockFocus, unless flushBuffer presented it inside the lock
// already (a second swap would show the stale buffer); the host's hook runs right before
// each present (it draws the frame-rate overlay, and on Wayland asks for the surface's
// next frame callback).
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

    // Runs with the view's context current right before each frame is presented; what
    // it draws goes over the frame. None by default.
    void setBeforePresent(std::function<void()> hook) { beforePresent_ = std::move(hook); }

protected:
    // Puts the back buffer on screen.
    virtual void swapBuffers() = 0;

private:
    void present() {
        if (beforePresent_) beforePresent_();
        swapBuffers();
    }

    bool presentedInFocus_ = false;
    std::function<void()> beforePresent_;
};

}  // namespace zorvan
