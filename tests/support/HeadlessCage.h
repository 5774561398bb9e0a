// A private headless cage (wlroots, pixman) for the Wayland tests: one output of
// 1280x720 at scale 1, black, with no input devices; keys come from wtype where cage
// offers the virtual keyboard (0.2; 0.1.4 offers no way to make input). Cage runs one application and
// ends with it: here a keeper that sleeps, so that the program under test is a client
// beside it whose signals and exit status the tests see; cage shows the newest toplevel
// maximised over the whole output. It runs with -d, which tells clients that cage's own
// (no) decorations stand: without it libdecor draws a title bar, and cage 0.1.4 puts the
// surface, not its window geometry, at the output's corner, so the bar sits above the
// output and the bottom rows stay empty. Pictures come from grim (screencopy).
#pragma once

#include "support/HeadlessCompositor.h"

#include <string>

namespace zorvan::test {

class HeadlessCage : public HeadlessCompositor {
public:
    static constexpr int WIDTH = 1280, HEIGHT = 720;

    // Starts cage and waits until its output shows black; see available().
    HeadlessCage();

    // The output, through grim.
    Shot screenshot(const std::string& name = "") override;

private:
    bool start();
};

}  // namespace zorvan::test
