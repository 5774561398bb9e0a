// The configuration sheet: loading it with the sheet as owner, setting every control from
// the settings when it opens by walking the settings table, and at its close reading back
// the controls that no action applied, ending it, and handing over to the view.
#include "settings/ConfigureSheet.h"

#include "platform/controls/Application.h"
#include "platform/controls/OpenPanel.h"
#include "platform/image/Image.h"
#include "settings/SettingsTable.h"
#include "settings/SheetOutlets.h"

#include <cstring>

namespace zorvan {

using namespace sheet;
using namespace stored;

namespace {

// The size slider grows with the drawn size while moteSize divides it; one rule maps
// both ways, and anything outside 1..19 gives the default 10.
int sizeMapping(int value) { return value >= 1 && value <= 19 ? 20 - value : 10; }

DeviceRGBColor deviceColour(const Colour& c) {
    return DeviceRGBColor{static_cast<double>(c.r), static_cast<double>(c.g), static_cast<double>(c.b), 1.0};
}

struct OutletName {
    const char* name;
    Control* ConfigureSheet::*field;
};
const OutletName OUTLETS[] = {
    {"window", &ConfigureSheet::window},
    {"motesSlider", &ConfigureSheet::motesSlider},
    {"sizeSlider", &ConfigureSheet::sizeSlider},
    {"speedSlider", &ConfigureSheet::speedSlider},
    {"tailsBox", &ConfigureSheet::tailsBox},
    {"contrastBox", &ConfigureSheet::contrastBox},
    {"screensBox", &ConfigureSheet::screensBox},
    {"directionalButton", &ConfigureSheet::directionalButton},
    {"squareButton", &ConfigureSheet::squareButton},
    {"diamondButton", &ConfigureSheet::diamondButton},
    {"hexButton", &ConfigureSheet::hexButton},
    {"defaultColours", &ConfigureSheet::defaultColours},
    {"customColours", &ConfigureSheet::customColours},
    {"imageColours", &ConfigureSheet::imageColours},
    {"bgWell", &ConfigureSheet::bgWell},
    {"lightWell", &ConfigureSheet::lightWell},
    {"heavyWell", &ConfigureSheet::heavyWell},
    {"bgLabel", &ConfigureSheet::bgLabel},
    {"motesLabel", &ConfigureSheet::motesLabel},
    {"logoImage", &ConfigureSheet::logoImage},
    {"logoMessage", &ConfigureSheet::logoMessage},
};

struct ActionName {
    const char* name;
    void (ConfigureSheet::*method)(Control*);
};
const ActionName ACTIONS[] = {
    {"closeSheet:", &ConfigureSheet::closeSheet},   {"chooseLogo:", &ConfigureSheet::chooseLogo},
    {"defaultLogo:", &ConfigureSheet::defaultLogo}, {"noLogo:", &ConfigureSheet::noLogo},
    {"setColourMode:", &ConfigureSheet::setColourMode}, {"setBg:", &ConfigureSheet::setBg},
    {"setLight:", &ConfigureSheet::setLight},       {"setHeavy:", &ConfigureSheet::setHeavy},
};

// How many ids a control has.
int idCount(const SheetControl& c) {
    int n = 0;
    while (n < int(c.ids.size()) && c.ids[n]) ++n;
    return n;
}

}  // namespace

ConfigureSheet::ConfigureSheet(Settings& settings, SheetClient& client) : settings_(settings), client_(client) {}

ConfigureSheet::~ConfigureSheet() = default;

void ConfigureSheet::outletsWillChange() {
    // The controls of an earlier sheet go with it: no outlet may keep pointing there.
    for (const OutletName& o : OUTLETS) this->*o.field = nullptr;
}

Control** ConfigureSheet::outlet(const std::string& name) {
    for (const OutletName& o : OUTLETS)
        if (name == o.name) return &(this->*o.field);
    return nullptr;
}

Control* ConfigureSheet::control(const char* id) {
    Control** c = id ? outlet(id) : nullptr;
    return c ? *c : nullptr;
}

bool ConfigureSheet::respondsToAction(const std::string& name) const {
    for (const ActionName& a : ACTIONS)
        if (name == a.name) return true;
    return false;
}

void ConfigureSheet::performAction(const std::string& name, Control* sender) {
    for (const ActionName& a : ACTIONS)
        if (name == a.name) (this->*a.method)(sender);
}

Control* ConfigureSheet::configureSheet() {
    // A new copy each time; a file that cannot be loaded leaves the outlets as they were.
    if (std::unique_ptr<Nib> nib = Nib::loadNibNamed("Zorvan.nib", *this)) sheetNib = std::move(nib);

    Settings& s = settings_;
    forEachSetting([&](const Setting& row, const auto& stored) {
        using Row = std::decay_t<decltype(stored)>;
        const SheetControl& how = row.control;
        Control* c = control(how.ids[0]);
        if constexpr (std::is_same_v<Row, Integer>) {
            const int value = s.*stored.field;
            switch (how.kind) {
            case SheetControl::MoteCount:
            case SheetControl::Slider: setIntValue(c, value); break;
            case SheetControl::SizeSlider: setIntValue(c, sizeMapping(value)); break;
            case SheetControl::CheckBox: setIntValue(c, value == 1 ? 1 : 0); break;
            case SheetControl::Radio:
                for (int k = 0; k < idCount(how); ++k) setIntValue(control(how.ids[k]), value == k ? 1 : 0);
                break;
            case SheetControl::ColourModes: showColourMode(); break;
            default: break;
            }
        } else if constexpr (std::is_same_v<Row, Bool>) {
            setIntValue(c, s.*stored.field ? 1 : 0);
        } else if constexpr (std::is_same_v<Row, Level>) {
            setIntValue(c, s.*stored.field > 0.0f ? 1 : 0);
        } else if constexpr (std::is_same_v<Row, Float>) {
            setFloatValue(c, s.*stored.field);
        } else if constexpr (std::is_same_v<Row, Rgb>) {
            if (c) c->setColor(deviceColour(s.*stored.field));
        } else if constexpr (std::is_same_v<Row, Logo>) {
            setImage(c, client_.logoPicture().logoImageSrc.get());
            setStringValue(logoMessage, "");
        }
    });
    reinitMotes = false;
    return window;
}

void ConfigureSheet::closeSheet(Control* /*sender*/) {
    // A file chooser still open (only an accessibility action can close the sheet under
    // it) goes unanswered: no choice arrives after the sheet has closed.
    openPanel.reset();

    // The controls that no action applied, as they show them. A larger count of motes
    // replaces the old array only once it exists (the view sees to that); a new contrast
    // threshold applies at the next logo load.
    Settings& s = settings_;
    forEachSetting([&](const Setting& row, const auto& stored) {
        using Row = std::decay_t<decltype(stored)>;
        const SheetControl& how = row.control;
        const Control* c = control(how.ids[0]);
        if constexpr (std::is_same_v<Row, Integer>) {
            int& value = s.*stored.field;
            switch (how.kind) {
            case SheetControl::MoteCount:
                if (client_.setLiveMotes(intValue(c, value))) reinitMotes = true;
                break;
            case SheetControl::Slider: value = intValue(c, value); break;
            case SheetControl::SizeSlider: value = sizeMapping(intValue(c, sizeMapping(value))); break;
            case SheetControl::CheckBox: value = intValue(c, value == 1) != 0 ? 1 : 0; break;
            case SheetControl::Radio: {
                // The first button that is on; the last when none of the others is.
                const int last = idCount(how) - 1;
                int chosen = last;
                for (int k = 0; k < last; ++k)
                    if (intValue(control(how.ids[k]), value == k) != 0) {
                        chosen = k;
                        break;
                    }
                value = chosen;
                break;
            }
            default: break;
            }
        } else if constexpr (std::is_same_v<Row, Bool>) {
            bool& value = s.*stored.field;
            value = intValue(c, value) != 0;
        } else if constexpr (std::is_same_v<Row, Level>) {
            float& level = s.*stored.field;
            const bool on = intValue(c, level > 0.0f) != 0;
            if (on != (level > 0.0f)) {
                level = on ? stored.on : 0.0f;
                reinitMotes = true;
            }
        } else if constexpr (std::is_same_v<Row, Float>) {
            float& value = s.*stored.field;
            value = floatValue(c, value);
        }
    });

    Application::endSheet(window);
    client_.sheetEnded(reinitMotes);
}

}  // namespace zorvan
