#include "host/daemon/IdleDaemon.h"

#include <glib-unix.h>
#include <glib.h>
#include <signal.h>

#include <cstdio>

namespace zorvan::daemon {

namespace {

void say(const std::string& line) { std::fprintf(stderr, "zorvan: %s\n", line.c_str()); }

// SIGTERM's promise: daemon and saver gone within a tenth of a second.
constexpr int END_SAVER_MS = 90;

// Some compositors (cage) count a new full-screen surface as activity: input reported
// this soon after the saver starts is left to the saver, which ends itself at any input.
constexpr gint64 SAVER_SETTLE_US = 2000000;

// Once the desktop's lock is asked for, the idle time after which the next input counts
// as the user's return.
constexpr unsigned RETURN_WATCH_MS = 1000;

// Before sleep, how long the delay lock waits for the lock screen to say that the session
// is locked: logind itself waits 5 s at most (InhibitDelayMaxSec).
constexpr guint SLEEP_WAIT_MS = 4000;

}  // namespace

IdleDaemon::IdleDaemon(DaemonCommand command, std::string saver)
    : command_(std::move(command)), settings_(command_.over(loadDaemonSettings())), saver_(std::move(saver)),
      child_([this](int status, bool stopped) { onSaverEnded(status, stopped); }),
      locker_(saver_, {[this] { onLocked(); }, [this](int status, bool hadLocked) { onLockerEnded(status, hadLocked); }}) {}

IdleDaemon::~IdleDaemon() {
    child_.end(END_SAVER_MS);
    if (lockTimer_) g_source_remove(lockTimer_);
    if (sleepBound_) g_source_remove(sleepBound_);
    if (loop_) g_main_loop_unref(loop_);
}

int IdleDaemon::run() {
    loop_ = g_main_loop_new(nullptr, FALSE);
    // Each signal's work, done on the main loop.
    static const std::pair<int, void (IdleDaemon::*)()> SIGNALS[] = {
        {SIGTERM, &IdleDaemon::stop},        {SIGINT, &IdleDaemon::stop},
        {SIGHUP, &IdleDaemon::reload},       {SIGUSR1, &IdleDaemon::activate},
        {SIGUSR2, &IdleDaemon::deactivate}};
    for (const auto& [number, work] : SIGNALS) signalWork_.push_back({this, work});
    for (size_t i = 0; i < signalWork_.size(); ++i)
        g_unix_signal_add(SIGNALS[i].first, +[](gpointer data) {
            const auto* w = static_cast<SignalWork*>(data);
            (w->daemon->*w->work)();
            return gboolean(G_SOURCE_CONTINUE);
        }, &signalWork_[i]);

    // The stop signals were blocked until now (zorvan blocks them across exec).
    sigset_t stops;
    sigemptyset(&stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, s);
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);

    std::string why;
    source_ = openIdleSource({[this] { onIdle(); }, [this] { onActive(); },
                              [this](const std::string& line) { onLost(line); }},
                             why);
    if (!source_) {
        say(why);
        return 2;
    }
    services_ = std::make_unique<SessionServices>(SessionServices::Events{
        [this] {
            // An inhibition that ends counts idle afresh from then.
            if (state_ == State::Inhibited) rearm();
        },
        [this](bool start) { onSleep(start); }, [this] { onLockRequest(); }});
    timing_ = std::make_unique<DesktopLockTiming>(source_->gnome(), [this] {
        if (state_ == State::Watching || state_ == State::Inhibited) rearm();
    });
    if (settings_.lockAfter > 0) services_->takeSleepDelay();

    rearm();
    g_main_loop_run(loop_);
    child_.end(END_SAVER_MS);
    return status_;
}

void IdleDaemon::rearm() {
    state_ = State::Watching;
    const auto lock = timing_->desktopLock();
    const int after = DesktopLockTiming::saverAfter(settings_.saverAfter, lock);
    if (after != lastAnnounced_) {
        std::string line = "watching " + source_->name() + ": the saver starts after " + formatDuration(after) + " idle";
        if (after < settings_.saverAfter)
            line += " (" + lock->who + " locks at " + formatDuration(lock->seconds) + " idle; the saver is seen first)";
        say(line);
        lastAnnounced_ = after;
    }
    source_->arm(unsigned(after) * 1000u);
}

