// A private KWin for the Wayland tests: one output of width x height logical pixels at
// `scale` (so a mode of width*scale x height*scale real pixels), black, on a session bus
// of its own (dbus-run-session). KWin's binary carries a file capability that keeps it
// from running as nobody, so it runs as a plain copy in the private folder. The scale
// goes on the command line (KWin 5) and in KWin's output configuration file (KWin 6,
// which takes it from there alone).
// Pictures: where KWin composites with OpenGL it offers its ScreenShot2 D-Bus interface,
// called with gdbus as KWin's own user (the bus takes no one else), and runs on a
// virtual output. Elsewhere (KWin 6 composites with OpenGL on a virtual output only
// given a DRM render node, and without OpenGL it offers no pictures) it runs again,
// nested in an Xvfb of its own that shows the output pixel for pixel, and pictures come
// from that X server; a window's rectangles then come from a KWin script.
#pragma once

#include "host/TwoMonitorDisplay.h"
#include "support/HeadlessCompositor.h"

#include <memory>
#include <string>

namespace zorvan::test {

class HeadlessKwin : public HeadlessCompositor {
public:
    // Starts KWin and waits until it answers for pictures; see available().
    HeadlessKwin(int width, int height, double scale);
    ~HeadlessKwin() override;

    // A picture of the output at its full resolution (width*scale x height*scale), or of
    // the active window at the output's scale, with or without the title bar and frame
    // KWin draws around it. With a name it is also kept as test-shots/<name>.png. An
    // empty Shot, with error() saying why, when it cannot be taken.
    Shot screenshot(const std::string& name = "") override;
    Shot windowShot(bool decoration, const std::string& name = "");

private:
    bool start();
    // Starts KWin on the virtual backend, or nested in x_ when there is one.
    bool launchKwin();
    // KWin's compositing type ("gl2", "qpainter", ...) once it composites; empty when it
    // does not answer within `seconds`.
    std::string compositingType(double seconds);
    Shot capture(const std::string& method, const std::string& options, const std::string& name);
    // The active window's rectangle, with or without its frame, in real pixels of the
    // output, through a KWin script; false when KWin does not tell.
    bool activeWindow(bool decoration, Box& box);

    const int width_, height_;
    const double scale_;
    std::unique_ptr<TwoMonitorDisplay> x_;  // the X server a nested KWin draws into
    int scripts_ = 0;  // KWin scripts run so far, each named by its number
};

}  // namespace zorvan::test
