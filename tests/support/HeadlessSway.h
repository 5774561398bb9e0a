// A private headless sway for the Wayland tests: HEADLESS-1 of 1280x720 at scale 1 at the
// origin, and HEADLESS-2 of 800x600 at scale 2 (400x300 logical) to its right, both black,
// with no input devices but the ones the tests make. Pictures come from grim, keys from
// wtype, the pointer from zorvan-test-pointer (sway's virtual-pointer protocol).
#pragma once

#include "support/HeadlessCompositor.h"

#include <string>
#include <vector>

namespace zorvan::test {

class HeadlessSway : public HeadlessCompositor {
public:
    // What sway says of one output (swaymsg -t get_outputs).
    struct Output {
        std::string name;
        int x = 0, y = 0;                  // position in the layout, logical pixels
        int modeWidth = 0, modeHeight = 0;  // size in real pixels
        double scale = 0;
        bool focused = false;
        int width() const { return int(modeWidth / scale); }  // logical size
        int height() const { return int(modeHeight / scale); }
    };
    static constexpr int LAYOUT_WIDTH = 1280 + 400, LAYOUT_HEIGHT = 720;  // logical

    HeadlessSway();   // starts sway and waits until both outputs show black; see available()
    ~HeadlessSway() override;

    // Runs swaymsg with `args` against this sway.
    ProcessResult swaymsg(const std::vector<std::string>& args) const;
    // The outputs as sway reports them now, in its order.
    std::vector<Output> outputs() const;
    // The focused output's name; empty when none.
    std::string focusedOutput() const;

    // The whole layout; and one output, in real pixels, cursor included (the headless
    // backend draws it into the picture).
    Shot screenshot(const std::string& name = "") override;
    Shot outputShot(const std::string& output, const std::string& name = "");
    // The lit pixels of a fresh picture of `output`; -1 when it cannot be taken.
    long litPixels(const std::string& output);
    // Waits up to `seconds` for at least `count` lit pixels on `output`.
    bool waitForLit(const std::string& output, long count, double seconds);

    // The virtual pointer, made on first use; each call returns once sway has taken the
    // event (true), or false. Motion is in logical pixels; moveTo goes to a point of the
    // layout. Once there is a pointer, sway draws its cursor into the output under it
    // (lit in shots: about 130 pixels at scale 1, 470 at scale 2) unless a client under
    // it hides it.
    bool move(double dx, double dy);
    bool moveTo(int x, int y);
    bool click();  // left button pressed and released

private:
    bool start();
    bool pointer(const std::string& command);
    std::string pointerLine();  // the pointer's next line, or empty after 5 s

    std::string socket_;  // the IPC socket
    int pointer_ = -1, pointerSocket_ = -1;
    std::string pointerText_;  // what the pointer said that is not read yet
};

}  // namespace zorvan::test
