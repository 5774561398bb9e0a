#include "host/lock/LockKeys.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <string.h>

#include <cstdlib>
#include <optional>

namespace zorvan::lock {

namespace {

// The locale as the C library would pick it for characters.
const char* locale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(name); value && *value) return value;
    return "C";
}

// Appends the text that `get` writes into a stack buffer, then zeroes the buffer.
template <typename Get>
bool appendText(Password& password, Get get) {
    char text[64];
    const int size = get(text, sizeof text);
    const bool typed = size > 0 && size < int(sizeof text) && password.append({text, size_t(size)});
    explicit_bzero(text, sizeof text);
    return typed;
}

}  // namespace

LockKeys::LockKeys() {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) return;
    table_ = xkb_compose_table_new_from_locale(context, locale(), XKB_COMPOSE_COMPILE_NO_FLAGS);
    if (table_) compose_ = xkb_compose_state_new(table_, XKB_COMPOSE_STATE_NO_FLAGS);
    xkb_context_unref(context);
}

LockKeys::~LockKeys() {
    if (compose_) xkb_compose_state_unref(compose_);
    if (table_) xkb_compose_table_unref(table_);
}

KeyAction LockKeys::apply(xkb_state* state, unsigned keycode, Password& password) {
    const xkb_keysym_t sym = xkb_state_key_get_one_sym(state, keycode);
    auto special = [&]() -> std::optional<KeyAction> {
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
            if (sym != XKB_KEY_u && sym != XKB_KEY_U) return KeyAction::None;  // no other shortcut types
            password.clear();
            return KeyAction::Cleared;
        }
        return std::nullopt;
    };
    if (const std::optional<KeyAction> action = special()) {
        if (compose_) xkb_compose_state_reset(compose_);  // a special key ends a sequence
        return *action;
    }
    if (compose_ && xkb_compose_state_feed(compose_, sym) == XKB_COMPOSE_FEED_ACCEPTED) {
        switch (xkb_compose_state_get_status(compose_)) {
        case XKB_COMPOSE_COMPOSING:
            return KeyAction::None;
        case XKB_COMPOSE_CANCELLED:
            xkb_compose_state_reset(compose_);
            return KeyAction::None;
        case XKB_COMPOSE_COMPOSED: {
            const bool typed = appendText(password, [&](char* text, size_t size) {
                return xkb_compose_state_get_utf8(compose_, text, size);
            });
            xkb_compose_state_reset(compose_);
            return typed ? KeyAction::Typed : KeyAction::None;
        }
        case XKB_COMPOSE_NOTHING:
            break;
        }
    }
    // One key gives a character or a few; Password refuses control characters.
    return appendText(password, [&](char* text, size_t size) {
        return xkb_state_key_get_utf8(state, keycode, text, size);
    }) ? KeyAction::Typed : KeyAction::None;
}

}  // namespace zorvan::lock
