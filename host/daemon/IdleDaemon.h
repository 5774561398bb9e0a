// The idle daemon: watches the session's idle time and runs the saver while the session
// is idle. It starts the saver after the chosen idle time (earlier where the desktop would
// lock before the saver is seen), ends it at the next input, locks after the chosen saver
// time, ends the saver (and locks, when locking is chosen) before sleep and counts idle
// afresh after it. An idle inhibitor keeps the saver away; a saver that fails is told once
// and not started again before the next idle period.
//
// How it locks: where the compositor offers the session lock and no lock command is
// chosen, with its own lock screen (zorvan --lock), which logind's Lock signal starts too
// and which the daemon keeps running until the password ends it; elsewhere with the
// desktop's lock (the lock command, else logind's Session.Lock), to which logind's Lock
// signal is left.
#pragma once

#include "host/daemon/DaemonSettings.h"
#include "host/daemon/DesktopLockTiming.h"
#include "host/daemon/IdleSource.h"
#include "host/daemon/LockerChild.h"
#include "host/daemon/SaverChild.h"
#include "host/daemon/SessionServices.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _GMainLoop GMainLoop;

namespace zorvan::daemon {

class IdleDaemon {
public:
    // `command`: the settings given on the command line, over the stored ones (read again
    // on SIGHUP); `saver`: the zorvan program to run full screen.
    IdleDaemon(DaemonCommand command, std::string saver);
    ~IdleDaemon();
    IdleDaemon(const IdleDaemon&) = delete;
    IdleDaemon& operator=(const IdleDaemon&) = delete;

    // Runs until a stop signal (0), the idle service going away (1), or, at once, a
    // session without an idle source (2); each with one line on stderr but the first.
    int run();

private:
    enum class State {
        Watching,    // idle counts
        Inhibited,   // idle came while an inhibitor held: it counts again
        Saving,      // the saver runs
        Ending,      // the saver was asked to end
        Locking,     // the saver ends before the desktop's lock is asked for
        Locked,      // the desktop's lock was asked for: the next input counts idle afresh
        LockScreen,  // zorvan --lock holds the session (or is starting): its unlock ends it
        Failed,      // the saver failed: the next input counts idle afresh
        Asleep,      // between PrepareForSleep and resume
    };

    void rearm();
    void startSaver();
    void lockNow();
    bool ownLock() const;
    void startLockScreen();
    void desktopLock();
    void onIdle();
    void onActive();
    void onLost(const std::string& why);
    void onSaverEnded(int status, bool stopped);
    void onLockRequest();
    void onLocked();
    void onLockerEnded(int status, bool hadLocked);
    void onSleep(bool start);
    void holdSleepUntilLocked();
    void letSleep();
    void activate();
    void deactivate();
    void reload();
    void stop();  // SIGTERM, SIGINT
    void quit(int status);

    DaemonCommand command_;
    DaemonSettings settings_;
    std::string saver_;
    State state_ = State::Watching;
    int status_ = 0;
    int lastAnnounced_ = -1;
    long long saverStarted_ = 0;  // monotonic microseconds
    GMainLoop* loop_ = nullptr;
    unsigned lockTimer_ = 0;
    unsigned sleepBound_ = 0;  // while the delay lock waits for the lock screen
    std::unique_ptr<IdleSource> source_;
    std::unique_ptr<SessionServices> services_;
    std::unique_ptr<DesktopLockTiming> timing_;
    SaverChild child_;
    LockerChild locker_;
    struct SignalWork {
        IdleDaemon* daemon;
        void (IdleDaemon::*work)();
    };
    std::vector<SignalWork> signalWork_;  // filled once; the signal handlers point into it
};

}  // namespace zorvan::daemon
