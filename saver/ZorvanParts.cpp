// The view's entry points that its parts carry out: the swarm's seeding, field and motion,
// the renderer, the logo's loading, the settings' store, and the sheet's.
#include "saver/Zorvan.h"

#include "platform/bundle/Bundle.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "settings/SettingsTable.h"

#include <cstdint>
#include <cstdio>
#include <set>

namespace zorvan {

namespace {

// One line on stderr, once a process: every screen's view loads the same picture.
void warnOnce(const std::string& message) {
    static std::set<std::string> said;
    if (!said.insert(message).second) return;
    std::string line = "zorvan: warning: " + message;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

// --- the swarm ---

void Zorvan::allocateMotes() {
    swarm.numMotes = settings.numMotes;
    swarm.allocateMotes();
    settings.numMotes = swarm.numMotes;
}

SeedingInputs Zorvan::seeding() const {
    return picture.seeding(settings.colourMode == COLOURS_LOGO, settings.light, settings.heavy);
}

void Zorvan::initMote(int i) { swarm.initMote(i, seeding()); }
void Zorvan::initVectorField() { swarm.initVectorField(); }
void Zorvan::advanceFields() { swarm.advanceFields(); }
int Zorvan::cellOf(float x, float y) const { return swarm.cellOf(x, y); }
void Zorvan::advanceMotes() { swarm.advanceMotes(mode, settings.speed, settings.smoothness); }

bool Zorvan::setLiveMotes(int count) {
    const bool reseed = swarm.setLiveMotes(count);
    settings.numMotes = swarm.numMotes;
    return reseed;
}

// --- the renderer ---

MoteStyle Zorvan::moteStyle() const {
    return {settings.bg, settings.moteSize, settings.drawMode, settings.moteShape, settings.directional};
}

void Zorvan::drawMotes() { drawMotes(OpenGLView::Part{_view, std::nullopt}); }

void Zorvan::drawMotes(const OpenGLView::Part& part) {
    // The whole view, or the part of it that the surface shows, at the surface's pixels
    // a point; motes that cannot touch the part are not drawn.
    RenderTarget target{double(swarm.displayWidth), double(swarm.displayHeight), 0.0, 0.0,
                        part.surface ? part.surface->backingScale() : 1.0};
    if (part.shown) {
        target.x = part.shown->x, target.y = part.shown->y;
        target.partWidth = part.shown->width, target.partHeight = part.shown->height;
    }
    renderMotes(swarm.motes, liveMotes(), moteStyle(), target);
}

// --- the logo ---

void Zorvan::loadLogo() { picture.loadLogo(settings.logoFile, settings.minimumContrast); }

Colour* Zorvan::getPixelColoursFromBitmapRep(const BitmapImageRep& rep) {
    return picture.getPixelColoursFromBitmapRep(rep, settings.minimumContrast);
}

void Zorvan::loadLogoAtStart() {
    loadLogo();
    const std::string& file = *settings.logoFile;
    if (!picture.logoImageSrc) {
        // The file has gone or changed since it was chosen: the motes gather in the box
        // at the centre, as for any picture that cannot be read.
        warnOnce("cannot read the logo picture " + file + "; the motes gather at the centre instead");
        return;
    }
    if (picture.logoTableUsable() || settings.logoMode == LOGO_DEFAULT) return;
    // Too little picture to gather into (and, sparse enough, a search for home points
    // that would take hours): the module's own picture, as the sheet does.
    warnOnce("the logo picture " + file + " has too few pixels apart from its background (" +
             std::to_string(picture.numNonBGPixels) + " of " +
             std::to_string(int64_t{picture.logoWidth} * picture.logoHeight) + "); using Zorvan's own picture");
    settings.logoMode = LOGO_DEFAULT;
    settings.logoFile = Bundle::bundleForClass().pathForImageResource("zorvan.pict");
    loadLogo();
}

// --- the settings ---

void Zorvan::loadPrefs() {
    prefs = ScreenSaverDefaults::defaultsForModuleWithName("Zorvan");
    loadSettings(*prefs, settings);
    swarm.numMotes = settings.numMotes;
    settings.smoothness = 0.99f;
    initPlayList();
}

void Zorvan::savePrefs() {
    if (!prefs) return;
    // A failed save is reported by the store on stderr and remembered for the host;
    // the settings stay in effect.
    saveFailed = !saveSettings(*prefs, settings);
}

std::optional<std::string> Zorvan::storePath() const {
    if (!prefs) return std::nullopt;
    return prefs->path();
}

// --- the sheet ---

Control* Zorvan::configureSheet() { return sheet.configureSheet(); }
void Zorvan::closeSheet(Control* sender) { sheet.closeSheet(sender); }
void Zorvan::chooseLogo(Control* sender) { sheet.chooseLogo(sender); }
void Zorvan::defaultLogo(Control* sender) { sheet.defaultLogo(sender); }
void Zorvan::noLogo(Control* sender) { sheet.noLogo(sender); }
void Zorvan::setColourMode(Control* sender) { sheet.setColourMode(sender); }
void Zorvan::setBg(Control* sender) { sheet.setBg(sender); }
void Zorvan::setLight(Control* sender) { sheet.setLight(sender); }
void Zorvan::setHeavy(Control* sender) { sheet.setHeavy(sender); }

void Zorvan::sheetEnded(bool reseed) {
    // Save, re-seed, and in picture colours take the background from the picture (after
    // saving: the store keeps the one from before).
    savePrefs();
    if (reseed)
        for (int i = 0; i < liveMotes(); ++i) initMote(i);
    if (picture.logo && settings.colourMode == COLOURS_LOGO) settings.bg = picture.logo[0];
}

}  // namespace zorvan
