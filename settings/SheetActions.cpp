// The sheet's actions that act at once: choosing the logo, the colour mode and the
// custom colours from the wells. Each marks the motes for re-seeding; the sheet's close
// applies and saves.
#include "settings/ConfigureSheet.h"

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

void ConfigureSheet::chooseLogo(Control* /*sender*/) {
    if (!openPanel) openPanel = std::make_unique<OpenPanel>();
    // The panel answers from the main loop once the user has chosen or cancelled;
    // cancelling changes nothing.
    openPanel->beginForDirectory(homeDirectory(), std::nullopt, Image::imageFileTypes(), [this](int result) {
        if (result == 1) takeChosenLogo(openPanel->filename());
    });
}

void ConfigureSheet::takeChosenLogo(const std::string& path) {
    // A file that is no readable picture changes nothing: the table, its size, the logo
    // settings and the image view stay as they are, and the sheet says why.
    if (!readablePicture(path)) {
        setStringValue(logoMessage, UNREADABLE_LOGO);
        return;
    }
    setStringValue(logoMessage, "");

    settings_.logoFile = path;
    client_.loadLogo();
    const LogoPicture& logo = client_.logoPicture();
    if (!logo.logoTableUsable()) {
        // Too little picture to gather into: the module's own picture replaces it.
        settings_.logoMode = LOGO_FILE;
        defaultLogo(nullptr);
        return;
    }
    if (logo.logoImageSrc) {
        settings_.logoMode = LOGO_FILE;
        setImage(logoImage, logo.logoImageSrc.get());
        reinitMotes = true;
    }
}

void ConfigureSheet::defaultLogo(Control* /*sender*/) {
    if (settings_.logoMode == LOGO_DEFAULT) return;
    settings_.logoMode = LOGO_DEFAULT;
    settings_.logoFile = Bundle::bundleForClass().pathForImageResource("zorvan.pict");
    client_.loadLogo();
    setImage(logoImage, client_.logoPicture().logoImageSrc.get());
    setStringValue(logoMessage, "");
    reinitMotes = true;
}

void ConfigureSheet::noLogo(Control* /*sender*/) {
    // The pixel table stays: re-seeded motes still take their homes from it.
    settings_.logoMode = LOGO_NONE;
    settings_.logoFile.reset();
    client_.logoPicture().logoImageSrc.reset();
    setImage(logoImage, nullptr);
    setStringValue(logoMessage, "");
    reinitMotes = true;
}

void ConfigureSheet::setColourMode(Control* sender) {
    int newMode;
    if (sender && sender == defaultColours) newMode = COLOURS_DEFAULT;
    else if (sender && sender == customColours) newMode = COLOURS_CUSTOM;
    else if (sender && sender == imageColours) newMode = COLOURS_LOGO;
    else return;

    settings_.colourMode = newMode;
    if (newMode == COLOURS_DEFAULT) {
        // The wells keep showing the custom colours, to come back with custom mode.
        settings_.bg = {0.0f, 0.0f, 0.0f};
        settings_.light = LIGHT;
        settings_.heavy = HEAVY;
    } else if (newMode == COLOURS_CUSTOM) {
        setBg(nullptr);
        setHeavy(nullptr);
        setLight(nullptr);
    }
    showColourMode();
    reinitMotes = true;
}

void ConfigureSheet::showColourMode() {
    const int mode = settings_.colourMode;
    setState(defaultColours, mode == COLOURS_DEFAULT ? 1 : 0);
    setState(customColours, mode == COLOURS_CUSTOM ? 1 : 0);
    setState(imageColours, mode == COLOURS_LOGO ? 1 : 0);
    const bool custom = mode == COLOURS_CUSTOM;
    setEnabled(bgWell, custom);
    setEnabled(lightWell, custom);
    setEnabled(heavyWell, custom);
    const TextColor labels = custom ? TextColor::controlTextColor : TextColor::disabledControlTextColor;
    setTextColor(bgLabel, labels);
    setTextColor(motesLabel, labels);
}

void ConfigureSheet::setBg(Control* /*sender*/) {
    if (takeWellColour(bgWell, settings_.bg)) reinitMotes = true;
}

void ConfigureSheet::setLight(Control* /*sender*/) {
    if (takeWellColour(lightWell, settings_.light)) reinitMotes = true;
}

void ConfigureSheet::setHeavy(Control* /*sender*/) {
    if (takeWellColour(heavyWell, settings_.heavy)) reinitMotes = true;
}

}  // namespace zorvan
