// A private headless weston (pixman) for the Wayland tests: one output of width x height
// logical pixels at `scale` (a mode of width*scale x height*scale real pixels), black,
// no panel, no animations, no idle fade, and no seat at all (the headless backend makes
// none: no input for the tests to send). Pictures come from weston-screenshooter, which
// weston's --debug lets in.
#pragma once

#include "support/HeadlessCompositor.h"

#include <string>

namespace zorvan::test {

class HeadlessWeston : public HeadlessCompositor {
public:
    // Starts weston and waits until its output shows black; see available().
    HeadlessWeston(int width, int height, int scale = 1);

    // The output at its full resolution, through weston-screenshooter. It stores the
    // surfaces' fourth byte as alpha, and a pixel whose byte is 0 as 0,0,0,0: the picture
    // is read and kept with the alpha left out.
    Shot screenshot(const std::string& name = "") override;

private:
    bool start(int width, int height, int scale);
};

}  // namespace zorvan::test
