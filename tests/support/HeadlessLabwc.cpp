// labwc started headless and its outputs laid out through wlr-randr.
#include "support/HeadlessLabwc.h"

namespace zorvan::test {

namespace {

// labwc's defaults, whatever the machine keeps in /etc/xdg/labwc: labwc reads the first
// rc.xml it finds, and the private config folder comes first.
const char RC[] = "<?xml version=\"1.0\"?>\n<labwc_config></labwc_config>\n";

const std::vector<std::string> LAYOUT = {"--output", "HEADLESS-1", "--pos", "0,0", "--output", "HEADLESS-2",
                                         "--custom-mode", "800x600", "--pos", "1280,0", "--scale", "2"};

}  // namespace

HeadlessLabwc::HeadlessLabwc() {
    if (!start() && why_.empty()) why_ = "labwc did not start";
    if (!why_.empty() && compositor_ > 0) why_ += "\n" + log();
}

bool HeadlessLabwc::start() {
    if (!prepare("labwc", {"labwc", "wlr-randr", "grim", "wtype"})) return false;
    writeFile("home/.config/labwc/rc.xml", RC);
    if (!launch("labwc", {},
                {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_HEADLESS_OUTPUTS=2"},
                15))
        return false;
    // Both outputs start at 1280x720, side by side in the order labwc chooses.
    ProcessResult laid;
    if (!waitUntil([&] { return (laid = randr(LAYOUT)).exitCode == 0; }, 10, 0.05)) {
        why_ = "wlr-randr could not lay the outputs out: " + laid.out + laid.err;
        return false;
    }
    // labwc draws its cursor from the start, and a client can hide it only from a pointer.
    if (!moveTo(PARK_X, PARK_Y)) {
        why_ = error_;
        return false;
    }
    // Black but for the cursor, which is on HEADLESS-1.
    if (!waitUntil([&] { return litPixels("HEADLESS-2") == 0; }, 10, 0.05)) {
        why_ = "HEADLESS-2 did not turn black: " + error_;
        return false;
    }
    return true;
}

ProcessResult HeadlessLabwc::randr(const std::vector<std::string>& args) const { return runClient("wlr-randr", args); }

}  // namespace zorvan::test
