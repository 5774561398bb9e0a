// What a key press does on the lock screen, read through the keyboard's keymap state
// (xkbcommon): a typed character goes into the password, Backspace takes the last one
// back, Escape and Ctrl+U clear it, Enter asks for the check. The text of a key passes
// through a small buffer on the stack, zeroed at once. Does not implement: compose and
// dead keys, key repeat, what the check does (the caller's).
#pragma once

#include "host/lock/Password.h"

struct xkb_state;

namespace zorvan::lock {

enum class KeyAction {
    None,     // nothing changed (a modifier, a refused character, Backspace on nothing)
    Typed,    // a character went into the password
    Erased,   // the last character went
    Cleared,  // the whole password went
    Submit,   // Enter: check the password
};

// Applies the key of `keycode` (the evdev code + 8) as `state` reads it.
KeyAction applyKey(xkb_state* state, unsigned keycode, Password& password);

}  // namespace zorvan::lock
