// The configuration sheet: loading it with the view as owner, setting every control from
// the settings when it opens, and applying, saving and re-seeding when it closes.
#include "saver/Zorvan.h"

#include "platform/controls/Application.h"
#include "platform/controls/OpenPanel.h"
#include "platform/image/Image.h"
#include "settings/SheetOutlets.h"

#include <cstring>

namespace zorvan {

using namespace sheet;

namespace {

// The size slider grows with the drawn size while moteSize divides it; one rule maps
// both ways, and anything outside 1..19 gives the default 10.
int sizeMapping(int value) { return value >= 1 && value <= 19 ? 20 - value : 10; }

DeviceRGBColor deviceColour(const Colour& c) {
    return DeviceRGBColor{static_cast<double>(c.r), static_cast<double>(c.g), static_cast<double>(c.b), 1.0};
}

struct OutletName {
    const char* name;
    Control* ZorvanState::*field;
};
const OutletName OUTLETS[] = {
    {"window", &ZorvanState::window},
    {"motesSlider", &ZorvanState::motesSlider},
    {"sizeSlider", &ZorvanState::sizeSlider},
    {"speedSlider", &ZorvanState::speedSlider},
    {"tailsBox", &ZorvanState::tailsBox},
    {"contrastBox", &ZorvanState::contrastBox},
    {"screensBox", &ZorvanState::screensBox},
    {"directionalButton", &ZorvanState::directionalButton},
    {"squareButton", &ZorvanState::squareButton},
    {"diamondButton", &ZorvanState::diamondButton},
    {"hexButton", &ZorvanState::hexButton},
    {"defaultColours", &ZorvanState::defaultColours},
    {"customColours", &ZorvanState::customColours},
    {"imageColours", &ZorvanState::imageColours},
    {"bgWell", &ZorvanState::bgWell},
    {"lightWell", &ZorvanState::lightWell},
    {"heavyWell", &ZorvanState::heavyWell},
    {"bgLabel", &ZorvanState::bgLabel},
    {"motesLabel", &ZorvanState::motesLabel},
    {"logoImage", &ZorvanState::logoImage},
    {"logoMessage", &ZorvanState::logoMessage},
};

struct ActionName {
    const char* name;
    void (Zorvan::*method)(Control*);
};
const ActionName ACTIONS[] = {
    {"closeSheet:", &Zorvan::closeSheet},   {"chooseLogo:", &Zorvan::chooseLogo},
    {"defaultLogo:", &Zorvan::defaultLogo}, {"noLogo:", &Zorvan::noLogo},
    {"setColourMode:", &Zorvan::setColourMode}, {"setBg:", &Zorvan::setBg},
    {"setLight:", &Zorvan::setLight},       {"setHeavy:", &Zorvan::setHeavy},
};

}  // namespace

void Zorvan::outletsWillChange() {
    // The controls of an earlier sheet go with it: no outlet may keep pointing there.
    for (const OutletName& o : OUTLETS) this->*o.field = nullptr;
}

Control** Zorvan::outlet(const std::string& name) {
    for (const OutletName& o : OUTLETS)
        if (name == o.name) return &(this->*o.field);
    return nullptr;
}

bool Zorvan::respondsToAction(const std::string& name) const {
    for (const ActionName& a : ACTIONS)
        if (name == a.name) return true;
    return false;
}

void Zorvan::performAction(const std::string& name, Control* sender) {
    for (const ActionName& a : ACTIONS)
        if (name == a.name) (this->*a.method)(sender);
}

Control* Zorvan::configureSheet() {
    // A new copy each time; a file that cannot be loaded leaves the outlets as they were.
    if (std::unique_ptr<Nib> nib = Nib::loadNibNamed("Zorvan.nib", *this)) sheetNib = std::move(nib);

    setIntValue(motesSlider, numMotes);
    setIntValue(tailsBox, drawMode == 1 ? 1 : 0);
    setIntValue(contrastBox, minimumContrast > 0.0f ? 1 : 0);
    setIntValue(screensBox, mainScreenOnly ? 1 : 0);
    setImage(logoImage, logoImageSrc.get());
    setStringValue(logoMessage, "");
    setIntValue(sizeSlider, sizeMapping(moteSize));
    setIntValue(directionalButton, directional ? 1 : 0);
    setIntValue(squareButton, moteShape == 0 ? 1 : 0);
    setIntValue(diamondButton, moteShape == 1 ? 1 : 0);
    setIntValue(hexButton, moteShape == 2 ? 1 : 0);
    if (bgWell) bgWell->setColor(deviceColour(bg));
    if (lightWell) lightWell->setColor(deviceColour(light));
    if (heavyWell) heavyWell->setColor(deviceColour(heavy));
    showColourMode();
    setFloatValue(speedSlider, speed);
    reinitMotes = false;
    return window;
}

void Zorvan::closeSheet(Control* /*sender*/) {
    // A file chooser still open (only an accessibility action can close the sheet under
    // it) goes unanswered: no choice arrives after the sheet has closed.
    openPanel.reset();

    // 1. The count. A larger array replaces the old one only once it exists: when it
    //    cannot be had, the motes live before stay live, and the count stays theirs.
    if (setLiveMotes(intValue(motesSlider, numMotes))) reinitMotes = true;

    // 2. The contrast check; the new threshold applies at the next logo load.
    const bool contrast = intValue(contrastBox, minimumContrast > 0.0f) != 0;
    if (contrast != (minimumContrast > 0.0f)) {
        minimumContrast = contrast ? 0.5f : 0.0f;
        reinitMotes = true;
    }

    // 3 to 8. The rest, as the controls show them.
    mainScreenOnly = intValue(screensBox, mainScreenOnly) != 0;
    drawMode = intValue(tailsBox, drawMode == 1) != 0 ? 1 : 0;
    moteSize = sizeMapping(intValue(sizeSlider, sizeMapping(moteSize)));
    directional = intValue(directionalButton, directional) != 0;
    if (intValue(squareButton, moteShape == 0) != 0) moteShape = 0;
    else if (intValue(diamondButton, moteShape == 1) != 0) moteShape = 1;
    else moteShape = 2;
    speed = floatValue(speedSlider, speed);

    // 9 to 12. End the sheet, save, re-seed, and in picture colours take the background
    // from the picture (after saving: the store keeps the one from before).
    Application::endSheet(window);
    savePrefs();
    if (reinitMotes)
        for (int i = 0; i < liveMotes(); ++i) initMote(i);
    if (logo && colourMode == 2) bg = logo[0];
}

}  // namespace zorvan
