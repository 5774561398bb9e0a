#include "host/lock/LockKeys.h"

#include <xkbcommon/xkbcommon.h>

#include <string.h>

namespace zorvan::lock {

KeyAction applyKey(xkb_state* state, unsigned keycode, Password& password) {
    const xkb_keysym_t sym = xkb_state_key_get_one_sym(state, keycode);
    switch (sym) {
    case XKB_KEY_Return:
    case XKB_KEY_KP_Enter:
    case XKB_KEY_ISO_Enter:
        return KeyAction::Submit;
    case XKB_KEY_BackSpace:
        return password.removeLast() ? KeyAction::Erased : KeyAction::None;
    case XKB_KEY_Escape:
        password.clear();
        return KeyAction::Cleared;
    default:
        break;
    }
    if (xkb_state_mod_name_is_active(state, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0) {
        if (sym == XKB_KEY_u || sym == XKB_KEY_U) {
            password.clear();
            return KeyAction::Cleared;
        }
        return KeyAction::None;  // no other shortcut types anything
    }
    // One key gives a character or a few; Password refuses control characters.
    char text[64];
    const int size = xkb_state_key_get_utf8(state, keycode, text, sizeof text);
    const bool typed = size > 0 && size < int(sizeof text) && password.append({text, size_t(size)});
    explicit_bzero(text, sizeof text);
    return typed ? KeyAction::Typed : KeyAction::None;
}

}  // namespace zorvan::lock
