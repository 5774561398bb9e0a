// Everything a Zorvan view holds: the parts it is composed of (the swarm, the logo, the
// settings and the configuration sheet), the mode play list, and its own lifecycle. The
// view derives from it privately; everyone else reads it through Zorvan::state() or asks
// the view by name.
//
// Every field is zero, false or null until an entry point writes it: the schedule, the
// field and the seeding rely on that start.
#pragma once

#include "logo/LogoPicture.h"
#include "settings/ConfigureSheet.h"
#include "settings/Settings.h"
#include "sim/Swarm.h"

namespace zorvan {

class ScreenSaverDefaults;
class OpenGLView;

struct ZorvanState {
    explicit ZorvanState(SheetClient& client) : sheet(settings, client) {}

    // --- saver view lifecycle and frame loop ---
    OpenGLView* _view = nullptr;  // lent by whoever made it, for the view's whole life
    bool _initedGL = false;
    bool drawingEnabled = false;

    // --- mode play list ---
    int mode = 0;
    int playList[20] = {};
    int playListSize = 0;
    int playListIndex = 0;
    int frameCount = 0;
    int frameLimit = 0;
    int modeFrameLimits[7] = {};

    // --- the parts ---
    Swarm swarm;          // the motes, the field and their motion
    LogoPicture picture;  // the logo picture and its pixel table
    Settings settings;    // numMotes there is the count asked for; swarm.numMotes the live one

    // --- the store ---
    ScreenSaverDefaults* prefs = nullptr;  // the process-wide store, not owned
    // The last savePrefs could not write the store: the settings are in effect but
    // will not be there at the next start.
    bool saveFailed = false;

    // --- configuration sheet: its outlets, the re-seed flag, the file chooser ---
    ConfigureSheet sheet;
};

}  // namespace zorvan
