#include "host/backends/wayland/WaylandSeat.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cmath>

namespace zorvan::host {

namespace {

// Pointer motion beyond this many points ends a full-screen run, as on X11.
constexpr double MOTION_SLACK = 10.0;

WaylandSeat* seatOf(void* data) { return static_cast<WaylandSeat*>(data); }

const wl_seat_listener seatListener = {
    [](void* data, wl_seat*, uint32_t caps) { seatOf(data)->capabilities(caps); },
    [](void*, wl_seat*, const char*) {},
};

const wl_keyboard_listener keyboardListener = {
    [](void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        seatOf(data)->keymap(format, fd, size);
    },
    [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
    [](void* data, wl_keyboard*, uint32_t, wl_surface*) { seatOf(data)->stopRepeat(); },
    [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) { seatOf(data)->key(key, state); },
    [](void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group) {
        seatOf(data)->modifiers(depressed, latched, locked, group);
    },
    [](void* data, wl_keyboard*, int32_t rate, int32_t delay) { seatOf(data)->repeatInfo(rate, delay); },
};

// Set by name: libwayland 1.22 added an event of wl_pointer version 9, which a seat
// bound at version 5 never gets.
const wl_pointer_listener pointerListener = [] {
    wl_pointer_listener l{};
    l.enter = [](void* data, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t, wl_fixed_t) {
        seatOf(data)->pointerEntered(serial, surface);
    };
    l.leave = [](void*, wl_pointer*, uint32_t, wl_surface*) {};
    l.motion = [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
        seatOf(data)->pointerAt(wl_fixed_to_double(x), wl_fixed_to_double(y));
    };
    l.button = [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
        if (state == WL_POINTER_BUTTON_STATE_PRESSED) seatOf(data)->pressed();
    };
    l.axis = [](void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) { seatOf(data)->pressed(); };
    l.frame = [](void*, wl_pointer*) {};
    l.axis_source = [](void*, wl_pointer*, uint32_t) {};
    l.axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {};
    l.axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {};
    l.axis_value120 = [](void*, wl_pointer*, uint32_t, int32_t) {};
    return l;
}();

}  // namespace

WaylandSeat::WaylandSeat(wl_seat* seat, Ends ends, SurfaceOrigin origin)
    : seat_(seat), ends_(ends), origin_(std::move(origin)) {
    wl_seat_add_listener(seat_, &seatListener, this);
}

WaylandSeat::~WaylandSeat() {
    if (keyboard_) wl_keyboard_destroy(keyboard_);
    if (pointer_) wl_pointer_destroy(pointer_);
    if (keyState_) xkb_state_unref(keyState_);
    if (keymap_) xkb_keymap_unref(keymap_);
    if (xkb_) xkb_context_unref(xkb_);
    wl_seat_destroy(seat_);
}

void WaylandSeat::capabilities(unsigned caps) {
    const bool keyboard = caps & WL_SEAT_CAPABILITY_KEYBOARD, pointer = caps & WL_SEAT_CAPABILITY_POINTER;
    if (keyboard && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &keyboardListener, this);
    } else if (!keyboard && keyboard_) {
        wl_keyboard_release(keyboard_);
        keyboard_ = nullptr;
    }
    if (pointer && !pointer_) {
        pointer_ = wl_seat_get_pointer(seat_);
        wl_pointer_add_listener(pointer_, &pointerListener, this);
    } else if (!pointer && pointer_) {
        wl_pointer_release(pointer_);
        pointer_ = nullptr;
    }
}

// Only a window and the lock screen read keys by their meaning; any key ends a full-screen
// run.
void WaylandSeat::keymap(unsigned format, int fd, unsigned size) {
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && (ends_ == Ends::EscapeOrQ || sink_)) {
        void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (text != MAP_FAILED) {
            if (!xkb_) xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
            xkb_keymap* map = xkb_ ? xkb_keymap_new_from_string(xkb_, static_cast<const char*>(text),
                                                                XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS)
                                   : nullptr;
            munmap(text, size);
            if (map) {
                if (keyState_) xkb_state_unref(keyState_);
                if (keymap_) xkb_keymap_unref(keymap_);
                keymap_ = map;
                keyState_ = xkb_state_new(map);
            }
        }
    }
    close(fd);
}

