// A Wayland compositor's idle notifications as an idle source (WaylandIdle.cpp).
#pragma once

#include "host/daemon/IdleSource.h"

namespace zorvan::daemon {

// None when there is no Wayland display; none with `why` set when the compositor offers
// neither idle protocol (weston, cage).
std::unique_ptr<IdleSource> openWaylandIdle(IdleSource::Events events, std::string& why);

}  // namespace zorvan::daemon
