// The built-in schedule of motion modes, played in a loop.
#include "saver/Zorvan.h"

namespace zorvan {

namespace {

constexpr int PLAY_LIST[] = {
    MODE_FLOW,          MODE_SWIRL,         MODE_THREE_LEADERS, MODE_GATHER, MODE_SCATTER,
    MODE_COAST,         MODE_TWO_LEADERS,   MODE_FLOW,          MODE_SWIRL,  MODE_THREE_LEADERS,
    MODE_TWO_LEADERS,   MODE_FLOW,          MODE_THREE_LEADERS, MODE_GATHER,
};

// Frame budget of each mode, indexed by mode number.
constexpr int MODE_FRAME_LIMITS[7] = {450, 220, 310, 250, 280, 130, 500};

}  // namespace

void Zorvan::initPlayList() {
    playListSize = 0;
    for (int entry : PLAY_LIST) playList[playListSize++] = entry;
    for (int m = 0; m < 7; ++m) modeFrameLimits[m] = MODE_FRAME_LIMITS[m];
    frameLimit = modeFrameLimits[0];
}

void Zorvan::checkModeChange() {
    if (playListSize < 2) return;
    ++frameCount;
    if (frameCount <= frameLimit) return;

    auto advance = [this] {
        if (++playListIndex >= playListSize) playListIndex = 0;
        mode = playList[playListIndex];
    };
    advance();
    // Without a logo there is nothing to gather onto: pass the entry over, once.
    if (mode == MODE_GATHER && settings.logoMode == LOGO_NONE) advance();

    frameLimit = modeFrameLimits[mode];
    frameCount = 0;
}

}  // namespace zorvan
