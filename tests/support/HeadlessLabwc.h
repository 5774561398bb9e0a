// A private headless labwc for the Wayland tests, with the two outputs of HeadlessWlroots.
// labwc has no IPC of its own: the outputs come from the headless backend at start and
// are laid out, and changed by the tests, through wlr-randr (wlr-output-management).
// Its config is labwc's defaults: server-side title bars on windows that ask for them.
// labwc draws its cursor from the start, with no pointer on its seat for a client to hide
// it through: the virtual pointer is made at once and parked near the bottom-left corner
// of HEADLESS-1, where it stays lit beside windows (about 130 pixels), and makes
// HEADLESS-1 the output new windows open on.
#pragma once

#include "support/HeadlessWlroots.h"

#include <string>
#include <vector>

namespace zorvan::test {

class HeadlessLabwc : public HeadlessWlroots {
public:
    static constexpr int PARK_X = 40, PARK_Y = 660;  // where the pointer starts

    HeadlessLabwc();  // starts labwc and waits until both outputs are laid out and black; see available()

    // Runs wlr-randr with `args` against this labwc.
    ProcessResult randr(const std::vector<std::string>& args) const;

private:
    bool start();
};

}  // namespace zorvan::test
