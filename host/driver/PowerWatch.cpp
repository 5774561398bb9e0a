#include "host/driver/PowerWatch.h"

#include <gio/gio.h>

#include <cstring>

namespace zorvan::host {

namespace {

// The objects watched: bus name, object path and interface (each interface names one).
struct Watched {
    const char* name;
    const char* path;
    const char* interface;
};
enum { UPOWER, DISPLAY_DEVICE, PROFILES, PROFILES_OLD, WATCHED_COUNT };
constexpr Watched WATCHED[WATCHED_COUNT] = {
    {"org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower"},
    {"org.freedesktop.UPower", "/org/freedesktop/UPower/devices/DisplayDevice", "org.freedesktop.UPower.Device"},
    {"org.freedesktop.UPower.PowerProfiles", "/org/freedesktop/UPower/PowerProfiles",
     "org.freedesktop.UPower.PowerProfiles"},
    {"net.hadess.PowerProfiles", "/net/hadess/PowerProfiles", "net.hadess.PowerProfiles"},
};

// UPower's device kinds that hold a charge: a battery and a UPS.
constexpr guint32 KIND_BATTERY = 2, KIND_UPS = 3;

// How long the end waits for requests still on their way to come back cancelled.
constexpr gint64 DRAIN_MICROS = 500 * 1000;

// A property from a proxy's cache when it has the type `type`; null otherwise.
GVariant* cached(GDBusProxy* proxy, const char* name, const GVariantType* type) {
    if (!proxy) return nullptr;
    GVariant* value = g_dbus_proxy_get_cached_property(proxy, name);
    if (value && !g_variant_is_of_type(value, type)) {
        g_variant_unref(value);
        return nullptr;
    }
    return value;
}

template <typename T>
void readInto(GDBusProxy* proxy, const char* name, const char* type, T& out) {
    if (GVariant* value = cached(proxy, name, G_VARIANT_TYPE(type))) {
        g_variant_get(value, type, &out);
        g_variant_unref(value);
    }
}

}  // namespace

struct PowerWatch::Impl {
    GMainContext* context = g_main_context_new();
    GCancellable* cancel = g_cancellable_new();
    GDBusConnection* bus = nullptr;
    GDBusProxy* proxies[WATCHED_COUNT] = {};
    int pending = 0;  // requests whose answer has not come back
    PowerState state;

    // Dispatches what has come, on this thread, without waiting.
    void iterate() {
        g_main_context_push_thread_default(context);
        while (g_main_context_iteration(context, FALSE)) {
        }
        g_main_context_pop_thread_default(context);
    }

    // The state again from the proxies' caches (a daemon that has gone has none).
    void refresh() {
        PowerState s;
        gboolean onBattery = FALSE, present = FALSE;
        guint32 kind = 0, warning = 0;
        double percentage = 100.0;
        readInto(proxies[UPOWER], "OnBattery", "b", onBattery);
        readInto(proxies[DISPLAY_DEVICE], "IsPresent", "b", present);
        readInto(proxies[DISPLAY_DEVICE], "Type", "u", kind);
        readInto(proxies[DISPLAY_DEVICE], "Percentage", "d", percentage);
        readInto(proxies[DISPLAY_DEVICE], "WarningLevel", "u", warning);
        s.onBattery = onBattery;
        s.battery = present && (kind == KIND_BATTERY || kind == KIND_UPS);
        s.percentage = percentage;
        s.warningLevel = warning;
        for (int i : {PROFILES, PROFILES_OLD}) {
            if (GVariant* profile = cached(proxies[i], "ActiveProfile", G_VARIANT_TYPE_STRING)) {
                s.profile = g_variant_get_string(profile, nullptr);
                g_variant_unref(profile);
                break;
            }
        }
        state = s;
    }

    static void propertiesChanged(GDBusProxy*, GVariant*, GStrv, gpointer data) {
        static_cast<Impl*>(data)->refresh();
    }
    static void ownerChanged(GObject*, GParamSpec*, gpointer data) { static_cast<Impl*>(data)->refresh(); }

    static void proxyMade(GObject*, GAsyncResult* result, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        --self->pending;
        GError* error = nullptr;
        GDBusProxy* proxy = g_dbus_proxy_new_finish(result, &error);
        if (!proxy) {
            g_error_free(error);
            return;
        }
        const char* interface = g_dbus_proxy_get_interface_name(proxy);
        for (int i = 0; i < WATCHED_COUNT; ++i) {
            if (std::strcmp(interface, WATCHED[i].interface) != 0 || self->proxies[i]) continue;
            self->proxies[i] = proxy;
            g_signal_connect(proxy, "g-properties-changed", G_CALLBACK(propertiesChanged), self);
            g_signal_connect(proxy, "notify::g-name-owner", G_CALLBACK(ownerChanged), self);
            self->refresh();
            return;
        }
        g_object_unref(proxy);
    }

    static void connected(GObject*, GAsyncResult* result, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        --self->pending;
        GError* error = nullptr;
        self->bus = g_dbus_connection_new_for_address_finish(result, &error);
        if (!self->bus) {
            g_error_free(error);  // no system bus: mains power, silently
            return;
        }
        if (g_cancellable_is_cancelled(self->cancel)) return;
        // A daemon that is not running now is followed from when it starts; none is
        // started for this.
        for (const Watched& w : WATCHED) {
            ++self->pending;
            g_dbus_proxy_new(self->bus,
                             GDBusProxyFlags(G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START |
                                             G_DBUS_PROXY_FLAGS_GET_INVALIDATED_PROPERTIES),
                             nullptr, w.name, w.path, w.interface, self->cancel, proxyMade, self);
        }
    }
};

PowerWatch::PowerWatch() : impl_(std::make_unique<Impl>()) {
    // The address alone (DBUS_SYSTEM_BUS_ADDRESS, else the usual socket); a private
    // connection, so that nothing of it outlives the watch.
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    if (!address) return;
    g_main_context_push_thread_default(impl_->context);
    ++impl_->pending;
    g_dbus_connection_new_for_address(
        address,
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, impl_->cancel, Impl::connected, impl_.get());
    g_main_context_pop_thread_default(impl_->context);
    g_free(address);
}

PowerWatch::~PowerWatch() {
    Impl& w = *impl_;
    g_cancellable_cancel(w.cancel);
    const gint64 until = g_get_monotonic_time() + DRAIN_MICROS;
    while (w.pending > 0 && g_get_monotonic_time() < until) {
        w.iterate();
        if (w.pending > 0) g_usleep(1000);
    }
    for (GDBusProxy*& proxy : w.proxies) {
        if (!proxy) continue;
        g_signal_handlers_disconnect_by_data(proxy, &w);
        g_object_unref(proxy);
        proxy = nullptr;
    }
    if (w.bus) g_object_unref(w.bus);
    w.iterate();  // what the proxies' ends left on the context
    g_object_unref(w.cancel);
    g_main_context_unref(w.context);
}

const PowerState& PowerWatch::poll() {
    impl_->iterate();
    return impl_->state;
}

}  // namespace zorvan::host
