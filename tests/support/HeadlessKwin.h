// A private KWin for the Wayland tests: one virtual output of width x height logical
// pixels at `scale` (so a mode of width*scale x height*scale real pixels), black, with
// no input devices, on a session bus of its own (dbus-run-session). KWin's binary carries
// a file capability that keeps it from running as nobody, so it runs as a plain copy in
// the private folder. Pictures come through its ScreenShot2 D-Bus interface, called with
// gdbus as KWin's own user (the bus takes no one else).
#pragma once

#include "support/HeadlessCompositor.h"

#include <string>

namespace zorvan::test {

class HeadlessKwin : public HeadlessCompositor {
public:
    // Starts KWin and waits until it answers for pictures; see available().
    HeadlessKwin(int width, int height, double scale);

    // A picture of the output at its full resolution (width*scale x height*scale), or of
    // the active window at the output's scale, with or without the title bar and frame
    // KWin draws around it. With a name it is also kept as test-shots/<name>.png. An
    // empty Shot, with error() saying why, when it cannot be taken.
    Shot screenshot(const std::string& name = "") override;
    Shot windowShot(bool decoration, const std::string& name = "");

private:
    bool start(int width, int height, double scale);
    Shot capture(const std::string& method, const std::string& options, const std::string& name);
};

}  // namespace zorvan::test
