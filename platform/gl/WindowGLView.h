// What the GL views on a window system's drawable share (GlxView on an X window,
// EglView on a Wayland surface): the module's frame ends in glFlush only, so the back
// buffer is presented at unlockFocus, unless flushBuffer presented it inside the lock
// already (a second swap would show the stale buffer); right before each swap run the
// view's before-present hook (the host's frame-rate overlay) and then the window
// system's own step (on Wayland, asking for the surface's next frame callback).
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

    // The window system's step right before each swap, after the before-present hook;
    // it draws nothing. None by default.
    void setBeforeSwap(std::function<void()> step) { beforeSwap_ = std::move(step); }

protected:
    // Puts the back buffer on screen.
    virtual void swapBuffers() = 0;

private:
    void present() {
        runBeforePresent();
        if (beforeSwap_) beforeSwap_();
        swapBuffers();
    }

    bool presentedInFocus_ = false;
    std::function<void()> beforeSwap_;
};

}  // namespace zorvan
