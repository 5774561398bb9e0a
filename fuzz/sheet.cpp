// The configuration sheet with arbitrary control values: the sheet opens over a live
// view, the bytes set sliders, boxes, radio buttons and wells to any value (NaN and
// infinity included) and send the sheet's actions in any order, then the sheet closes
// and frames are drawn. The controls here stand in for the toolkit's widgets, whose
// ranges would never give such values; closing must cope with whatever they hold.
#include "FuzzSupport.h"

#include "platform/controls/Control.h"
#include "platform/gl/OffscreenView.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "saver/Zorvan.h"
#include "tests/support/ViewState.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

using namespace zorvan;

namespace {

class FuzzedControl : public Control {
public:
    void setIntValue(int v) override { value = v; }
    int intValue() const override { return value; }
    void setFloatValue(float v) override { real = v; }
    float floatValue() const override { return real; }
    void setState(int s) override { value = s; }
    int state() const override { return value; }
    void setEnabled(bool) override {}
    void setTextColor(TextColor) override {}
    void setStringValue(const std::string&) override {}
    void setColor(const DeviceRGBColor& c) override { colour = c; }
    std::optional<DeviceRGBColor> colorUsingDeviceRGB() const override {
        if (noDeviceForm) return std::nullopt;
        return colour;
    }
    void setImage(const Image*) override {}

    int value = 0;
    float real = 0.0f;
    DeviceRGBColor colour;
    bool noDeviceForm = false;
};

bool inUnitRange(const Colour& c) {
    return c.r >= 0.0f && c.r <= 1.0f && c.g >= 0.0f && c.g <= 1.0f && c.b >= 0.0f && c.b <= 1.0f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    static const std::string path = fuzz::scratchFile("Zorvan.conf");
    std::ofstream(path, std::ios::trunc) << "[Zorvan]\nlogoMode=" << in.ConsumeIntegralInRange(0, 2)
                                          << "\nnumMotes=" << in.ConsumeIntegralInRange(1, 3000) << "\n";
    ScreenSaverDefaults::setStorePathOverride(path);

    srandom(1);
    Zorvan view{OffscreenView::factory()};
    ZorvanState& s = test::state(view);
    fuzz::require(view.initWithFrame(Rect{0, 0, 48, 32}, false) != nullptr, "the view is made");
    view.setFrameSize(Size{48, 32});
    view.startAnimation();

    FuzzedControl controls[20];
    Control** outlets[] = {&s.sheet.window, &s.sheet.motesSlider, &s.sheet.sizeSlider, &s.sheet.speedSlider,
                           &s.sheet.tailsBox, &s.sheet.contrastBox, &s.sheet.screensBox,
                           &s.sheet.directionalButton, &s.sheet.squareButton, &s.sheet.diamondButton,
                           &s.sheet.hexButton, &s.sheet.defaultColours, &s.sheet.customColours,
                           &s.sheet.imageColours, &s.sheet.bgWell, &s.sheet.lightWell, &s.sheet.heavyWell,
                           &s.sheet.bgLabel, &s.sheet.motesLabel, &s.sheet.logoImage};
    for (int i = 0; i < 20; ++i) *outlets[i] = &controls[i];
    view.configureSheet();

    while (in.remaining_bytes() > 0) {
        FuzzedControl& c = controls[in.ConsumeIntegralInRange(0, 19)];
        switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0: c.value = in.ConsumeIntegral<int>(); break;
        case 1: c.real = in.ConsumeFloatingPoint<float>(); break;
        case 2:
            c.colour = {in.ConsumeFloatingPoint<double>(), in.ConsumeFloatingPoint<double>(),
                        in.ConsumeFloatingPoint<double>(), in.ConsumeFloatingPoint<double>()};
            c.noDeviceForm = in.ConsumeBool();
            break;
        case 3: view.setColourMode(&c); break;
        case 4: view.setBg(&c); break;
        case 5: view.setLight(&c); break;
        case 6: view.setHeavy(&c); break;
        case 7: view.noLogo(&c); break;
        case 8: view.defaultLogo(&c); break;
        default: view.animateOneFrame(); break;
        }
    }
    view.closeSheet(&controls[0]);
    view.animateOneFrame();
    view.animateOneFrame();

    fuzz::require(view.liveMotes() <= s.swarm.numMotesAllocated, "the live motes exist");
    fuzz::require(s.settings.moteSize > 0 && s.settings.moteShape >= 0 && s.settings.moteShape <= 2,
                  "size and shape are usable");
    fuzz::require(inUnitRange(s.settings.bg) && inUnitRange(s.settings.light) && inUnitRange(s.settings.heavy),
                  "the colours stay in range");
    for (Control** outlet : outlets) *outlet = nullptr;
    return 0;
}