void IdleDaemon::startSaver() {
    // Built whole: GCC 14 warns (-Warray-bounds, wrongly) at a push_back onto a vector
    // made from a one-element list.
    const std::vector<std::string> args =
        settings_.span ? std::vector<std::string>{"--fullscreen", "--span"} : std::vector<std::string>{"--fullscreen"};
    if (!child_.start(saver_, args)) {
        state_ = State::Failed;
        return;
    }
    state_ = State::Saving;
    saverStarted_ = g_get_monotonic_time();
    if (settings_.lockAfter > 0 && !lockTimer_)
        lockTimer_ = g_timeout_add_seconds(guint(settings_.lockAfter), +[](gpointer self) {
            auto* me = static_cast<IdleDaemon*>(self);
            me->lockTimer_ = 0;
            if (me->state_ == State::Saving) me->lockNow();
            return gboolean(G_SOURCE_REMOVE);
        }, this);
}

void IdleDaemon::lockNow() {
    if (ownLock()) startLockScreen();
    else desktopLock();
}

// Zorvan's own lock screen where the compositor has the session lock, unless the user
// chose a lock command.
bool IdleDaemon::ownLock() const { return settings_.lockCommand.empty() && source_->sessionLock(); }

// The lock screen comes over a running saver, which ends once the session is locked: the
// desktop never shows between the two. The locker runs exactly while the state is
// LockScreen.
void IdleDaemon::startLockScreen() {
    state_ = State::LockScreen;
    if (lockTimer_) g_source_remove(lockTimer_);
    lockTimer_ = 0;
    locker_.start();
}

// Hands over to the desktop's lock: the saver ends first, so the lock is what shows.
void IdleDaemon::desktopLock() {
    state_ = State::Locking;
    if (child_.running()) {
        child_.stop();  // onSaverEnded locks
        return;
    }
    services_->lock(settings_.lockCommand, [this] {
        if (state_ == State::Locking) {
            state_ = State::Locked;
            // Its next active() is the user's return, also where no idle came before
            // (logind's Lock signal).
            source_->arm(RETURN_WATCH_MS);
        }
        letSleep();
    });
}

// logind's Lock signal. Where the desktop locks, its own locker answers it; and the
// daemon's own Session.Lock comes back as one, to be left alone too.
void IdleDaemon::onLockRequest() {
    if (!ownLock() || state_ == State::Locking || state_ == State::Locked) return;
    startLockScreen();
}

// The session is locked: the saver under the lock ends, and the machine may sleep.
void IdleDaemon::onLocked() {
    child_.stop();
    letSleep();
}

void IdleDaemon::onLockerEnded(int status, bool hadLocked) {
    if (status == 0) {  // unlocked
        letSleep();
        rearm();
        return;
    }
    const std::string how = status < 0 ? "killed by a signal" : "with status " + std::to_string(status);
    if (status < 0 || hadLocked) {
        // It died and left the session locked (a crash, its authentication process gone):
        // the compositor hands the lock to the next locker, started once a second at most.
        say("the lock screen ended " + how + "; a new one takes over the locked session");
        locker_.start();
        return;
    }
    // It could not lock: no session lock after all (2), or the compositor turned it away
    // (another locker holds the session). The desktop's lock, once; starting it again
    // would only be turned away again.
    say("the lock screen ended " + how + " before the session was locked; the desktop's lock takes over");
    desktopLock();
}

void IdleDaemon::onIdle() {
    if (state_ != State::Watching && state_ != State::Inhibited) return;
    if (services_->idleInhibited()) {
        // Looked at again after another idle period, or when PowerDevil's inhibitions change.
        state_ = State::Inhibited;
        source_->arm(unsigned(DesktopLockTiming::saverAfter(settings_.saverAfter, timing_->desktopLock())) * 1000u);
        return;
    }
    startSaver();
}

