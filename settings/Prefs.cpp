// Loading the settings from the module's preference store and saving them back.
#include "saver/Zorvan.h"

#include "platform/bundle/Bundle.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "settings/PrefsChecks.h"

namespace zorvan {

namespace {

using Value = ScreenSaverDefaults::Value;

}  // namespace

void Zorvan::loadPrefs() {
    const ScreenSaverDefaults::Dictionary defaults = {
        {"numMotes", Value(DEFAULT_NUM_MOTES)},
        {"moteSize", Value(DEFAULT_MOTE_SIZE)},
        {"mainScreenOnly", Value(false)},
        {"logoMode", Value(0)},
        {"drawMode", Value(0)},
        {"colourMode", Value(0)},
        {"contrastCheck", Value(false)},
        {"moteShape", Value(1)},
        {"directional", Value(true)},
        {"bgR", Value(0.0f)},
        {"bgG", Value(0.0f)},
        {"bgB", Value(0.0f)},
        {"lightR", Value(1.0f)},
        {"lightG", Value(0.2f)},
        {"lightB", Value(0.69f)},
        {"heavyR", Value(1.0f)},
        {"heavyG", Value(0.8f)},
        {"heavyB", Value(0.5f)},
        {"speed", Value(0.8f)},
    };
    prefs = ScreenSaverDefaults::defaultsForModuleWithName("Zorvan");
    prefs->registerDefaults(defaults);

    numMotes = prefs->integerForKey("numMotes");
    if (!numMotesInRange(numMotes)) numMotes = DEFAULT_NUM_MOTES;
    moteSize = prefs->integerForKey("moteSize");
    if (!moteSizeInRange(moteSize)) moteSize = DEFAULT_MOTE_SIZE;
    mainScreenOnly = prefs->boolForKey("mainScreenOnly");
    logoMode = prefs->integerForKey("logoMode");
    if (logoMode == 0) {
        logoFile = Bundle::bundleForClass().pathForImageResource("zorvan.pict");
    } else if (logoMode == 2) {
        logoFile = prefs->stringForKey("logoFile");
    } else {
        logoFile.reset();
    }
    drawMode = prefs->integerForKey("drawMode");
    colourMode = prefs->integerForKey("colourMode");
    minimumContrast = prefs->boolForKey("contrastCheck") ? 0.5f : 0.0f;
    moteShape = prefs->integerForKey("moteShape");
    if (!moteShapeInRange(moteShape)) moteShape = 0;
    directional = prefs->boolForKey("directional");
    // The store hands out finite floats only: a NaN or infinite speed or channel in the
    // file reads as its registered default.
    bg.r = prefs->floatForKey("bgR");
    bg.g = prefs->floatForKey("bgG");
    bg.b = prefs->floatForKey("bgB");
    light.r = prefs->floatForKey("lightR");
    light.g = prefs->floatForKey("lightG");
    light.b = prefs->floatForKey("lightB");
    heavy.r = prefs->floatForKey("heavyR");
    heavy.g = prefs->floatForKey("heavyG");
    heavy.b = prefs->floatForKey("heavyB");
    speed = prefs->floatForKey("speed");

    smoothness = 0.99f;
    initPlayList();
}

void Zorvan::savePrefs() {
    if (!prefs) return;
    prefs->setInteger(numMotes, "numMotes");
    prefs->setInteger(moteSize, "moteSize");
    prefs->setBool(mainScreenOnly, "mainScreenOnly");
    prefs->setInteger(logoMode, "logoMode");
    prefs->setInteger(drawMode, "drawMode");
    prefs->setInteger(colourMode, "colourMode");
    prefs->setBool(minimumContrast > 0.0f, "contrastCheck");
    prefs->setInteger(moteShape, "moteShape");
    prefs->setBool(directional, "directional");
    prefs->setFloat(bg.r, "bgR");
    prefs->setFloat(bg.g, "bgG");
    prefs->setFloat(bg.b, "bgB");
    prefs->setFloat(light.r, "lightR");
    prefs->setFloat(light.g, "lightG");
    prefs->setFloat(light.b, "lightB");
    prefs->setFloat(heavy.r, "heavyR");
    prefs->setFloat(heavy.g, "heavyG");
    prefs->setFloat(heavy.b, "heavyB");
    prefs->setFloat(speed, "speed");
    if (logoMode == 2 && logoFile) {
        prefs->setObject(*logoFile, "logoFile");
    } else {
        prefs->removeObjectForKey("logoFile");
    }
    // A failed save is reported by the store on stderr and remembered for the host;
    // the settings stay in effect.
    saveFailed = !prefs->synchronize();
}

}  // namespace zorvan
