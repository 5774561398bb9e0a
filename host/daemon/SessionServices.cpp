// logind on the system bus and KDE's PowerDevil on the session bus, through GDBus.
// Implements: idle inhibitors (ListInhibitors, which the real logind and its stand-ins
// answer alike; PowerDevil's HasInhibition(4) and InhibitionsChanged), the session's lock
// (this session from XDG_SESSION_ID, else the user's display session, as a systemd user
// service has none of its own) and its Lock signal (`loginctl lock-session`; none where
// the session is not known), PrepareForSleep and a sleep delay lock.
// Not implemented: unlocking (the desktop's locker does it) and passwords of any kind.
#include "host/daemon/SessionServices.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace zorvan::daemon {

namespace {

const char LOGIND[] = "org.freedesktop.login1";
const char LOGIND_PATH[] = "/org/freedesktop/login1";
const char MANAGER[] = "org.freedesktop.login1.Manager";
const char SESSION[] = "org.freedesktop.login1.Session";
// logind's name for the caller's own session, which only a caller inside one has.
const char AUTO_SESSION[] = "/org/freedesktop/login1/session/auto";
const char POLICY_AGENT[] = "org.kde.Solid.PowerManagement.PolicyAgent";
const char POLICY_AGENT_PATH[] = "/org/kde/Solid/PowerManagement/PolicyAgent";
constexpr unsigned CHANGE_SCREEN_SETTINGS = 4;

GVariant* callSync(GDBusConnection* bus, const char* name, const char* path, const char* interface,
                   const char* method, GVariant* args, const char* replyType, std::string* why = nullptr) {
    if (!bus) {
        if (args) g_variant_unref(g_variant_ref_sink(args));
        if (why) *why = "no bus";
        return nullptr;
    }
    GError* error = nullptr;
    GVariant* reply =
        g_dbus_connection_call_sync(bus, name, path, interface, method, args, replyType ? G_VARIANT_TYPE(replyType) : nullptr,
                                    G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, &error);
    if (error) {
        if (why) *why = error->message;
        g_error_free(error);
    }
    return reply;
}

void report(const std::string& line) { std::fprintf(stderr, "zorvan: %s\n", line.c_str()); }

}  // namespace

struct SessionSignals {
    static void onSignal(GDBusConnection*, const char*, const char*, const char*, const char* signal,
                         GVariant* params, gpointer self) {
        auto* me = static_cast<SessionServices*>(self);
        if (!std::strcmp(signal, "PrepareForSleep")) {
            gboolean start = FALSE;
            g_variant_get(params, "(b)", &start);
            if (me->events_.sleep) me->events_.sleep(start);
        } else if (!std::strcmp(signal, "Lock")) {
            if (me->events_.lock) me->events_.lock();
        } else if (me->events_.inhibitionsChanged) {
            me->events_.inhibitionsChanged();
        }
    }
};

SessionServices::SessionServices(Events events) : events_(std::move(events)) {
    system_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    session_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    // The daemon outlives either bus: a bus that goes away only takes its services along.
    for (GDBusConnection* bus : {system_, session_})
        if (bus) g_dbus_connection_set_exit_on_close(bus, FALSE);
    if (system_)
        sleepSignal_ = g_dbus_connection_signal_subscribe(system_, LOGIND, MANAGER, "PrepareForSleep", LOGIND_PATH,
                                                          nullptr, G_DBUS_SIGNAL_FLAGS_NONE, &SessionSignals::onSignal,
                                                          this, nullptr);
    if (system_ && sessionPath() != AUTO_SESSION)
        lockSignal_ = g_dbus_connection_signal_subscribe(system_, LOGIND, SESSION, "Lock", sessionPath().c_str(), nullptr,
                                                         G_DBUS_SIGNAL_FLAGS_NONE, &SessionSignals::onSignal, this,
                                                         nullptr);
    if (session_)
        inhibitionSignal_ = g_dbus_connection_signal_subscribe(
            session_, POLICY_AGENT, POLICY_AGENT, "InhibitionsChanged", POLICY_AGENT_PATH, nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, &SessionSignals::onSignal, this, nullptr);
}

SessionServices::~SessionServices() {
    releaseSleepDelay();
    if (sleepSignal_) g_dbus_connection_signal_unsubscribe(system_, sleepSignal_);
    if (lockSignal_) g_dbus_connection_signal_unsubscribe(system_, lockSignal_);
    if (inhibitionSignal_) g_dbus_connection_signal_unsubscribe(session_, inhibitionSignal_);
    if (system_) g_object_unref(system_);
    if (session_) g_object_unref(session_);
}

