// GNOME's idle monitor as an idle source (MutterIdle.cpp).
#pragma once

#include "host/daemon/IdleSource.h"

namespace zorvan::daemon {

// None when the session bus has no org.gnome.Mutter.IdleMonitor.
std::unique_ptr<IdleSource> openMutterIdle(IdleSource::Events events);

}  // namespace zorvan::daemon
