// The seat of a Wayland run: its keyboard and pointer, and whether what came through
// them ends the run.
// Implements: for a full-screen run, any key, button or scroll, or pointer motion
// beyond the slack from where the pointer first moved on the surface it is on (in the
// compositor's logical space; an enter is never motion), with the pointer hidden over
// the run's surfaces; for a
// window, Esc or q as the keyboard's keymap reads them (xkbcommon); for the wallpaper,
// nothing; for the lock screen, nothing either, each key press going to a key sink with
// the keymap's state (the compositor's keymap, and each new one it sends), a key held
// repeated at the compositor's rate and delay (when repeatKeys is called), and each
// surface the pointer enters to a pointer sink. Keyboards and pointers that come and go with the seat's capabilities.
// Does not implement: more than one seat, touch, keys held when the run starts (only
// presses after it count).
#pragma once

#include <chrono>
#include <functional>
#include <optional>

struct wl_seat;
struct wl_surface;
struct wl_keyboard;
struct wl_pointer;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace zorvan::host {

class WaylandSeat {
public:
    enum class Ends { Nothing, AnyInput, EscapeOrQ };
    // Is given each key press with the state that reads it (evdev code + 8 is its
    // keycode), and each change of the modifiers or the layout with keycode 0; none while
    // no keymap has come.
    using KeySink = std::function<void(xkb_state*, unsigned keycode)>;
    // Is told of each surface the pointer enters.
    using PointerSink = std::function<void(wl_surface*)>;
    // Where a surface's top-left corner lies in the compositor's logical space.
    using SurfaceOrigin = std::function<void(wl_surface*, double& x, double& y)>;

    // Takes over `seat`, bound by the caller.
    WaylandSeat(wl_seat* seat, Ends ends, SurfaceOrigin origin);
    ~WaylandSeat();
    WaylandSeat(const WaylandSeat&) = delete;
    WaylandSeat& operator=(const WaylandSeat&) = delete;

    // Key presses go to `sink` (with Ends::Nothing: the lock screen's keys end nothing).
    void setKeySink(KeySink sink) { sink_ = std::move(sink); }
    void setPointerSink(PointerSink sink) { pointerSink_ = std::move(sink); }

    // Whether the input so far ends the run.
    bool ended() const { return ended_; }

    // When a key held is next repeated to the key sink (none: no key held), and the
    // repeats due by `now`.
    std::optional<std::chrono::steady_clock::time_point> nextRepeat() const { return nextRepeat_; }
    void repeatKeys(std::chrono::steady_clock::time_point now);

    // The listeners' handlers.
    void capabilities(unsigned caps);
    void keymap(unsigned format, int fd, unsigned size);
    void key(unsigned code, unsigned state);
    void modifiers(unsigned depressed, unsigned latched, unsigned locked, unsigned group);
    void repeatInfo(int rate, int delay);
    void stopRepeat();
    void pointerEntered(unsigned serial, wl_surface* surface);
    void pointerAt(double x, double y);
    void pressed();

private:
    wl_seat* seat_;
    const Ends ends_;
    SurfaceOrigin origin_;
    KeySink sink_;
    PointerSink pointerSink_;
    wl_keyboard* keyboard_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    xkb_context* xkb_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    xkb_state* keyState_ = nullptr;
    wl_surface* pointerSurface_ = nullptr;
    bool pointerSeen_ = false;
    double pointerX_ = 0.0, pointerY_ = 0.0;
    bool ended_ = false;
    int repeatRate_ = 25, repeatDelay_ = 600;  // per second, and ms: the usual until told
    unsigned repeatKey_ = 0;
    std::optional<std::chrono::steady_clock::time_point> nextRepeat_;
};

}  // namespace zorvan::host
