#include "host/daemon/LockerChild.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zorvan::daemon {

namespace {

// The least time from one locker's start to the next one's.
constexpr gint64 START_GAP_US = 1000000;

// The descriptor the locker hears about in ZORVAN_LOCKED_FD.
constexpr int LOCKED_FD = 3;

// What the locker says once the lock holds; more than this before it is not that.
const char LOCKED[] = "locked\n";
constexpr size_t HEARD_AT_MOST = 64;

void say(const std::string& line) { std::fprintf(stderr, "zorvan: %s\n", line.c_str()); }

}  // namespace

LockerChild::LockerChild(std::string program, Events events)
    : program_(std::move(program)), events_(std::move(events)) {}

LockerChild::~LockerChild() {
    if (due_) g_source_remove(due_);
    if (childWatch_) g_source_remove(childWatch_);
    closePipe();
}

void LockerChild::start() {
    if (active()) return;
    const gint64 wait = lastStart_ ? lastStart_ + START_GAP_US - g_get_monotonic_time() : 0;
    due_ = g_timeout_add(guint(wait > 0 ? (wait + 999) / 1000 : 0), +[](gpointer self) {
        auto* me = static_cast<LockerChild*>(self);
        me->due_ = 0;
        me->spawn();
        return gboolean(G_SOURCE_REMOVE);
    }, this);
}

void LockerChild::spawn() {
    lastStart_ = g_get_monotonic_time();
    locked_ = false;
    heard_.clear();
    int ends[2];
    std::string why;
    if (pipe2(ends, O_CLOEXEC) == 0) {
        fcntl(ends[0], F_SETFL, O_NONBLOCK);
        gchar** env = g_environ_setenv(g_get_environ(), "ZORVAN_LOCKED_FD", std::to_string(LOCKED_FD).c_str(), TRUE);
        const gchar* argv[] = {program_.c_str(), "--lock", nullptr};
        const gint source[] = {ends[1]}, target[] = {LOCKED_FD};
        GPid pid = 0;
        GError* error = nullptr;
        // A session of its own: a terminal's Ctrl+C to the daemon leaves the lock alone.
        if (g_spawn_async_with_pipes_and_fds(nullptr, argv, env, G_SPAWN_DO_NOT_REAP_CHILD,
                                             [](gpointer) { setsid(); }, nullptr, -1, -1, -1, source, target, 1,
                                             &pid, nullptr, nullptr, nullptr, &error)) {
            pid_ = pid;
        } else {
            why = error->message;
            g_error_free(error);
        }
        g_strfreev(env);
        close(ends[1]);  // the locker's alone, so that its end is the pipe's
        pipe_ = ends[0];
    } else {
        why = std::strerror(errno);
    }
    if (pid_ <= 0) {
        closePipe();
        say("cannot start the lock screen: " + why);
        events_.ended(127, false);
        return;
    }
    pipeWatch_ = g_unix_fd_add(pipe_, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR), +[](int, GIOCondition, gpointer self) {
        auto* me = static_cast<LockerChild*>(self);
        if (me->hear()) return gboolean(G_SOURCE_CONTINUE);
        me->pipeWatch_ = 0;
        me->closePipe();
        return gboolean(G_SOURCE_REMOVE);
    }, this);
    childWatch_ = g_child_watch_add(pid_, +[](GPid child, int status, gpointer self) {
        auto* me = static_cast<LockerChild*>(self);
        g_spawn_close_pid(child);
        me->childWatch_ = 0;
        // What it said before it ended counts, whichever of the two the main loop saw first.
        me->hear();
        me->closePipe();
        me->pid_ = -1;
        const bool hadLocked = me->locked_;
        me->locked_ = false;
        me->events_.ended(WIFEXITED(status) ? WEXITSTATUS(status) : -1, hadLocked);
    }, this);
}

bool LockerChild::hear() {
    if (pipe_ < 0) return false;
    char buffer[HEARD_AT_MOST];
    ssize_t n = 0;
    while ((n = read(pipe_, buffer, sizeof buffer)) > 0)
        if (heard_.size() < HEARD_AT_MOST) heard_.append(buffer, size_t(n));
    if (!locked_ && heard_.compare(0, sizeof LOCKED - 1, LOCKED) == 0) {
        locked_ = true;
        events_.locked();
    }
    // Open until the locker closes its end (it has spoken, or ended).
    return n < 0 && (errno == EAGAIN || errno == EINTR);
}

void LockerChild::closePipe() {
    if (pipeWatch_) g_source_remove(pipeWatch_);
    pipeWatch_ = 0;
    if (pipe_ >= 0) close(pipe_);
    pipe_ = -1;
}

}  // namespace zorvan::daemon
