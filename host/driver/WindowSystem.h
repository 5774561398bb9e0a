// What the frame driver asks of a window system: the screens to draw on, events up to a
// deadline, and the steps before the first frame and after the last. One backend per
// window system, each in a folder of its own under host/backends/ and a row in the
// table there: X11 (a window of its own, --fullscreen, --root, --window-id), offscreen
// (--render, --record), Wayland (a window, --fullscreen and --wallpaper on every output); the
// settings pane's preview (host/pane/) is one too. A backend knows nothing of the
// saver's views: it makes and keeps the GL views they draw on, which present their own
// frames.
#pragma once

#include "platform/Geometry.h"
#include "platform/gl/OpenGLView.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace zorvan::host {

using Clock = std::chrono::steady_clock;

// Why a run ends.
enum class EndReason {
    NotYet,      // it goes on
    Frames,      // --frames (or an offscreen run's frames) are drawn
    Input,       // the user's key, button or motion in full screen; Esc or q in a window
    Closed,      // the window's close
    WindowGone,  // a handed-over window was destroyed by its owner
    Signal,      // SIGTERM, SIGINT or SIGHUP
    Failed,      // an error, reported by the backend
};

// A screen to draw on: its view's frame and size in points (origin at the lower-left
// corner of the main monitor, y upward), how its GL view is made (the backend keeps
// it until it forgets the screen), its pixels per point, the X display whose "fixed"
// font the --fps text takes (none: a font of our own), and what an error line adds to
// name it (" on window 0x…").
struct ScreenSpec {
    Rect frame;
    Size size;
    OpenGLViewFactory glView;
    double scale = 1.0;
    Display* fontDisplay = nullptr;
    std::string where;
};

// Screens that came or went during the run (outputs plugged in or removed).
struct ScreenChanges {
    std::vector<size_t> gone;       // their views are freed, then forget(i) is called
    std::vector<ScreenSpec> added;  // screens size(), size() + 1, ... in this order
};

// A screen's new size: in points, and its pixels per point.
struct Resize {
    Size size;
    double scale = 1.0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // The screens, each to get a view in this order. Empty when the backend could not
    // open them; it has then reported why, and failureStatus() is the exit status.
    virtual std::vector<ScreenSpec> screens() = 0;
    virtual int failureStatus() const { return 1; }
    // Whether the views are preview instances.
    virtual bool preview() const = 0;
    // Whether frames keep to the clock (windows) or follow each other at once (offscreen).
    virtual bool paced() const { return true; }
    // Frames to draw when --frames is not given; none: until the run ends otherwise.
    virtual std::optional<long> defaultFrames() const { return std::nullopt; }
    // Whether a stop signal may end the process at once while frames are drawn: true
    // where nothing would be left to undo.
    virtual bool stopsAtOnce() const { return false; }

    // Screen i's view is made and sized; whether it asked for a GL view is known now
    // (one that draws nothing asks for none).
    virtual void viewMade(size_t /*i*/) {}
    // Before the views start animating (the fade to black, where `fade`: the views ask
    // a full-screen host for one); false when the run ended meanwhile. Then after they
    // start: showing the windows, taking the input.
    virtual bool beforeStart(bool /*fade*/) { return true; }
    virtual void afterStart() {}
    // Before the first frame, with the interval between frames in seconds (--delay's
    // or the views'): a recording opens its file. False when that failed; the backend
    // has reported why.
    virtual bool framesBegin(double /*interval*/) { return true; }
    // After each frame is drawn and presented: a recording takes it. False ends the run
    // as failed; the backend has reported why.
    virtual bool frameDrawn() { return true; }

    // The events so far, without waiting: a reason to end, or NotYet.
    virtual EndReason poll() = 0;
    // Screens that came or went since the last call; a gone screen's index stays taken.
    virtual ScreenChanges takeScreenChanges() { return {}; }
    // Screen i's view is freed: the backend may let the screen and its GL view go.
    virtual void forget(size_t /*i*/) {}
    // A new size for screen i since the last call, if any.
    virtual std::optional<Resize> takeResize(size_t /*i*/) { return std::nullopt; }
    // Whether screen i can be seen (frames are drawn only for screens that can).
    virtual bool visible(size_t /*i*/) const { return true; }
    // Sleeps until `deadline` (none: until an event), an event or a stop signal.
    virtual void wait(std::optional<Clock::time_point> deadline) = 0;

    // After the last frame, with the views still there: what the run leaves behind (the
    // offscreen picture). False when that failed; the backend has reported why.
    virtual bool writeOutput(EndReason /*why*/) { return true; }
    // After the views are freed: the last steps (the windows go, the displays fade
    // back); returns the exit status.
    virtual int end(EndReason why) = 0;
};

}  // namespace zorvan::host
