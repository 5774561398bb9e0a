// Bytes as the settings file: the store reads them, a view loads its settings from it,
// is sized, started and draws a frame. Damage must fall back to the defaults, never
// into a crash or a view that cannot draw.
#include "FuzzSupport.h"

#include "platform/gl/OffscreenView.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "saver/Zorvan.h"
#include "tests/support/ViewState.h"

#include <cmath>
#include <cstdlib>

using namespace zorvan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::scratchFile("Zorvan.conf");
    fuzz::writeBytes(path, data, size);
    // Pointing the store at the file makes it read the file afresh.
    ScreenSaverDefaults::setStorePathOverride(path);

    srandom(1);
    Zorvan view{OffscreenView::factory()};
    ZorvanState& s = test::state(view);
    fuzz::require(view.initWithFrame(Rect{0, 0, 48, 32}, false) != nullptr, "the view is made");
    fuzz::require(s.settings.numMotes > 0 && s.settings.moteSize > 0, "count and size are checked");
    fuzz::require(s.settings.moteShape >= 0 && s.settings.moteShape <= 2, "the shape is checked");
    fuzz::require(std::isfinite(s.settings.speed), "the speed is a number");
    view.setFrameSize(Size{48, 32});
    view.startAnimation();
    view.animateOneFrame();
    return 0;
}
