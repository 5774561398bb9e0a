// zorvan-lock: what `zorvan --lock` becomes (zorvan execs it). It starts the
// authentication process first, before it connects to the compositor, then locks the
// session through the compositor's session lock, draws the swarm of the stored settings on
// every output with the password prompt over it, and unlocks only when PAM says the
// password typed is right. Where the compositor offers no session lock it says so and
// ends with 2: it never pretends to lock with an ordinary surface.
// Every other end (a stop signal, the compositor's connection lost, PAM's process gone)
// leaves the session locked: the compositor keeps it so until a locker unlocks it.
#include "host/backends/wayland/LockScreen.h"
#include "host/driver/ErrorLine.h"
#include "host/driver/FrameDriver.h"
#include "host/driver/SpanSystem.h"
#include "host/driver/StopSignals.h"
#include "host/lock/LockKeys.h"
#include "host/lock/LockPrompt.h"
#include "host/lock/PamChild.h"

#include <xkbcommon/xkbcommon.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

using namespace zorvan;
using namespace zorvan::lock;
using host::Clock;

namespace {

// A password left untyped this long is cleared.
constexpr auto FORGET_AFTER = std::chrono::seconds(10);

// zorvan blocks the stop signals before it execs the program; here they end the process
// at once, as their default does, leaving the session locked. (The frame driver's waits
// take a StopSignals, made before this, whose flag then never rises.)
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

// --lock, and --span at most, in any spelling zorvan takes.
std::optional<host::Options> lockOptions(int argc, char** argv) {
    host::Options options;
    options.action = host::Options::Action::Lock;
    options.fullscreen = true;  // a saver over every output: wallpapers of the session rest
    int locks = 0, spans = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--span" || arg == "-span") ++spans;
        else if (arg == "--lock" || arg == "-lock") ++locks;
        else return std::nullopt;
    }
    if (locks > 1 || spans > 1) return std::nullopt;
    options.span = spans == 1;
    return options;
}

// The name of the layout in use where the keymap has more than one; else empty.
std::string layoutName(xkb_state* state) {
    xkb_keymap* keymap = xkb_state_get_keymap(state);
    if (xkb_keymap_num_layouts(keymap) < 2) return "";
    const char* name = xkb_keymap_layout_get_name(keymap, xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE));
    return name ? name : "";
}

}  // namespace

int main(int argc, char** argv) {
    // No core dump, and no other process of the user's reads this one's memory (ptrace,
    // /proc/PID/mem): keys pass through it on their way into the password.
    prctl(PR_SET_DUMPABLE, 0);
    host::StopSignals stop;
    defaultStopSignals();
    const std::optional<host::Options> options = lockOptions(argc, argv);
    if (!options) {
        host::reportError("zorvan-lock is the lock screen: it takes zorvan's --lock (and --span) and no other option");
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

    Clock::time_point lastKey = Clock::now();
    PromptText prompt;
    LockKeys keys;
    host::LockScreen* screen = nullptr;
    auto show = [&] {
        prompt.dots = password->characters();
        prompt.checking = pam->checking();
        screen->redrawPrompt();
    };
    std::unique_ptr<host::LockScreen> lock =
        host::makeWaylandLock(*options, stop, [&](xkb_state* state, unsigned keycode) {
            const bool caps = prompt.capsLock;
            const std::string layout = prompt.layout;
            prompt.capsLock = xkb_state_mod_name_is_active(state, XKB_MOD_NAME_CAPS, XKB_STATE_MODS_LOCKED) > 0;
            prompt.layout = layoutName(state);
            if (keycode == 0) {  // the modifiers or the layout changed
                if (caps != prompt.capsLock || layout != prompt.layout) show();
                return;
            }
            const KeyAction action = keys.apply(state, keycode, *password);
            if (action == KeyAction::Typed || action == KeyAction::Erased) lastKey = Clock::now();
            // One check at a time: Enter while one runs does nothing.
            if (action == KeyAction::Submit && !pam->checking() && pam->check(*password)) prompt.message.clear();
            show();
        });
    screen = lock.get();
    screen->setPrompt(PROMPT_WIDTH, PROMPT_HEIGHT,
                      [&](unsigned char* pixels, int width, int height, int stride, double scale) {
                          drawPrompt(pixels, width, height, stride, scale, prompt);
                      });
    screen->wakeOn(pam->fd());
    // With --span one scene goes over every output, as the saver's does.
    std::unique_ptr<host::WindowSystem> spanned;
    if (options->span) spanned = std::make_unique<host::SpanSystem>(std::move(lock));
    host::WindowSystem& system = spanned ? *spanned : *lock;

    host::FrameDriver driver(system, *options, nullptr);
    std::string error;
    if (!driver.start(error)) {
        if (!error.empty()) host::reportError(error);
        return driver.failureStatus();
    }

    bool unlockDue = false;  // PAM said yes before the compositor had locked
    for (;;) {
        const std::optional<Clock::time_point> next = driver.turn();  // events, then a frame when due
        if (screen->lockEnded()) {
            host::reportError(screen->locked() ? "the compositor ended the lock itself"
                                               : "the compositor will not lock the session: another locker holds it, "
                                                 "or it refused");
            return 1;
        }
        if (driver.ended() != host::EndReason::NotYet) {
            host::reportError("the connection to the compositor was lost; the session stays locked");
            return 1;
        }
        if (screen->locked()) announceLocked(lockedFd);
        if (unlockDue && screen->locked()) {
            if (!screen->unlock()) {
                host::reportError("the connection to the compositor failed while unlocking");
                return 1;
            }
            return 0;
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
        // Unlocked at once when the lock holds; else on the compositor's word that it does.
        if (unlockDue && screen->locked()) continue;
        // The next frame, a key held repeating, or a half-typed password to forget.
        std::optional<Clock::time_point> wake = next;
        auto sooner = [&](Clock::time_point t) { wake = std::min(wake.value_or(Clock::time_point::max()), t); };
        if (const auto repeat = screen->nextKeyRepeat()) sooner(*repeat);
        if (!password->empty()) sooner(lastKey + FORGET_AFTER);
        system.wait(wake);
    }
}
