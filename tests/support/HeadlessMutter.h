// A private mutter for the Wayland tests with two outputs side by side: the first of
// 800x600 real pixels at scale 1 at the origin, the second at scale 2 to its right. Mutter's
// own plugin paints each output a colour with no black in it: black with motes on it is a
// client's. Outputs change through org.gnome.Mutter.DisplayConfig on mutter's session bus
// (dbus-run-session), called as mutter's user (the bus takes no one else).
//
// Two ways, by what the installed mutter offers (nested()):
// - nested (mutter 43 to 48): mutter in an Xvfb of its own (1600x600) with two dummy
//   outputs of 800x600, LVDS1 and LVDS2 (or, asked for, LVDS2 of 1600x1200 in an Xvfb of
//   2400x1200); pictures are the Xvfb's screen, input goes through xdotool to the Xvfb,
//   whose pointer and keys mutter takes as its own.
// - headless (mutter 49 on, which dropped --nested): two virtual monitors, Meta-0 of
//   800x600 and Meta-1 of 1600x1200 (mutter offers scale 2 only where the output keeps
//   800x480 logical pixels); pictures through its ScreenCast streams over a private
//   PipeWire, input through a RemoteDesktop session, both held by tests/data/mutter_remote.py.
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
    static constexpr int OUTPUT_WIDTH = 800, OUTPUT_HEIGHT = 600;  // the first output, real pixels

    // Whether the installed mutter runs nested in X (it offers --nested).
    static bool nested();
    // The tool that is not installed, or empty when all are.
    static std::string missing();

    // Starts the Xvfb and mutter, and waits for both outputs; see available(). With
    // `largeSecond` the second output is 1600x1200 pixels at scale 2 (800x600 points,
    // where a window the first output's size fits), nested too.
    explicit HeadlessMutter(bool largeSecond = false);
    ~HeadlessMutter() override;

    // Both outputs side by side, top-aligned (the second's place black once it is gone). With
    // a name it is also kept as test-shots/<name>.png. Empty when it cannot be read.
    Shot screenshot(const std::string& name = "") override;
    // Output 0's or 1's part of a shot: the first 800x600, or all to its right.
    static Shot output(const Shot& shot, int index);
    // Waits until both outputs show mutter's own colours (no client's black on them): a
    // client that ended is gone, with the fading mutter draws it out with.
    bool waitForDesktop(double seconds);

    // Input: a key by its keysym name ("space"), the pointer to a point of a shot or by an
    // offset (pixels of output 0), a left click. True when it was done, else error() says why.
    bool key(const std::string& name) override;
    bool moveTo(int x, int y);
    bool move(int dx, int dy);
    bool click();

    // Takes the second output out of the layout, as unplugging it would; true once mutter
    // applied it.
    bool removeOutput();

private:
    bool start();
    bool startHeadless();
    bool xdotool(const std::vector<std::string>& args);
    // A method of the remote desktop client (headless); true when it returned.
    bool remote(const std::string& method, const std::vector<std::string>& args = {});
    ProcessResult displayConfig(const std::string& method, const std::vector<std::string>& args);
    // Applies a layout (ApplyMonitorsConfig's logical monitors) for this session.
    bool applyLayout(const std::string& layout);

    const bool largeSecond_;
    std::unique_ptr<TwoMonitorDisplay> x_;  // nested only
};

}  // namespace zorvan::test
