// The settings pane: a GTK 3 window holding a live preview instance of the view and
// the "Options…" button. The preview is a native X11 child window inside the pane's
// drawing area, made with the GL visual, and drawn by the same GLX backend as every
// other window; a timer on the GTK main loop calls the view at its interval. The sheet
// the view returns is shown modal over the pane, and destroyed once the view ends it.
#include "host/SettingsPane.h"

#include "host/Host.h"
#include "platform/controls/GtkControl.h"
#include "platform/gl/GlxView.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "saver/Zorvan.h"

#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zorvan::host {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int PREVIEW_WIDTH = 480;
constexpr int PREVIEW_HEIGHT = 270;
constexpr int DEPTH_SIZE = 16;  // what the view's pixel format asks for

gboolean quitMain(gpointer) {
    if (gtk_main_level() > 0) gtk_main_quit();
    return G_SOURCE_CONTINUE;
}

}  // namespace

struct SettingsPane::Impl {
    GtkWidget* window = nullptr;
    GtkWidget* preview = nullptr;
    GtkWidget* status = nullptr;
    GtkWidget* sheet = nullptr;
    gulong sheetHidden = 0;
    GtkWidget* endedSheet = nullptr;  // held until the action that ended it has returned
    guint afterSheetIdle = 0;

    Display* display = nullptr;
    Window child = 0;
    Colormap colormap = 0;
    std::unique_ptr<Zorvan> view;

    guint timer = 0;
    Clock::duration period{};
    Clock::time_point next;
    long frames = 0;

    ~Impl() {
        if (timer) g_source_remove(timer);
        if (sheet && sheetHidden) g_signal_handler_disconnect(sheet, sheetHidden);
        if (afterSheetIdle) g_source_remove(afterSheetIdle);
        if (endedSheet) g_object_unref(endedSheet);
        view.reset();  // its sheet, then its GL context, before the window they draw on
        if (child) XDestroyWindow(display, child);
        if (colormap) XFreeColormap(display, colormap);
        if (window) gtk_widget_destroy(window);
    }

    // The X child window the preview draws on, inside the drawing area's own native
    // window: made with the GL visual, which GTK's windows do not have.
    bool makePreviewWindow(std::string& error) {
        gtk_widget_realize(preview);
        GdkWindow* area = gtk_widget_get_window(preview);
        if (!area || !gdk_window_ensure_native(area)) {
            error = "cannot give the preview a window of its own";
            return false;
        }
        display = gdk_x11_display_get_xdisplay(gdk_window_get_display(area));
        const int screen = DefaultScreen(display);
        const GlxView::VisualChoice choice = GlxView::chooseVisual(display, screen, DEPTH_SIZE);
        XVisualInfo wanted;
        std::memset(&wanted, 0, sizeof wanted);
        wanted.visualid = choice.visualId;
        int count = 0;
        XVisualInfo* visual = choice.visualId ? XGetVisualInfo(display, VisualIDMask, &wanted, &count) : nullptr;
        if (!visual) {
            error = "the X display offers no double-buffered OpenGL visual";
            return false;
        }
        colormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
        XSetWindowAttributes attributes;
        std::memset(&attributes, 0, sizeof attributes);
        attributes.colormap = colormap;
        attributes.background_pixel = 0;
        attributes.border_pixel = 0;
        child = XCreateWindow(display, gdk_x11_window_get_xid(area), 0, 0, PREVIEW_WIDTH, PREVIEW_HEIGHT,
                              0, visual->depth, InputOutput, visual->visual,
                              CWColormap | CWBackPixel | CWBorderPixel, &attributes);
        XFree(visual);
        XMapWindow(display, child);
        XSync(display, False);
        return child != 0;
    }

    void schedule() {
        next += period;
        const auto now = Clock::now();
        // After a stall start afresh rather than run the missed frames back to back.
        if (next + period < now) next = now + period;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
        timer = g_timeout_add(static_cast<guint>(wait < 0 ? 0 : wait), &Impl::tick, this);
    }

    static gboolean tick(gpointer data) {
        auto* self = static_cast<Impl*>(data);
        self->timer = 0;
        self->view->animateOneFrame();
        ++self->frames;
        self->schedule();
        return G_SOURCE_REMOVE;
    }

    void openSheet() {
        if (sheet) {
            gtk_window_present(GTK_WINDOW(sheet));
            return;
        }
        if (!view->hasConfigureSheet()) return;
        GtkWidget* shown = GtkControl::widgetOf(view->configureSheet());
        if (!shown || !GTK_IS_WINDOW(shown)) {
            setStatus("The options cannot be shown: the interface file Zorvan.nib is missing or damaged.");
            return;
        }
        setStatus("");
        sheet = shown;
        gtk_window_set_transient_for(GTK_WINDOW(sheet), GTK_WINDOW(window));
        gtk_window_set_modal(GTK_WINDOW(sheet), TRUE);
        gtk_window_set_position(GTK_WINDOW(sheet), GTK_WIN_POS_CENTER_ON_PARENT);
        sheetHidden = g_signal_connect(sheet, "hide", G_CALLBACK(&Impl::onSheetHidden), this);
        gtk_window_present(GTK_WINDOW(sheet));
    }

    // The view has ended its sheet. It goes on to save and apply once the window is
    // hidden; when it has returned, the pane says whether the settings were saved and
    // destroys the window.
    static void onSheetHidden(GtkWidget* widget, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        g_signal_handler_disconnect(widget, self->sheetHidden);
        self->sheetHidden = 0;
        self->sheet = nullptr;
        if (self->endedSheet) g_object_unref(self->endedSheet);
        self->endedSheet = GTK_WIDGET(g_object_ref(widget));
        if (!self->afterSheetIdle) self->afterSheetIdle = g_idle_add(&Impl::afterSheet, self);
    }

