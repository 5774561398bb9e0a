// GNOME's idle-delay through GSettings (looked up first: a missing schema would abort),
// followed through its change signal; Plasma's kscreenlockerrc read with GKeyFile.
// Implements: both desktops' own lock times. Not implemented: other desktops' lockers
// (sway's swayidle, xss-lock), whose times the user sets alongside ours.
#include "host/daemon/DesktopLockTiming.h"

#include "platform/prefs/ScreenSaverDefaults.h"

#include <gio/gio.h>

#include <algorithm>
#include <cstring>

namespace zorvan::daemon {

struct DesktopLockTiming::Impl {
    GSettings* settings = nullptr;
    std::function<void()> changed;
};

DesktopLockTiming::DesktopLockTiming(bool gnome, std::function<void()> changed) : impl_(std::make_unique<Impl>()) {
    impl_->changed = std::move(changed);
    if (!gnome) return;
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source ? g_settings_schema_source_lookup(source, "org.gnome.desktop.session", TRUE) : nullptr;
    if (!schema) return;
    if (g_settings_schema_has_key(schema, "idle-delay")) {
        impl_->settings = g_settings_new_full(schema, nullptr, nullptr);
        g_signal_connect(impl_->settings, "changed::idle-delay",
                         G_CALLBACK(+[](GSettings*, const char*, gpointer impl) {
                             auto* me = static_cast<Impl*>(impl);
                             if (me->changed) me->changed();
                         }),
                         impl_.get());
        // A GSettings object tells of changes only to keys that were read once.
        g_settings_get_uint(impl_->settings, "idle-delay");
    }
    g_settings_schema_unref(schema);
}

DesktopLockTiming::~DesktopLockTiming() {
    if (impl_->settings) g_object_unref(impl_->settings);
}

std::optional<DesktopLockTiming::Lock> DesktopLockTiming::desktopLock() const {
    if (impl_->settings) {
        const guint delay = g_settings_get_uint(impl_->settings, "idle-delay");
        if (delay == 0) return std::nullopt;
        return Lock{int(std::min<guint>(delay, 24 * 3600)), "GNOME"};
    }
    const char* desktop = g_getenv("XDG_CURRENT_DESKTOP");
    if (!desktop || !std::strstr(desktop, "KDE")) return std::nullopt;
    GKeyFile* file = g_key_file_new();
    // Plasma's defaults hold where the file or a key is missing.
    bool autolock = true;
    int minutes = 5;
    if (g_key_file_load_from_file(file, (ScreenSaverDefaults::configFolder() + "/kscreenlockerrc").c_str(), G_KEY_FILE_NONE, nullptr)) {
        GError* error = nullptr;
        const gboolean on = g_key_file_get_boolean(file, "Daemon", "Autolock", &error);
        if (!error) autolock = on;
        else g_clear_error(&error);
        const int timeout = g_key_file_get_integer(file, "Daemon", "Timeout", &error);
        if (!error && timeout > 0) minutes = timeout;
        g_clear_error(&error);
    }
    g_key_file_free(file);
    if (!autolock) return std::nullopt;
    return Lock{std::min(minutes, 24 * 60) * 60, "Plasma"};
}

int DesktopLockTiming::saverAfter(int chosen, const std::optional<Lock>& lock) {
    if (!lock) return chosen;
    const int latest = lock->seconds >= 2 * SEEN_BEFORE_LOCK ? lock->seconds - SEEN_BEFORE_LOCK : std::max(1, lock->seconds / 2);
    return std::min(chosen, latest);
}

}  // namespace zorvan::daemon
