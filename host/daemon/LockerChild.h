// The lock screen that the idle daemon runs: `zorvan --lock` as a child process that says
// "locked" on a pipe (the descriptor named in ZORVAN_LOCKED_FD) once the compositor has
// locked the session; the daemon reads the pipe on its GLib main loop. A locker starts no
// sooner than a second after the one before it, so that one that keeps dying cannot spin.
// Unlike the saver, the locker outlives its daemon, in a session of its own: the session
// stays locked until its password is typed, whatever happens to the daemon.
#pragma once

#include <functional>
#include <string>

namespace zorvan::daemon {

class LockerChild {
public:
    struct Events {
        std::function<void()> locked;           // the compositor has locked the session
        // Its exit status (-1 when a signal ended it), and whether it had said "locked".
        std::function<void(int status, bool hadLocked)> ended;
    };
    // `program`: the zorvan to run with --lock.
    LockerChild(std::string program, Events events);
    ~LockerChild();  // hears no more from a running locker and lets it run
    LockerChild(const LockerChild&) = delete;
    LockerChild& operator=(const LockerChild&) = delete;

    // Starts a locker on the main loop unless one runs or is due: at once, or at the end
    // of the second after the last start. One that cannot be started is told in one line
    // and ends with status 127.
    void start();
    // Whether a locker runs or is due to start.
    bool active() const { return pid_ > 0 || due_ != 0; }
    // Whether the locker that runs now has said that the session is locked.
    bool locked() const { return locked_; }

private:
    void spawn();
    bool hear();  // reads what the locker has said; false once it closed its end
    void closePipe();

    std::string program_;
    Events events_;
    int pid_ = -1;
    int pipe_ = -1;                 // the read end
    unsigned due_ = 0, pipeWatch_ = 0, childWatch_ = 0;
    long long lastStart_ = 0;       // monotonic microseconds; 0: never
    std::string heard_;
    bool locked_ = false;
};

}  // namespace zorvan::daemon
