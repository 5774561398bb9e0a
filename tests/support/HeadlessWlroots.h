// What the private headless wlroots desktops of the Wayland tests (sway, labwc) share:
// two outputs, HEADLESS-1 of 1280x720 at scale 1 at the origin and HEADLESS-2 of 800x600
// at scale 2 (400x300 logical) to its right, both black, with no input devices but the
// ones the tests make. Pictures come from grim, one output or all, keys from wtype, the
// pointer from zorvan-test-pointer (wlroots' virtual-pointer protocol). Each desktop is a
// class of its own that starts itself and lays the outputs out.
#pragma once

#include "support/HeadlessCompositor.h"

#include <string>

namespace zorvan::test {

class HeadlessWlroots : public HeadlessCompositor {
public:
    static constexpr int LAYOUT_WIDTH = 1280 + 400, LAYOUT_HEIGHT = 720;  // logical

    ~HeadlessWlroots() override;

    // The whole layout; and one output, in real pixels, cursor included (the headless
    // backend draws it into the picture).
    Shot screenshot(const std::string& name = "") override;
    Shot outputShot(const std::string& output, const std::string& name = "");
    // The lit pixels of a fresh picture of `output`; -1 when it cannot be taken.
    long litPixels(const std::string& output);
    // Waits up to `seconds` for at least `count` lit pixels on `output`.
    bool waitForLit(const std::string& output, long count, double seconds);

    // The virtual pointer, made on first use; each call returns once the compositor has
    // taken the event (true), or false. Motion is in logical pixels; moveTo goes to a
    // point of the layout. Once there is a pointer, the compositor draws its cursor into
    // the output under it (lit in shots: about 130 pixels at scale 1, 470 at scale 2)
    // unless a client under it hides it.
    bool move(double dx, double dy);
    bool moveTo(int x, int y);
    bool click();  // left button pressed and released

protected:
    HeadlessWlroots() = default;

private:
    bool pointer(const std::string& command);
    std::string pointerLine();  // the pointer's next line, or empty after 5 s

    int pointer_ = -1, pointerSocket_ = -1;
    std::string pointerText_;  // what the pointer said that is not read yet
};

}  // namespace zorvan::test
