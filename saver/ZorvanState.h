// Everything a Zorvan view holds, in one plain struct. The view derives from it
// privately: its own code (the saver, simulation, logo, rendering and settings folders)
// uses the fields by name, and everyone else reads them through Zorvan::state() or asks
// the view by name.
//
// Every field is zero, false or null until an entry point writes it: the schedule, the
// field and the seeding rely on that start.
#pragma once

#include "platform/controls/Nib.h"
#include "sim/Mote.h"
#include "sim/MoteArray.h"

#include <memory>
#include <optional>
#include <string>

namespace zorvan {

class Image;
class ScreenSaverDefaults;
class Control;
class OpenPanel;
class OpenGLView;

// The motes (`motes`, `numMotesAllocated` and the live count `numMotes`, which is also
// the setting) come from MoteArray, which keeps them consistent.
struct ZorvanState : MoteArray {
    // --- saver view lifecycle and frame loop ---
    OpenGLView* _view = nullptr;  // owned by the subviews of the base view
    bool _initedGL = false;
    bool drawingEnabled = false;
    int displayWidth = 0, displayHeight = 0;
    int fieldWidth = 0, fieldHeight = 0;

    // --- mode play list ---
    int mode = 0;
    int playList[20] = {};
    int playListSize = 0;
    int playListIndex = 0;
    int frameCount = 0;
    int frameLimit = 0;
    int modeFrameLimits[7] = {};

    // --- vector field ---
    FieldVector fields[9] = {};
    FieldVector swirl[9] = {};
    Rotator rotators[9] = {};

    // --- logo ---
    std::shared_ptr<Image> logoImageSrc;
    Colour* logo = nullptr;  // from malloc; logoWidth x logoHeight entries
    int logoWidth = 0, logoHeight = 0;
    int numNonBGPixels = 0;

    // --- settings (numMotes is with the motes) ---
    ScreenSaverDefaults* prefs = nullptr;  // the process-wide store, not owned
    int moteSize = 0;
    bool mainScreenOnly = false;
    int logoMode = 0;
    std::optional<std::string> logoFile;
    int drawMode = 0;
    int colourMode = 0;
    float minimumContrast = 0.0f;
    int moteShape = 0;
    bool directional = false;
    Colour bg = {};
    Colour light = {};
    Colour heavy = {};
    float speed = 0.0f;
    float smoothness = 0.0f;

    // --- configuration sheet ---
    bool reinitMotes = false;
    // Outlets: the controls of the sheet loaded last (owned by sheetNib).
    Control* window = nullptr;
    Control* motesSlider = nullptr;
    Control* sizeSlider = nullptr;
    Control* speedSlider = nullptr;
    Control* tailsBox = nullptr;
    Control* contrastBox = nullptr;
    Control* screensBox = nullptr;
    Control* directionalButton = nullptr;
    Control* squareButton = nullptr;
    Control* diamondButton = nullptr;
    Control* hexButton = nullptr;
    Control* defaultColours = nullptr;
    Control* customColours = nullptr;
    Control* imageColours = nullptr;
    Control* bgWell = nullptr;
    Control* lightWell = nullptr;
    Control* heavyWell = nullptr;
    Control* bgLabel = nullptr;
    Control* motesLabel = nullptr;
    Control* logoImage = nullptr;
    // The line under the logo that says why a chosen picture was not taken.
    Control* logoMessage = nullptr;
    std::unique_ptr<Nib> sheetNib;
    // The file chooser chooseLogo shows; it answers later, on the main loop.
    std::unique_ptr<OpenPanel> openPanel;
    // The last savePrefs could not write the store: the settings are in effect but
    // will not be there at the next start.
    bool saveFailed = false;
};

}  // namespace zorvan
