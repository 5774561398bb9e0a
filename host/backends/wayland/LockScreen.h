// The lock screen's window system: the Wayland backend in its lock form, where each
// output's surface is a lock surface of the compositor's session lock (ext-session-lock-v1)
// instead of a layer or a toplevel. The frame driver draws the swarm on them as on any
// screen; the lock program asks for what only a lock has: whether the compositor has
// locked, the unlock, the prompt over the swarm, the key presses, and a descriptor of its
// own to wake the wait.
#pragma once

#include "host/backends/wayland/PromptSurface.h"
#include "host/backends/wayland/WaylandSeat.h"
#include "host/cli/Options.h"
#include "host/driver/WindowSystem.h"

#include <memory>
#include <optional>

namespace zorvan::host {

class StopSignals;

class LockScreen : public WindowSystem {
public:
    // The compositor has locked the session: every output shows its lock surface.
    virtual bool locked() const = 0;
    // The compositor will not lock, or no longer: another locker holds it, or it refused.
    virtual bool lockEnded() const = 0;
    // Unlocks a locked session and waits until the compositor has read it; false when not
    // locked or the connection failed on the way.
    virtual bool unlock() = 0;

    // The prompt: a box of `width` x `height` points painted by `paint`, in the middle of
    // the output with the pointer (else the first); set before screens().
    virtual void setPrompt(int width, int height, PromptSurface::Painter paint) = 0;
    // Paints the prompt anew (its text changed).
    virtual void redrawPrompt() = 0;
    // The waits end when `fd` is readable too.
    virtual void wakeOn(int fd) = 0;
    // When a key held is next repeated to the keys' sink (by the next poll() from then on);
    // none while no key is held.
    virtual std::optional<Clock::time_point> nextKeyRepeat() const = 0;
};

// The lock screen on WAYLAND_DISPLAY's compositor; key presses go to `keys`. Its screens()
// asks for the lock; it reports, with status 2, a compositor without a session lock and
// no compositor at all.
std::unique_ptr<LockScreen> makeWaylandLock(const Options& options, StopSignals& stop, WaylandSeat::KeySink keys);

}  // namespace zorvan::host
