// The sheet's actions that act at once: choosing the logo, the colour mode and the
// custom colours from the wells. Each marks the motes for re-seeding; the sheet's close
// applies and saves.
#include "saver/Zorvan.h"

#include "platform/bundle/Bundle.h"
#include "platform/controls/OpenPanel.h"
#include "platform/image/Image.h"
#include "settings/SheetOutlets.h"

#include <algorithm>
#include <cmath>

namespace zorvan {

using namespace sheet;

namespace {

const char UNREADABLE_LOGO[] = "Cannot read that picture; the logo is unchanged.";

// Whether the file decodes to a picture with a bitmap, the way loadLogo will read it.
bool readablePicture(const std::string& path) {
    std::shared_ptr<Image> image = Image::initWithContentsOfFile(path);
    if (!image) return false;
    std::unique_ptr<BitmapImageRep> bitmap = image->bitmapRepresentation();
    return bitmap && bitmap->pixelsWide() > 0 && bitmap->pixelsHigh() > 0;
}

// The well's colour as a setting: alpha ignored, each component brought into 0..1.
// False, changing nothing, when the well has no device-RGB form or a component is not
// a number.
bool takeWellColour(const Control* well, Colour& setting) {
    if (!well) return false;
    const std::optional<DeviceRGBColor> c = well->colorUsingDeviceRGB();
    if (!c || std::isnan(c->red) || std::isnan(c->green) || std::isnan(c->blue)) return false;
    setting.r = static_cast<float>(std::clamp(c->red, 0.0, 1.0));
    setting.g = static_cast<float>(std::clamp(c->green, 0.0, 1.0));
    setting.b = static_cast<float>(std::clamp(c->blue, 0.0, 1.0));
    return true;
}

}  // namespace

void Zorvan::chooseLogo(Control* /*sender*/) {
    if (!openPanel) openPanel = std::make_unique<OpenPanel>();
    // The panel answers from the main loop once the user has chosen or cancelled;
    // cancelling changes nothing.
    openPanel->beginForDirectory(homeDirectory(), std::nullopt, Image::imageFileTypes(), [this](int result) {
        if (result == 1) takeChosenLogo(openPanel->filename());
    });
}

void Zorvan::takeChosenLogo(const std::string& path) {
    // A file that is no readable picture changes nothing: the table, its size, the logo
    // settings and the image view stay as they are, and the sheet says why.
    if (!readablePicture(path)) {
        setStringValue(logoMessage, UNREADABLE_LOGO);
        return;
    }
    setStringValue(logoMessage, "");

    logoFile = path;
    loadLogo();
    if (!logoTableUsable()) {
        // Too little picture to gather into: the module's own picture replaces it.
        logoMode = 2;
        defaultLogo(nullptr);
        return;
    }
    if (logoImageSrc) {
        logoMode = 2;
        setImage(logoImage, logoImageSrc.get());
        reinitMotes = true;
    }
}

void Zorvan::defaultLogo(Control* /*sender*/) {
    if (logoMode == 0) return;
    logoMode = 0;
    logoFile = Bundle::bundleForClass().pathForImageResource("zorvan.pict");
    loadLogo();
    setImage(logoImage, logoImageSrc.get());
    setStringValue(logoMessage, "");
    reinitMotes = true;
}

void Zorvan::noLogo(Control* /*sender*/) {
    // The pixel table stays: re-seeded motes still take their homes from it.
    logoMode = 1;
    logoFile.reset();
    logoImageSrc.reset();
    setImage(logoImage, nullptr);
    setStringValue(logoMessage, "");
    reinitMotes = true;
}

void Zorvan::setColourMode(Control* sender) {
    int newMode;
    if (sender && sender == defaultColours) newMode = 0;
    else if (sender && sender == customColours) newMode = 1;
    else if (sender && sender == imageColours) newMode = 2;
    else return;

    colourMode = newMode;
    if (newMode == 0) {
        // The wells keep showing the custom colours, to come back with custom mode.
        bg = {0.0f, 0.0f, 0.0f};
        light = LIGHT;
        heavy = HEAVY;
    } else if (newMode == 1) {
        setBg(nullptr);
        setHeavy(nullptr);
        setLight(nullptr);
    }
    showColourMode();
    reinitMotes = true;
}

void Zorvan::showColourMode() {
    setState(defaultColours, colourMode == 0 ? 1 : 0);
    setState(customColours, colourMode == 1 ? 1 : 0);
    setState(imageColours, colourMode == 2 ? 1 : 0);
    const bool custom = colourMode == 1;
    setEnabled(bgWell, custom);
    setEnabled(lightWell, custom);
    setEnabled(heavyWell, custom);
    const TextColor labels = custom ? TextColor::controlTextColor : TextColor::disabledControlTextColor;
    setTextColor(bgLabel, labels);
    setTextColor(motesLabel, labels);
}

void Zorvan::setBg(Control* /*sender*/) {
    if (takeWellColour(bgWell, bg)) reinitMotes = true;
}

void Zorvan::setLight(Control* /*sender*/) {
    if (takeWellColour(lightWell, light)) reinitMotes = true;
}

void Zorvan::setHeavy(Control* /*sender*/) {
    if (takeWellColour(heavyWell, heavy)) reinitMotes = true;
}

}  // namespace zorvan