void IdleDaemon::onActive() {
    switch (state_) {
    case State::Saving:
        if (g_get_monotonic_time() - saverStarted_ < SAVER_SETTLE_US) break;
        state_ = State::Ending;
        child_.stop();  // onSaverEnded arms again
        break;
    case State::Locked:
    case State::Failed:
        rearm();
        break;
    default:
        break;
    }
}

void IdleDaemon::onSaverEnded(int status, bool stopped) {
    if (lockTimer_) g_source_remove(lockTimer_);
    lockTimer_ = 0;
    if (state_ == State::Locking) {
        desktopLock();
        return;
    }
    if (state_ == State::Asleep || state_ == State::LockScreen) return;
    if (!stopped && status != 0) {
        // A saver that cannot run (no GL, no display) would fail again at once: wait for
        // the next idle period rather than spin.
        say("the saver ended with " + (status < 0 ? std::string("a signal") : "status " + std::to_string(status)) +
            "; it starts again after the next idle period");
        state_ = State::Failed;
        return;
    }
    rearm();
}

void IdleDaemon::onSleep(bool start) {
    if (!start) {
        if (sleepBound_) g_source_remove(sleepBound_);
        sleepBound_ = 0;
        if (settings_.lockAfter > 0) services_->takeSleepDelay();
        if (state_ != State::LockScreen) rearm();
        return;
    }
    if (lockTimer_) g_source_remove(lockTimer_);
    lockTimer_ = 0;
    child_.end(END_SAVER_MS);
    if (state_ == State::LockScreen) {
        holdSleepUntilLocked();
        return;
    }
    state_ = State::Asleep;
    if (settings_.lockAfter <= 0) {
        services_->releaseSleepDelay();
    } else if (ownLock()) {
        startLockScreen();
        holdSleepUntilLocked();
    } else {
        services_->lock(settings_.lockCommand, [this] { services_->releaseSleepDelay(); });
    }
}

// The delay lock goes once the lock screen says the session is locked, or it ends, or
// the wait is too long for logind.
void IdleDaemon::holdSleepUntilLocked() {
    if (locker_.locked()) {
        services_->releaseSleepDelay();
        return;
    }
    if (sleepBound_) return;
    sleepBound_ = g_timeout_add(SLEEP_WAIT_MS, +[](gpointer self) {
        auto* me = static_cast<IdleDaemon*>(self);
        me->sleepBound_ = 0;
        say("the lock screen did not lock the session within " + std::to_string(SLEEP_WAIT_MS / 1000) +
            " s of the sleep; the machine sleeps all the same, as logind would not wait much longer");
        me->services_->releaseSleepDelay();
        return gboolean(G_SOURCE_REMOVE);
    }, this);
}

void IdleDaemon::letSleep() {
    if (!sleepBound_) return;
    g_source_remove(sleepBound_);
    sleepBound_ = 0;
    services_->releaseSleepDelay();
}

void IdleDaemon::activate() {
    if (child_.running() || state_ == State::LockScreen) return;
    startSaver();
}

void IdleDaemon::deactivate() {
    if (state_ == State::LockScreen) return;  // only the password ends the lock
    if (child_.running()) {
        state_ = State::Ending;
        child_.stop();
        return;
    }
    rearm();
}

void IdleDaemon::reload() {
    // The stored settings as they are now; a running saver keeps going.
    settings_ = command_.over(reloadDaemonSettings());
    if (settings_.lockAfter > 0) services_->takeSleepDelay();
    else services_->releaseSleepDelay();
    lastAnnounced_ = -1;
    if (state_ == State::Watching || state_ == State::Inhibited) rearm();
}

void IdleDaemon::onLost(const std::string& why) {
    say(why);
    quit(1);
}

void IdleDaemon::stop() { quit(0); }

void IdleDaemon::quit(int status) {
    status_ = status;
    child_.end(END_SAVER_MS);
    g_main_loop_quit(loop_);
}

}  // namespace zorvan::daemon