    static gboolean afterSheet(gpointer data) {
        auto* self = static_cast<Impl*>(data);
        self->afterSheetIdle = 0;
        if (self->view->lastSaveFailed()) {
            const std::string path = self->view->storePath().value_or("the settings file");
            self->setStatus("The new settings are in use, but they could not be saved to " + path + ".");
        } else {
            self->setStatus("");
        }
        if (GtkWidget* ended = std::exchange(self->endedSheet, nullptr)) {
            gtk_widget_destroy(ended);
            g_object_unref(ended);
        }
        return G_SOURCE_REMOVE;
    }

    void setStatus(const std::string& text) {
        gtk_label_set_text(GTK_LABEL(status), text.c_str());
        gtk_widget_set_visible(status, !text.empty());
    }

    static void onOptions(GtkButton*, gpointer data) { static_cast<Impl*>(data)->openSheet(); }

    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
        quitMain(nullptr);
        return TRUE;
    }

    static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer) {
        const bool ctrl = (event->state & GDK_CONTROL_MASK) != 0;
        if (event->keyval == GDK_KEY_Escape || (ctrl && (event->keyval == GDK_KEY_q || event->keyval == GDK_KEY_Q))) {
            quitMain(nullptr);
            return TRUE;
        }
        return FALSE;
    }
};

SettingsPane::SettingsPane(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SettingsPane::~SettingsPane() = default;

std::unique_ptr<SettingsPane> SettingsPane::create(const Options& options, std::string& error) {
    auto impl = std::make_unique<Impl>();
    impl->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(impl->window), "Zorvan");
    gtk_window_set_resizable(GTK_WINDOW(impl->window), FALSE);
    gtk_container_set_border_width(GTK_CONTAINER(impl->window), 12);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_container_add(GTK_CONTAINER(impl->window), box);
    impl->preview = gtk_drawing_area_new();
    gtk_widget_set_size_request(impl->preview, PREVIEW_WIDTH, PREVIEW_HEIGHT);
    gtk_widget_set_halign(impl->preview, GTK_ALIGN_CENTER);
    atk_object_set_name(gtk_widget_get_accessible(impl->preview), "Preview");
    gtk_box_pack_start(GTK_BOX(box), impl->preview, FALSE, FALSE, 0);

    impl->status = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(impl->status), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(impl->status), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(impl->status), 60);
    gtk_box_pack_start(GTK_BOX(box), impl->status, FALSE, FALSE, 0);

    GtkWidget* buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
    GtkWidget* options_button = gtk_button_new_with_label("Options…");
    gtk_container_add(GTK_CONTAINER(buttons), options_button);
    gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);

    g_signal_connect(options_button, "clicked", G_CALLBACK(&Impl::onOptions), impl.get());
    g_signal_connect(impl->window, "delete-event", G_CALLBACK(&Impl::onDelete), nullptr);
    g_signal_connect(impl->window, "key-press-event", G_CALLBACK(&Impl::onKey), nullptr);

    if (!impl->makePreviewWindow(error)) return nullptr;

    // The preview instance, made the way a settings program makes one.
    impl->view = makeView(GlxView::factory(impl->display, impl->child),
                          Rect{0.0, 0.0, double(PREVIEW_WIDTH), double(PREVIEW_HEIGHT)}, true, options, error);
    if (!impl->view) return nullptr;
    impl->view->setFrameSize(Size{double(PREVIEW_WIDTH), double(PREVIEW_HEIGHT)});
    impl->view->startAnimation();

    gtk_widget_show_all(impl->window);
    gtk_widget_hide(impl->status);

    const double interval = impl->view->animationTimeInterval();
    if (std::isfinite(interval) && interval > 0.0) {
        impl->period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(std::min(interval, 3600.0)));
        impl->next = Clock::now();
        impl->schedule();
    }
    return std::unique_ptr<SettingsPane>(new SettingsPane(std::move(impl)));
}

GtkWidget* SettingsPane::window() const { return impl_->window; }
Zorvan& SettingsPane::view() const { return *impl_->view; }
GtkWidget* SettingsPane::sheet() const { return impl_->sheet; }
void SettingsPane::openSheet() { impl_->openSheet(); }
long SettingsPane::framesDrawn() const { return impl_->frames; }

std::string SettingsPane::status() const {
    return gtk_widget_get_visible(impl_->status) ? gtk_label_get_text(GTK_LABEL(impl_->status)) : "";
}

int runSettings(const Options& options) {
    // The preview is drawn through GLX on an X window: GTK must use X11 too.
    setenv("GDK_BACKEND", "x11", 1);
    // Caught from the start: a signal that comes while the pane is being made ends it
    // as soon as the main loop runs.
    const guint term = g_unix_signal_add(SIGTERM, quitMain, nullptr);
    const guint interrupt = g_unix_signal_add(SIGINT, quitMain, nullptr);
    const guint hangup = g_unix_signal_add(SIGHUP, quitMain, nullptr);
    if (!gtk_init_check(nullptr, nullptr)) {
        const char* name = std::getenv("DISPLAY");
        reportError(std::string("no X display for the settings pane") +
                    (name && *name ? std::string(" (DISPLAY=") + name + ")" : " (DISPLAY is not set)"));
        return 2;
    }
    std::string error;
    std::unique_ptr<SettingsPane> pane = SettingsPane::create(options, error);
    if (!pane) {
        reportError(error);
        return 1;
    }
    gtk_main();
    g_source_remove(term);
    g_source_remove(interrupt);
    g_source_remove(hangup);
    pane.reset();
    return 0;
}

}  // namespace zorvan::host
