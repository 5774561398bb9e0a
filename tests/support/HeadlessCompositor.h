// What the private compositors of the Wayland tests share (weston, KWin, GNOME's mutter
// or shell, cage): a fresh temporary folder with a runtime folder and a home, the
// compositor started in it as nobody when the tests run as root (compositors refuse or
// misbehave as root), its Wayland socket found, clients started on it, and everything
// ended and removed when the object goes. Each compositor is a class of its own that
// starts itself through launch() and says how it takes pictures and input.
#pragma once

#include "host/Process.h"
#include "support/Pictures.h"

#include <sys/types.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvan::test {

class HeadlessCompositor {
public:
    virtual ~HeadlessCompositor();  // ends the compositor, its group and the clients
    HeadlessCompositor(const HeadlessCompositor&) = delete;
    HeadlessCompositor& operator=(const HeadlessCompositor&) = delete;

    // False, with why() saying what is missing or went wrong, when it could not start.
    bool available() const { return why_.empty(); }
    const std::string& why() const { return why_; }
    // What the compositor has written so far, for failure messages.
    std::string log() const;
    // Why the last helper that failed did.
    const std::string& error() const { return error_; }

    // ChildSetup::env entries that put a client on this compositor: WAYLAND_DISPLAY and
    // XDG_RUNTIME_DIR set, DISPLAY unset (no falling back to X), and what the compositor
    // adds (clientEnv_).
    std::vector<std::string> clientEnv() const;
    // Starts a client with clientEnv() added to setup.env; its pid, or -1. A client still
    // running when the object goes is killed (with its group, when it has its own).
    int startClient(const std::string& program, const std::vector<std::string>& args, ChildSetup setup = {});
    // Starts a client of the compositor's session bus too, as the compositor's user (the
    // bus takes no one else), with clientEnv(), that bus, and the compositor's HOME and
    // XDG_CONFIG_HOME in an otherwise empty environment, then setup.env; -1 before the
    // bus is known (compositors started with launchOnBus). Killed like the others.
    int startBusClient(const std::string& program, const std::vector<std::string>& args, ChildSetup setup = {});
    // Runs a client to its end (at most `seconds`), with `env` added to clientEnv().
    ProcessResult runClient(const std::string& program, const std::vector<std::string>& args, double seconds = 10,
                            const std::vector<std::string>& env = {}) const;

    // A picture of the whole screen at its full resolution; with a name it is kept as
    // test-shots/<name>.png too. Empty, with error() saying why, when none can be taken.
    virtual Shot screenshot(const std::string& name = "") = 0;
    // Takes pictures until `done` accepts one (true) or `seconds` pass (false); the last
    // one in `last` when given.
    bool waitFor(const std::function<bool(const Shot&)>& done, double seconds, Shot* last = nullptr);
    // Waits for at least `count` lit pixels, or for none.
    bool waitForLit(long count, double seconds);
    bool waitUntilBlack(double seconds);

    // The full path of a program on PATH; empty when it is not installed.
    static std::string onPath(const std::string& name);
    // The first of `tools` that is not installed; empty when all are.
    static std::string missing(std::initializer_list<const char*> tools);

    // Types one key, an xkb keysym name such as "space" or "Escape", through wtype (the
    // virtual-keyboard protocol), after half a second in which clients bind the new
    // keyboard; true when it was typed, else error() says why (wtype's "Compositor does
    // not support the virtual keyboard protocol" where it is not offered).
    virtual bool key(const std::string& name);
    // Types `text` through wtype the same way, then Return when `enter`.
    bool type(const std::string& text, bool enter = true);
    // Holds key `name` down for `seconds` the same way (clients repeat it meanwhile).
    bool holdKey(const std::string& name, double seconds);

    // Kills the compositor and what it started at once, as a crash would.
    void kill();
    // Whether the compositor process still runs.
    bool running() const;

    // The private folder, and a path in it.
    const std::string& dir() const { return dir_; }
    std::string file(const std::string& name) const { return dir_ + "/" + name; }
    // Where a picture named `name` is kept for people to look at: test-shots/<name>.png in
    // the build tree; a path in the private folder when `name` is empty.
    std::string shotPath(const std::string& name) const;

protected:
    HeadlessCompositor() = default;

    // Makes the private folder (zorvan-<prefix>-XXXXXX in the temporary folder) with
    // runtime/ and home/, owned by the user the compositor runs as; false with why().
    // First checks that `tools` are installed.
    bool prepare(const std::string& prefix, std::initializer_list<const char*> tools);
    // Writes a file in the private folder that the compositor may read; its path.
    std::string writeFile(const std::string& name, const std::string& text);
    // Starts `program` with `args` as the compositor (its own process group, its output
    // in compositor.log), with PATH, HOME, XDG_RUNTIME_DIR and XDG_CONFIG_HOME set and
    // `env` added to them; then waits up to `seconds` for a Wayland socket in the
    // runtime folder (`socket` when given, else the first wayland-N). False with why().
    bool launch(const std::string& program, const std::vector<std::string>& args, const std::vector<std::string>& env,
                double seconds, const std::string& socket = "");
    // launch() inside a session bus of its own (dbus-run-session), whose address bus()
    // then gives.
    bool launchOnBus(const std::vector<std::string>& command, const std::vector<std::string>& env, double seconds,
                     const std::string& socket = "");
    // The session bus's address; empty until it is known.
    std::string bus() const;
    // A picture through grim (wlroots' screencopy), of the output or region that `where`
    // names (grim's options; all outputs when empty), kept as screenshot() keeps it.
    Shot grim(const std::vector<std::string>& where, const std::string& name);
    // Runs a D-Bus call through gdbus (its arguments after "call --session") on that bus,
    // as the compositor's user: the bus takes no one else. Its stdout is read into the
    // result; `setup` may redirect nothing but may carry more environment.
    int startBusCall(const std::vector<std::string>& args, ChildSetup& setup) const;
    // Runs such a call to its end (at most 10 s); a failure also goes to error().
    ProcessResult busCall(const std::vector<std::string>& args) const;

    // Runs wtype with `args` after its pause; false with error() naming `what`.
    bool wtype(std::vector<std::string> args, const std::string& what);

    std::string dir_, runtime_, home_, display_, why_, busFile_;
    mutable std::string error_;
    std::vector<std::string> clientEnv_;  // more entries for clients (SWAYSOCK, ...)
    DaemonUser user_;
    std::optional<TempDir> folder_;  // the private folder, removed once all has ended
    int compositor_ = -1;
    std::vector<std::pair<int, bool>> clients_;  // pid, and whether it leads its own group
    mutable int runs_ = 0;
};

}  // namespace zorvan::test
