// What the idle daemon asks of the session besides the idle time: whether anything
// inhibits idle (logind's idle inhibitor locks, KDE PowerDevil's inhibitions), the
// session's lock (logind's Session.Lock, or the user's lock command, and logind's Lock
// signal to this session), and sleep (logind's PrepareForSleep, with a delay lock held
// while the daemon locks before it).
#pragma once

#include <functional>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace zorvan::daemon {

class SessionServices {
public:
    struct Events {
        std::function<void()> inhibitionsChanged;  // PowerDevil's inhibitions changed
        std::function<void(bool)> sleep;           // true before sleep, false after resume
        std::function<void()> lock;                // logind asks this session to lock
    };
    explicit SessionServices(Events events);
    ~SessionServices();
    SessionServices(const SessionServices&) = delete;
    SessionServices& operator=(const SessionServices&) = delete;

    // Whether an idle inhibitor holds now: a logind "idle" lock in block mode, or a
    // PowerDevil inhibition of screen changes (policy 4). Services that are not there
    // inhibit nothing.
    bool idleInhibited();

    // Locks the session: runs `command` with /bin/sh when it is not empty, else calls
    // logind's Session.Lock on this session. `done` is called once the lock is asked for
    // (the call returned, or the command ended or went to the background); a failure is
    // one line on stderr.
    void lock(const std::string& command, std::function<void()> done);

    // Holds a logind "sleep" delay lock from now until releaseSleepDelay (or sleep ends);
    // nothing without logind.
    void takeSleepDelay();
    void releaseSleepDelay();

private:
    std::string sessionPath();

    friend struct SessionSignals;
    Events events_;
    std::string sessionPath_;
    GDBusConnection* system_ = nullptr;
    GDBusConnection* session_ = nullptr;
    unsigned sleepSignal_ = 0, inhibitionSignal_ = 0, lockSignal_ = 0;
    int delayFd_ = -1;
};

}  // namespace zorvan::daemon
