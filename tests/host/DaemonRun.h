// A zorvan --daemon that a test started: its pid, what it wrote, and the children it
// runs (the saver, the lock screen), for the idle daemon's tests.
#pragma once

#include <string>
#include <vector>

namespace zorvan::test {

// Whether a process runs (a zombie that nobody reaps does not).
bool alive(int pid);

class DaemonRun {
public:
    DaemonRun(int pid, std::string log) : pid_(pid), log_(std::move(log)) {}
    ~DaemonRun();  // kills the daemon and its children
    DaemonRun(const DaemonRun&) = delete;
    DaemonRun& operator=(const DaemonRun&) = delete;

    int pid() const { return pid_; }
    std::string log() const;
    // Once it says what it watches; false when it ended or said nothing in time.
    bool ready(double seconds = 15) const;
    // Its saver: the children it runs now.
    std::vector<int> savers() const;
    bool saving() const { return !savers().empty(); }
    bool waitSaving(bool running, double seconds) const;
    // Its children whose command line has `argument`: "--fullscreen" for the saver,
    // "--lock" for the lock screen.
    std::vector<int> children(const std::string& argument) const;
    // Ends it with `signal`; its exit status (-1 when a signal ended it).
    int end(int signal, double seconds = 5);
    // Waits for it to end by itself; its exit status, or -1 when it did not in time.
    int ended(double seconds);

private:
    int pid_;
    std::string log_;
};

}  // namespace zorvan::test
