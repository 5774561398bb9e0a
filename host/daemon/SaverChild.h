// The saver that the idle daemon runs: `zorvan --fullscreen` (with --span when chosen) as
// a child process that dies with the daemon, however the daemon ends.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zorvan::daemon {

class SaverChild {
public:
    // `ended(status, stopped)` is called on the main loop when the child has ended: its
    // exit status (-1 when a signal ended it), and whether stop() asked it to.
    explicit SaverChild(std::function<void(int status, bool stopped)> ended);
    ~SaverChild();  // stops a running saver and waits for it
    SaverChild(const SaverChild&) = delete;
    SaverChild& operator=(const SaverChild&) = delete;

    // Starts `program` with `args` unless one runs; false, with one line on stderr, when
    // it cannot be started.
    bool start(const std::string& program, const std::vector<std::string>& args);
    bool running() const { return pid_ > 0; }
    // Asks a running saver to end (SIGTERM); ended() follows.
    void stop();
    // Ends a running saver now: SIGTERM, a wait of at most `ms`, then SIGKILL. ended() is
    // not called.
    void end(int ms);

private:
    std::function<void(int, bool)> ended_;
    int pid_ = -1;
    unsigned watch_ = 0;
    bool stopping_ = false;
};

}  // namespace zorvan::daemon
