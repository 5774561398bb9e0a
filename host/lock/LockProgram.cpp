// zorvan-lock: what `zorvan --lock` becomes (zorvan execs it). It starts the
// authentication process first, before it connects to the compositor, then locks the
// session through the compositor's session lock and unlocks it only when PAM says the
// password typed is right. Where the compositor offers no session lock it says so and
// ends with 2: it never pretends to lock with an ordinary surface.
// Every other end (a stop signal, the compositor's connection lost, PAM's process gone)
// leaves the session locked: the compositor keeps it so until a locker unlocks it.
#include "host/driver/ErrorLine.h"
#include "host/lock/LockKeys.h"
#include "host/lock/PamChild.h"
#include "host/lock/SessionLock.h"

#include <xkbcommon/xkbcommon.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <sys/prctl.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <system_error>

using namespace zorvan;
using namespace zorvan::lock;
using Clock = std::chrono::steady_clock;

namespace {

// A password left untyped this long is cleared.
constexpr auto FORGET_AFTER = std::chrono::seconds(10);

// zorvan blocks the stop signals before it execs the program; here they end the process
// at once, as their default does, leaving the session locked.
void defaultStopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        signal(s, SIG_DFL);
        sigaddset(&stops, s);
    }
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    // A reader gone from the "locked" pipe is no reason to end.
    signal(SIGPIPE, SIG_IGN);
}

// Where the environment names one (ZORVAN_LOCKED_FD, the idle daemon's pipe), the
// descriptor that hears "locked" once the compositor has locked the session; -1: none.
// The variable goes, so that nothing started later inherits it.
int lockedDescriptor() {
    const char* value = std::getenv("ZORVAN_LOCKED_FD");
    int fd = -1;
    if (value && *value) {
        char* end = nullptr;
        const long n = std::strtol(value, &end, 10);
        if (*end == '\0' && n > 2 && n < 65536 && fcntl(int(n), F_GETFD) >= 0) fd = int(n);
        else host::reportError("warning: ZORVAN_LOCKED_FD is not an open descriptor; nobody hears when the lock holds");
    }
    unsetenv("ZORVAN_LOCKED_FD");
    if (fd >= 0) fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

// Says "locked" on `fd` once, and closes it.
void announceLocked(int& fd) {
    if (fd < 0) return;
    const char word[] = "locked\n";
    (void)!write(fd, word, sizeof word - 1);
    close(fd);
    fd = -1;
}

bool onlyLockOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) != "--lock" && std::string_view(argv[i]) != "-lock") return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // No core dump, and no other process of the user's reads this one's memory (ptrace,
    // /proc/PID/mem): keys pass through it on their way into the password.
    prctl(PR_SET_DUMPABLE, 0);
    defaultStopSignals();
    if (!onlyLockOption(argc, argv)) {
        host::reportError("zorvan-lock is the lock screen: it takes zorvan's --lock and no other option");
        return 2;
    }
    int lockedFd = lockedDescriptor();
    std::optional<PamChild> pam;
    std::optional<Password> password;
    try {
        pam.emplace();
        password.emplace();
    } catch (const std::system_error& e) {
        host::reportError(std::string("cannot start the lock screen's authentication: ") + e.what());
        return 1;
    }

    SessionLock session;
    switch (session.open()) {
    case SessionLock::Opened::Ready:
        break;
    case SessionLock::Opened::NoDisplay:
        host::reportError("--lock needs a Wayland compositor that offers the session lock (ext-session-lock-v1), "
                          "and none is named or none answers (WAYLAND_DISPLAY); lock with the desktop's own locker");
        return 2;
    case SessionLock::Opened::NoLockProtocol:
        host::reportError("this compositor offers no session lock (ext-session-lock-v1); lock with the desktop's own "
                          "locker");
        return 2;
    case SessionLock::Opened::Broken:
        host::reportError("the Wayland compositor failed before the lock");
        return 1;
    }

    Clock::time_point lastKey = Clock::now();
    PromptText prompt;
    auto show = [&] {
        prompt.dots = password->characters();
        prompt.checking = pam->checking();
        session.show(prompt);
    };
    LockKeys keys;
    session.lock([&](xkb_state* state, unsigned keycode) {
        const KeyAction action = keys.apply(state, keycode, *password);
        if (action == KeyAction::Typed || action == KeyAction::Erased) lastKey = Clock::now();
        // One check at a time: Enter while one runs does nothing.
        if (action == KeyAction::Submit && !pam->checking() && pam->check(*password)) prompt.message.clear();
        prompt.capsLock = xkb_state_mod_name_is_active(state, XKB_MOD_NAME_CAPS, XKB_STATE_MODS_LOCKED) > 0;
        show();
    });

    bool unlockDue = false;  // PAM said yes before the compositor had locked
    for (;;) {
        if (session.finished()) {
            host::reportError(session.locked() ? "the compositor ended the lock itself"
                                               : "the compositor will not lock the session: another locker holds it, "
                                                 "or it refused");
            return 1;
        }
        if (session.locked()) announceLocked(lockedFd);
        if (unlockDue && session.locked()) {
            if (!session.unlock()) {
                host::reportError("the connection to the compositor failed while unlocking");
                return 1;
            }
            return 0;
        }
        if (!session.prepare()) {
            host::reportError("the connection to the compositor was lost; the session stays locked");
            return 1;
        }
        int timeout = -1;
        if (!password->empty()) {
            const auto left = lastKey + FORGET_AFTER - Clock::now();
            timeout = int(std::max<long>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        }
        pollfd fds[2] = {{session.fd(), POLLIN, 0}, {pam->fd(), POLLIN, 0}};
        const int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno != EINTR) {
            host::reportError(std::string("poll: ") + std::strerror(errno));
            return 1;
        }
        if (!session.afterPoll(ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))) {
            host::reportError("the connection to the compositor was lost; the session stays locked");
            return 1;
        }
        if (!password->empty() && Clock::now() - lastKey >= FORGET_AFTER) {
            password->clear();
            show();
        }
        while (std::optional<PamEvent> event = pam->next()) {
            switch (event->kind) {
            case PamEvent::Kind::Success:
                unlockDue = true;
                break;
            case PamEvent::Kind::Failure:
                prompt.message = "Wrong password";
                show();
                break;
            case PamEvent::Kind::Info:
            case PamEvent::Kind::Error:
                prompt.message = event->text;
                show();
                break;
            case PamEvent::Kind::Died:
                host::reportError("the authentication process ended (" + event->text +
                                  "); the session stays locked");
                return 1;
            default:
                // PAM's prompts: the box asks for the password already.
                break;
            }
        }
    }
}
