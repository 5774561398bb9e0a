// Idle time from a Wayland compositor: ext_idle_notifier_v1 where offered (KWin, sway from
// 1.8), else KDE's org_kde_kwin_idle (sway 1.7), on the first seat. The compositor applies
// the idle inhibitors of visible surfaces itself.
// Implements: one notification at a time, made afresh at each arm() (its timer starts when
// it is made), idled/resumed as idle()/active(), the display's events read on the GLib
// main loop, a compositor that goes away as lost(), and whether it offers the session
// lock (the global is noted, not bound: zorvan --lock binds it).
// Not implemented: more than one seat (the daemon watches the first).
#include "host/daemon/WaylandIdle.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"

#include <glib-unix.h>
#include <glib.h>
#include <wayland-client.h>

#include <cstring>

namespace zorvan::daemon {

namespace {

class WaylandIdle : public IdleSource {
public:
    WaylandIdle(wl_display* display, IdleSource::Events events) : display_(display), events_(std::move(events)) {}
    ~WaylandIdle() override {
        if (source_) g_source_remove(source_);
        dropNotification();
        if (notifier_) ext_idle_notifier_v1_destroy(notifier_);
        if (kde_) org_kde_kwin_idle_destroy(kde_);
        if (seat_) wl_seat_destroy(seat_);
        if (registry_) wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
    }

    // Binds the globals; false when an idle protocol or a seat is missing.
    bool start() {
        registry_ = wl_display_get_registry(display_);
        static const wl_registry_listener listener = {.global = &WaylandIdle::onGlobal,
                                                      .global_remove = [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry_, &listener, this);
        if (wl_display_roundtrip(display_) < 0) return false;
        if (!seat_ || (!notifier_ && !kde_)) return false;
        source_ = g_unix_fd_add(wl_display_get_fd(display_), GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                &WaylandIdle::onReadable, this);
        return true;
    }

    bool sessionLock() const override { return sessionLock_; }

    std::string name() const override {
        return notifier_ ? "the compositor's ext-idle-notify" : "the compositor's org_kde_kwin_idle";
    }

    void arm(unsigned ms) override {
        dropNotification();
        if (notifier_) {
            notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, ms, seat_);
            static const ext_idle_notification_v1_listener listener = {
                .idled = [](void* self, ext_idle_notification_v1*) { static_cast<WaylandIdle*>(self)->events_.idle(); },
                .resumed = [](void* self, ext_idle_notification_v1*) { static_cast<WaylandIdle*>(self)->events_.active(); },
            };
            ext_idle_notification_v1_add_listener(notification_, &listener, this);
        } else {
            timeout_ = org_kde_kwin_idle_get_idle_timeout(kde_, seat_, ms);
            static const org_kde_kwin_idle_timeout_listener listener = {
                .idle = [](void* self, org_kde_kwin_idle_timeout*) { static_cast<WaylandIdle*>(self)->events_.idle(); },
                .resumed = [](void* self, org_kde_kwin_idle_timeout*) { static_cast<WaylandIdle*>(self)->events_.active(); },
            };
            org_kde_kwin_idle_timeout_add_listener(timeout_, &listener, this);
        }
        wl_display_flush(display_);
    }

private:
    void dropNotification() {
        if (notification_) ext_idle_notification_v1_destroy(notification_);
        if (timeout_) org_kde_kwin_idle_timeout_release(timeout_);
        notification_ = nullptr;
        timeout_ = nullptr;
    }

    static void onGlobal(void* self, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        auto* me = static_cast<WaylandIdle*>(self);
        if (!std::strcmp(interface, ext_idle_notifier_v1_interface.name) && !me->notifier_)
            me->notifier_ = static_cast<ext_idle_notifier_v1*>(
                wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
        else if (!std::strcmp(interface, org_kde_kwin_idle_interface.name) && !me->kde_)
            me->kde_ = static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
        else if (!std::strcmp(interface, wl_seat_interface.name) && !me->seat_)
            me->seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (!std::strcmp(interface, "ext_session_lock_manager_v1"))
            me->sessionLock_ = true;
    }

    static gboolean onReadable(int, GIOCondition condition, gpointer self) {
        auto* me = static_cast<WaylandIdle*>(self);
        if ((condition & G_IO_IN) && wl_display_dispatch(me->display_) >= 0) {
            wl_display_flush(me->display_);
            return G_SOURCE_CONTINUE;
        }
        me->source_ = 0;
        me->events_.lost("the Wayland compositor went away");
        return G_SOURCE_REMOVE;
    }

    wl_display* display_;
    IdleSource::Events events_;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    ext_idle_notifier_v1* notifier_ = nullptr;
    org_kde_kwin_idle* kde_ = nullptr;
    ext_idle_notification_v1* notification_ = nullptr;
    org_kde_kwin_idle_timeout* timeout_ = nullptr;
    guint source_ = 0;
    bool sessionLock_ = false;
};

}  // namespace

std::unique_ptr<IdleSource> openWaylandIdle(IdleSource::Events events, std::string& why) {
    const char* name = g_getenv("WAYLAND_DISPLAY");
    if (!name || !*name) return nullptr;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        why = std::string("cannot connect to the Wayland display ") + name;
        return nullptr;
    }
    auto idle = std::make_unique<WaylandIdle>(display, std::move(events));
    if (!idle->start()) {
        why = "this Wayland compositor tells no idle time (it offers neither ext-idle-notify nor org_kde_kwin_idle): "
              "start the saver from its own idle settings instead";
        return nullptr;
    }
    return idle;
}

}  // namespace zorvan::daemon