bool SessionServices::idleInhibited() {
    bool inhibited = false;
    if (GVariant* reply = callSync(system_, LOGIND, LOGIND_PATH, MANAGER, "ListInhibitors", nullptr, "(a(ssssuu))")) {
        GVariantIter* locks = nullptr;
        g_variant_get(reply, "(a(ssssuu))", &locks);
        const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
        guint32 uid = 0, pid = 0;
        while (g_variant_iter_next(locks, "(&s&s&s&suu)", &what, &who, &why, &mode, &uid, &pid)) {
            // `what` is a colon-separated list: "idle", "sleep:idle", ...
            gchar** kinds = g_strsplit(what, ":", -1);
            for (gchar** k = kinds; *k; ++k)
                if (!std::strcmp(*k, "idle") && !std::strcmp(mode, "block")) inhibited = true;
            g_strfreev(kinds);
        }
        g_variant_iter_free(locks);
        g_variant_unref(reply);
    }
    if (inhibited) return true;
    if (GVariant* reply = callSync(session_, POLICY_AGENT, POLICY_AGENT_PATH, POLICY_AGENT, "HasInhibition",
                                   g_variant_new("(u)", CHANGE_SCREEN_SETTINGS), "(b)")) {
        gboolean has = FALSE;
        g_variant_get(reply, "(b)", &has);
        g_variant_unref(reply);
        inhibited = has;
    }
    return inhibited;
}

std::string SessionServices::sessionPath() {
    if (!sessionPath_.empty()) return sessionPath_;
    GVariant* reply = nullptr;
    if (const char* id = g_getenv("XDG_SESSION_ID"); id && *id)
        reply = callSync(system_, LOGIND, LOGIND_PATH, MANAGER, "GetSession", g_variant_new("(s)", id), "(o)");
    if (reply) {
        const char* path = nullptr;
        g_variant_get(reply, "(&o)", &path);
        sessionPath_ = path;
        g_variant_unref(reply);
        return sessionPath_;
    }
    // A user service: the user's display session.
    if (GVariant* display =
            callSync(system_, LOGIND, "/org/freedesktop/login1/user/self", "org.freedesktop.DBus.Properties", "Get",
                     g_variant_new("(ss)", "org.freedesktop.login1.User", "Display"), "(v)")) {
        GVariant* value = nullptr;
        g_variant_get(display, "(v)", &value);
        const char *id = nullptr, *path = nullptr;
        g_variant_get(value, "(&s&o)", &id, &path);
        if (id && *id) sessionPath_ = path;
        g_variant_unref(value);
        g_variant_unref(display);
    }
    if (sessionPath_.empty()) sessionPath_ = AUTO_SESSION;
    return sessionPath_;
}

void SessionServices::lock(const std::string& command, std::function<void()> done) {
    if (!command.empty()) {
        // The command runs to its end or into the background (swaylock -f forks once locked).
        const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
        GPid pid = 0;
        GError* error = nullptr;
        if (!g_spawn_async(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr,
                           &pid, &error)) {
            report("cannot run the lock command: " + std::string(error->message));
            g_error_free(error);
            done();
            return;
        }
        auto* pending = new std::function<void()>(std::move(done));
        g_child_watch_add(
            pid,
            [](GPid child, int status, gpointer data) {
                auto* finish = static_cast<std::function<void()>*>(data);
                if (!g_spawn_check_wait_status(status, nullptr))
                    report("the lock command failed (status " + std::to_string(WEXITSTATUS(status)) + ")");
                g_spawn_close_pid(child);
                (*finish)();
                delete finish;
            },
            pending);
        return;
    }
    std::string why;
    GVariant* reply = callSync(system_, LOGIND, sessionPath().c_str(), SESSION, "Lock",
                               nullptr, nullptr, &why);
    if (reply) g_variant_unref(reply);
    else report("cannot lock the session through logind: " + why);
    done();
}

void SessionServices::takeSleepDelay() {
    if (delayFd_ >= 0 || !system_) return;
    GUnixFDList* fds = nullptr;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        system_, LOGIND, LOGIND_PATH, MANAGER, "Inhibit",
        g_variant_new("(ssss)", "sleep", "Zorvan", "Locks the session before sleep", "delay"), G_VARIANT_TYPE("(h)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, &fds, nullptr, &error);
    if (error) g_error_free(error);
    if (reply) {
        gint32 index = 0;
        g_variant_get(reply, "(h)", &index);
        if (fds) delayFd_ = g_unix_fd_list_get(fds, index, nullptr);
        g_variant_unref(reply);
    }
    if (fds) g_object_unref(fds);
}

void SessionServices::releaseSleepDelay() {
    if (delayFd_ >= 0) close(delayFd_);
    delayFd_ = -1;
}

}  // namespace zorvan::daemon
