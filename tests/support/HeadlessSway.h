// A private headless sway for the Wayland tests, with the two outputs of HeadlessWlroots
// (made by its config and create_output), told and changed through swaymsg.
#pragma once

#include "support/HeadlessWlroots.h"

#include <string>
#include <vector>

namespace zorvan::test {

class HeadlessSway : public HeadlessWlroots {
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

    HeadlessSway();   // starts sway and waits until both outputs show black; see available()

    // Whether the installed sway offers the session lock (ext-session-lock-v1): 1.8 on.
    static bool hasSessionLock();

    // Runs swaymsg with `args` against this sway.
    ProcessResult swaymsg(const std::vector<std::string>& args) const;
    // The outputs as sway reports them now, in its order.
    std::vector<Output> outputs() const;
    // The focused output's name; empty when none.
    std::string focusedOutput() const;

private:
    bool start();

    std::string socket_;  // the IPC socket
};

}  // namespace zorvan::test
