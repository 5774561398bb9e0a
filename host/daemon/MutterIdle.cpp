// Idle time from GNOME: mutter's org.gnome.Mutter.IdleMonitor on the session bus
// (/org/gnome/Mutter/IdleMonitor/Core), on Wayland and X11 alike.
// Implements: an idle watch counted from now (AddIdleWatch at the current idle time plus
// the wait), a user-active watch after it fires, the watches removed when re-armed, and
// the monitor leaving the bus as lost(). mutter itself pauses its idle watches while
// gnome-session inhibits idle (InhibitedActions flag 8): nothing to do here for that.
// Not implemented: anything on other desktops.
#include "host/daemon/MutterIdle.h"

#include <gio/gio.h>

namespace zorvan::daemon {

namespace {

const char NAME[] = "org.gnome.Mutter.IdleMonitor";
const char PATH[] = "/org/gnome/Mutter/IdleMonitor/Core";

class MutterIdle : public IdleSource {
public:
    MutterIdle(GDBusConnection* bus, IdleSource::Events events) : bus_(bus), events_(std::move(events)) {
        // WatchFired goes to the caller alone, from the monitor's unique name.
        fired_ = g_dbus_connection_signal_subscribe(bus_, NAME, NAME, "WatchFired", PATH, nullptr,
                                                    G_DBUS_SIGNAL_FLAGS_NONE, &MutterIdle::onFired, this, nullptr);
        watch_ = g_bus_watch_name_on_connection(bus_, NAME, G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr,
                                                &MutterIdle::onVanished, this, nullptr);
    }
    ~MutterIdle() override {
        g_bus_unwatch_name(watch_);
        g_dbus_connection_signal_unsubscribe(bus_, fired_);
        drop(idleWatch_);
        drop(activeWatch_);
        g_object_unref(bus_);
    }

    std::string name() const override { return "GNOME's idle monitor"; }
    bool gnome() const override { return true; }

    void arm(unsigned ms) override {
        drop(idleWatch_);
        drop(activeWatch_);
        guint64 now = 0;
        if (GVariant* reply = call("GetIdletime", nullptr, "(t)")) {
            g_variant_get(reply, "(t)", &now);
            g_variant_unref(reply);
        }
        idleWatch_ = add("AddIdleWatch", g_variant_new("(t)", now + ms));
    }

private:
    GVariant* call(const char* method, GVariant* args, const char* replyType) {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(bus_, NAME, PATH, NAME, method, args,
                                                      replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                                      G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &error);
        if (error) g_error_free(error);
        return reply;
    }
    guint add(const char* method, GVariant* args) {
        guint id = 0;
        if (GVariant* reply = call(method, args, "(u)")) {
            g_variant_get(reply, "(u)", &id);
            g_variant_unref(reply);
        }
        return id;
    }
    void drop(guint& id) {
        if (id == 0) return;
        if (GVariant* reply = call("RemoveWatch", g_variant_new("(u)", id), nullptr)) g_variant_unref(reply);
        id = 0;
    }

    static void onFired(GDBusConnection*, const char*, const char*, const char*, const char*, GVariant* params,
                        gpointer self) {
        auto* me = static_cast<MutterIdle*>(self);
        guint id = 0;
        g_variant_get(params, "(u)", &id);
        if (id != 0 && id == me->idleWatch_) {
            me->drop(me->idleWatch_);
            me->activeWatch_ = me->add("AddUserActiveWatch", nullptr);
            me->events_.idle();
        } else if (id != 0 && id == me->activeWatch_) {
            me->activeWatch_ = 0;  // a user-active watch fires once and is gone
            me->events_.active();
        }
    }
    static void onVanished(GDBusConnection*, const char*, gpointer self) {
        auto* me = static_cast<MutterIdle*>(self);
        me->idleWatch_ = me->activeWatch_ = 0;
        me->events_.lost("GNOME's idle monitor left the session bus (mutter ended or restarted)");
    }

    GDBusConnection* bus_;
    IdleSource::Events events_;
    guint fired_ = 0, watch_ = 0, idleWatch_ = 0, activeWatch_ = 0;
};

}  // namespace

std::unique_ptr<IdleSource> openMutterIdle(IdleSource::Events events) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return nullptr;
    // A bus that goes away is mutter's end, told in one line, not a silent SIGTERM.
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    gboolean owned = FALSE;
    if (GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
            g_variant_new("(s)", NAME), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr)) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    if (!owned) {
        g_object_unref(bus);
        return nullptr;
    }
    return std::make_unique<MutterIdle>(bus, std::move(events));
}

}  // namespace zorvan::daemon
