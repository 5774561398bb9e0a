// Idle time from an X server without a saver daemon of its own (i3 and other plain window
// managers): the MIT-SCREEN-SAVER extension's idle time, asked on a timer since X sends no
// event for it. The timer waits for as long as the wait has left (no polling while the
// time is far) and once a second at most while the saver runs, to see input end it.
// Implements: the wait counted from now (the idle time at arm() is the baseline), a
// display that goes away as lost() (Xlib's I/O error handler cannot return: it says so and
// exits with 1), and refusing where the xscreensaver daemon already runs the saver.
// Not implemented: X servers without MIT-SCREEN-SAVER.
#include "host/daemon/X11Idle.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <glib-unix.h>
#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace zorvan::daemon {

namespace {

int onIoError(Display*) {
    std::fputs("zorvan: the X display went away\n", stderr);
    std::exit(1);
}

// Whether a window carries the property the xscreensaver daemon marks its own with.
bool marked(Display* display, Window window, Atom version) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool has = XGetWindowProperty(display, window, version, 0, 0, False, AnyPropertyType, &type, &format, &count,
                                        &after, &data) == Success &&
                     type != None;
    if (data) XFree(data);
    return has;
}

// Whether the xscreensaver daemon runs this display's saver: it sets _SCREENSAVER_VERSION
// on a window of its own, a child of the root.
bool xscreensaverRuns(Display* display) {
    const Atom version = XInternAtom(display, "_SCREENSAVER_VERSION", True);
    if (version == None) return false;
    const Window root = DefaultRootWindow(display);
    if (marked(display, root, version)) return true;
    Window rootOut = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    bool found = false;
    if (XQueryTree(display, root, &rootOut, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !found; ++i) found = marked(display, children[i], version);
        if (children) XFree(children);
    }
    return found;
}

class X11Idle : public IdleSource {
public:
    X11Idle(Display* display, IdleSource::Events events)
        : display_(display), events_(std::move(events)), info_(XScreenSaverAllocInfo()) {
        // Nothing is asked of the server between timers; reading its end of the connection
        // is how a server that ends is seen at once.
        connection_ = g_unix_fd_add(ConnectionNumber(display_), GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                    &X11Idle::onReadable, this);
    }
    ~X11Idle() override {
        stopTimer();
        g_source_remove(connection_);
        XFree(info_);
        XCloseDisplay(display_);
    }

    std::string name() const override { return "X11's MIT-SCREEN-SAVER"; }

    void arm(unsigned ms) override {
        wait_ = ms;
        base_ = idleTime();
        idled_ = false;
        schedule(ms);
    }

private:
    unsigned long idleTime() {
        XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info_);
        return info_->idle;
    }
    void stopTimer() {
        if (timer_) g_source_remove(timer_);
        timer_ = 0;
    }
    void schedule(unsigned long ms) {
        stopTimer();
        timer_ = g_timeout_add(guint(std::max(ms, 1000UL)), &X11Idle::onTimer, this);
    }

    static gboolean onReadable(int, GIOCondition, gpointer self) {
        auto* me = static_cast<X11Idle*>(self);
        XEvent event;
        while (XPending(me->display_)) XNextEvent(me->display_, &event);  // at the end, the I/O error
        return G_SOURCE_CONTINUE;
    }

    static gboolean onTimer(gpointer self) {
        auto* me = static_cast<X11Idle*>(self);
        me->timer_ = 0;
        const unsigned long idle = me->idleTime();
        if (!me->idled_) {
            // Input since arm() makes the idle time drop below the baseline: count from it.
            if (idle < me->base_) me->base_ = 0;
            const unsigned long counted = idle - me->base_;
            if (counted >= me->wait_) {
                me->idled_ = true;
                me->last_ = idle;
                me->schedule(1000);
                me->events_.idle();
            } else {
                me->schedule(me->wait_ - counted);
            }
        } else if (idle < me->last_) {
            me->idled_ = false;
            me->events_.active();
        } else {
            me->last_ = idle;
            me->schedule(1000);
        }
        return G_SOURCE_REMOVE;
    }

    Display* display_;
    IdleSource::Events events_;
    XScreenSaverInfo* info_;
    unsigned long wait_ = 0, base_ = 0, last_ = 0;
    bool idled_ = false;
    guint timer_ = 0, connection_ = 0;
};

}  // namespace

std::unique_ptr<IdleSource> openX11Idle(IdleSource::Events events, std::string& why) {
    const char* name = g_getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        why = std::string("cannot open the X display ") + name;
        return nullptr;
    }
    XSetIOErrorHandler(&onIoError);
    int event = 0, error = 0;
    if (xscreensaverRuns(display)) {
        why = "the xscreensaver daemon runs this display's saver: pick Zorvan in xscreensaver-settings instead";
    } else if (!XScreenSaverQueryExtension(display, &event, &error)) {
        why = std::string("the X display ") + name + " has no MIT-SCREEN-SAVER extension to tell the idle time";
    } else {
        return std::make_unique<X11Idle>(display, std::move(events));
    }
    XCloseDisplay(display);
    return nullptr;
}

}  // namespace zorvan::daemon
