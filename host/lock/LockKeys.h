// What a key press does on the lock screen, read through the keyboard's keymap state
// (xkbcommon): a typed character goes into the password, Backspace takes the last one
// back, Escape and Ctrl+U clear it, Enter asks for the check. Dead keys and compose
// sequences make their character through the locale's compose table (xkbcommon's, from
// LC_ALL, LC_CTYPE or LANG), where there is one. The text of a key passes through a small
// buffer on the stack, zeroed at once.
// Does not implement: key repeat, what the check does (the caller's).
#pragma once

#include "host/lock/Password.h"

struct xkb_state;
struct xkb_compose_table;
struct xkb_compose_state;

namespace zorvan::lock {

enum class KeyAction {
    None,     // nothing changed (a modifier, a refused character, Backspace on nothing,
              // a key within a compose sequence)
    Typed,    // a character went into the password
    Erased,   // the last character went
    Cleared,  // the whole password went
    Submit,   // Enter: check the password
};

class LockKeys {
public:
    LockKeys();  // the compose table of the locale; none when it has none
    ~LockKeys();
    LockKeys(const LockKeys&) = delete;
    LockKeys& operator=(const LockKeys&) = delete;

    // Applies the key of `keycode` (the evdev code + 8) as `state` reads it.
    KeyAction apply(xkb_state* state, unsigned keycode, Password& password);

private:
    xkb_compose_table* table_ = nullptr;
    xkb_compose_state* compose_ = nullptr;
};

}  // namespace zorvan::lock
