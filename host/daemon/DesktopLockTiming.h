// When the desktop itself will cover the screen with its lock, so that the idle daemon can
// start the saver early enough to be seen: GNOME fades its lock shield over everything at
// org.gnome.desktop.session idle-delay (default 300 s); Plasma locks after
// kscreenlockerrc's [Daemon] Timeout minutes (default 5) when Autolock is on.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zorvan::daemon {

// The least time a saver is seen before the desktop's lock comes.
inline constexpr int SEEN_BEFORE_LOCK = 60;

class DesktopLockTiming {
public:
    // `gnome`: the session is GNOME's (its idle monitor answers); then idle-delay is
    // followed and `changed` called when it changes. Plasma's file is read at each ask.
    DesktopLockTiming(bool gnome, std::function<void()> changed);
    ~DesktopLockTiming();
    DesktopLockTiming(const DesktopLockTiming&) = delete;
    DesktopLockTiming& operator=(const DesktopLockTiming&) = delete;

    struct Lock {
        int seconds;       // idle time at which the desktop locks
        std::string who;   // "GNOME", "Plasma"
    };
    // The desktop's own lock time; none where it never locks by itself or is not known.
    std::optional<Lock> desktopLock() const;

    // The idle time to start the saver at: `chosen`, or earlier, so that the saver is seen
    // for SEEN_BEFORE_LOCK seconds before the desktop locks (half the lock time when that
    // is shorter than two minutes).
    static int saverAfter(int chosen, const std::optional<Lock>& lock);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zorvan::daemon
