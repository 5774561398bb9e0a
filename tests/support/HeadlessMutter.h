// A private mutter for the Wayland tests, nested in an Xvfb of its own: two dummy
// outputs of 800x600 real pixels side by side, LVDS1 at scale 1 at the origin and LVDS2
// at scale 2 to its right, laid out in real pixels, so that the Xvfb's screen (1600x600)
// shows both pixel for pixel. Mutter's own plugin paints each output a colour with no
// black in it: black with motes on it is a client's. Input goes through xdotool to the
// Xvfb, whose pointer and keys the nested mutter takes as its own; outputs change through
// org.gnome.Mutter.DisplayConfig on mutter's session bus (dbus-run-session), called as
// mutter's user (the bus takes no one else).
#pragma once

#include "host/TwoMonitorDisplay.h"
#include "support/HeadlessCompositor.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zorvan::test {

// The smallest box around every black pixel of a picture: a client's black, as mutter's
// backgrounds have none. Empty when there is no black.
Box blackBox(const Shot& shot);
// The lit pixels inside a picture's black box: the motes a client draws on its black.
long motes(const Shot& shot);

class HeadlessMutter : public HeadlessCompositor {
public:
    static constexpr int OUTPUT_WIDTH = 800, OUTPUT_HEIGHT = 600;  // each output, real pixels

    // The tool that is not installed, or empty when all are.
    static std::string missing();

    HeadlessMutter();  // starts the Xvfb and mutter, and waits for both outputs; see available()
    ~HeadlessMutter() override;

    // The Xvfb's screen: both outputs (LVDS2's place black once it is gone). With a name it
    // is also kept as test-shots/<name>.png. Empty when it cannot be read.
    Shot screenshot(const std::string& name = "") override;
    // Output 0's or 1's part of a shot.
    static Shot output(const Shot& shot, int index);
    // Waits until both outputs show mutter's own colours (no client's black on them): a
    // client that ended is gone, with the fading mutter draws it out with.
    bool waitForDesktop(double seconds);

    // Input through the Xvfb: a key by its keysym name ("space"), the pointer to a point
    // of the screen or by an offset (real pixels), a left click. True when xdotool did it.
    bool key(const std::string& name) override;
    bool moveTo(int x, int y);
    bool move(int dx, int dy);
    bool click();

    // Takes LVDS2 out of the layout, as unplugging it would; true once mutter applied it.
    bool removeOutput();

private:
    bool start();
    bool xdotool(const std::vector<std::string>& args);
    ProcessResult displayConfig(const std::string& method, const std::vector<std::string>& args);

    std::unique_ptr<TwoMonitorDisplay> x_;
};

}  // namespace zorvan::test
