// X11's idle time as an idle source (X11Idle.cpp).
#pragma once

#include "host/daemon/IdleSource.h"

namespace zorvan::daemon {

// None when there is no X display; none with `why` set when the xscreensaver daemon runs
// this display's saver, or the server lacks MIT-SCREEN-SAVER.
std::unique_ptr<IdleSource> openX11Idle(IdleSource::Events events, std::string& why);

}  // namespace zorvan::daemon
