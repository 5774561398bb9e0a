// The table of idle sources, in the order they are tried: GNOME's idle monitor first
// (mutter offers no Wayland idle protocol, and under GNOME on X11 it knows better than
// the X server), then the Wayland compositor's, then the X server's. In a Wayland
// session the X server (XWayland) is never asked: it sees only X clients' input.
#include "host/daemon/IdleSource.h"

#include "host/daemon/MutterIdle.h"
#include "host/daemon/WaylandIdle.h"
#include "host/daemon/X11Idle.h"

#include <glib.h>

namespace zorvan::daemon {

std::unique_ptr<IdleSource> openIdleSource(IdleSource::Events events, std::string& why) {
    if (auto gnome = openMutterIdle(events)) return gnome;
    const char* wayland = g_getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return openWaylandIdle(events, why);
    if (auto x11 = openX11Idle(events, why)) return x11;
    if (why.empty()) why = "no display to watch: neither WAYLAND_DISPLAY nor DISPLAY is set";
    return nullptr;
}

}  // namespace zorvan::daemon
