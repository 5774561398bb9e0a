// STUB: the settings' defaults until the preference store lands.
#include "saver/Zorvan.h"
namespace zorvan {
void Zorvan::loadPrefs() {
    numMotes = 1500; moteSize = 10; mainScreenOnly = false; logoMode = 0; logoFile.reset();
    drawMode = 0; colourMode = 0; minimumContrast = 0.0f; moteShape = 1; directional = true;
    bg = {0, 0, 0}; light = LIGHT; heavy = HEAVY; speed = 0.8f; smoothness = 0.99f;
    initPlayList();
}
void Zorvan::savePrefs() {}
}  // namespace zorvan