void WaylandSeat::key(unsigned code, unsigned state) {
    if (state != WL_KEYBOARD_KEY_STATE_PRESSED) {
        if (code + 8 == repeatKey_) stopRepeat();
        return;
    }
    // Evdev codes are the keymap's less 8.
    if (sink_ && keyState_) {
        sink_(keyState_, code + 8);
        // A key held goes to the sink again after the delay, then at the rate.
        stopRepeat();
        if (repeatRate_ > 0 && xkb_keymap_key_repeats(keymap_, code + 8)) {
            repeatKey_ = code + 8;
            nextRepeat_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(repeatDelay_);
        }
    }
    if (ends_ == Ends::Nothing) return;
    if (ends_ == Ends::AnyInput) {
        ended_ = true;
        return;
    }
    const xkb_keysym_t sym = keyState_ ? xkb_state_key_get_one_sym(keyState_, code + 8) : XKB_KEY_NoSymbol;
    if (sym == XKB_KEY_Escape || sym == XKB_KEY_q || sym == XKB_KEY_Q) ended_ = true;
}

void WaylandSeat::repeatInfo(int rate, int delay) {
    repeatRate_ = std::max(0, rate);
    repeatDelay_ = std::max(0, delay);
    if (repeatRate_ == 0) stopRepeat();
}

void WaylandSeat::stopRepeat() {
    repeatKey_ = 0;
    nextRepeat_.reset();
}

void WaylandSeat::repeatKeys(std::chrono::steady_clock::time_point now) {
    // Repeats missed in a stall are not caught up: one, then on from now.
    if (!nextRepeat_ || now < *nextRepeat_ || !sink_ || !keyState_) return;
    sink_(keyState_, repeatKey_);
    if (nextRepeat_) nextRepeat_ = std::max(*nextRepeat_, now) + std::chrono::microseconds(1000000 / repeatRate_);
}

void WaylandSeat::modifiers(unsigned depressed, unsigned latched, unsigned locked, unsigned group) {
    if (!keyState_) return;
    xkb_state_update_mask(keyState_, depressed, latched, locked, 0, 0, group);
    if (sink_) sink_(keyState_, 0);
}

// An enter is never motion, and its position is no start for it: the pointer may come
// to a surface because another went (its output removed) or the outputs moved, and a
// compositor may give a surface that is still being shown (mutter's map animation) a
// position off by a hundred points. Motion counts from the first motion event after it.
void WaylandSeat::pointerEntered(unsigned serial, wl_surface* surface) {
    pointerSurface_ = surface;
    if (pointerSink_) pointerSink_(surface);
    if (ends_ != Ends::AnyInput) return;
    wl_pointer_set_cursor(pointer_, serial, nullptr, 0, 0);  // a full-screen run shows no pointer
    pointerSeen_ = false;
}

void WaylandSeat::pointerAt(double x, double y) {
    if (ends_ != Ends::AnyInput) return;
    double originX = 0.0, originY = 0.0;
    origin_(pointerSurface_, originX, originY);
    x += originX;
    y += originY;
    if (!pointerSeen_) {
        pointerSeen_ = true;
        pointerX_ = x;
        pointerY_ = y;
    } else if (std::abs(x - pointerX_) > MOTION_SLACK || std::abs(y - pointerY_) > MOTION_SLACK) {
        ended_ = true;
    }
}

void WaylandSeat::pressed() {
    if (ends_ == Ends::AnyInput) ended_ = true;
}

}  // namespace zorvan::host
