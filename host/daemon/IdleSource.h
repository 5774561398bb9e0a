// Where the idle daemon learns that the session is idle: one backend per kind of desktop,
// probed in a fixed order by openIdleSource (IdleSources.cpp), each free to decline.
// Every backend runs on the daemon's GLib main loop and is event-driven; only X11 offers
// no events and is asked once a second at most.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace zorvan::daemon {

class IdleSource {
public:
    struct Events {
        std::function<void()> idle;    // the armed time has passed with no input
        std::function<void()> active;  // input, after idle
        std::function<void(const std::string&)> lost;  // the service went away: one line why
    };

    virtual ~IdleSource() = default;
    // What gives the idle time, for messages: "GNOME's idle monitor", ...
    virtual std::string name() const = 0;
    // Whether the idle time is GNOME's, whose own lock time then applies.
    virtual bool gnome() const { return false; }
    // Whether the compositor offers the session lock (ext-session-lock-v1), through which
    // zorvan --lock locks it.
    virtual bool sessionLock() const { return false; }
    // Calls idle() once the session has had no input for `ms` milliseconds counted from
    // now, then active() at the next input. Arming again starts afresh and drops the
    // watch before.
    virtual void arm(unsigned ms) = 0;
};

// The first idle source this session offers: GNOME's idle monitor (mutter, Wayland or
// X11), a Wayland compositor's ext-idle-notify or org_kde_kwin_idle, X11's
// MIT-SCREEN-SAVER. None, with `why` set to one line, where the session offers none or
// another saver runs it (the xscreensaver daemon).
std::unique_ptr<IdleSource> openIdleSource(IdleSource::Events events, std::string& why);

}  // namespace zorvan::daemon
