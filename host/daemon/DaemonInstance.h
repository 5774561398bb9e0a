// One idle daemon a session: the daemon holds an exclusive lock on
// $XDG_RUNTIME_DIR/zorvan-daemon-<display> (beside the saver's own rendezvous file) with
// its pid in it; the kernel drops the lock however the daemon ends. --activate,
// --deactivate and the settings pane reach the daemon through that pid.
#pragma once

#include <optional>
#include <string>

namespace zorvan::daemon {

class DaemonInstance {
public:
    // Claims the session for this process. None when another daemon holds it (its pid in
    // `holder`). Without a runtime folder or a display name there is nothing to claim, and
    // the claim succeeds.
    static std::optional<DaemonInstance> claim(int& holder);
    // The pid of this session's running daemon; none when none runs.
    static std::optional<int> running();
    // Sends `signal` to this session's daemon; false when none runs.
    static bool tell(int signal);

    DaemonInstance(DaemonInstance&& other) noexcept;
    DaemonInstance& operator=(DaemonInstance&&) = delete;
    ~DaemonInstance();

private:
    explicit DaemonInstance(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace zorvan::daemon
