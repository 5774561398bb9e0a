// The monitors of an X display, through XRandR.
#pragma once

#include "host/driver/Monitors.h"

#include <vector>

typedef struct _XDisplay Display;

namespace zorvan::host {

// The monitors of the display's default screen from XRandR, in its order; one monitor
// covering the whole screen when XRandR knows none.
std::vector<Monitor> queryMonitors(Display* display);

}  // namespace zorvan::host
