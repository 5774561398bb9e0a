// The settings pane: a GTK 3 window holding a live preview instance of the view and
// the "Options…" button, on whichever display GTK opens (Wayland where WAYLAND_DISPLAY
// is set, else X11). The preview is drawn offscreen at the drawing area's device pixels
// and shown in it (PanePreview); the frame driver runs it, its turns called from a timer
// on the GTK main loop. The sheet the view returns is shown modal over the pane, and
// destroyed once the view ends it. Without OpenGL the pane opens all the same, with
// the sheet and without a preview, and says why.
#include "host/pane/SettingsPane.h"

#include "host/driver/ErrorLine.h"
#include "host/driver/FrameDriver.h"
#include "host/driver/StopSignals.h"
#include "host/pane/IdlePanel.h"
#include "host/pane/PanePreview.h"
#include "platform/controls/GtkControl.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "saver/Zorvan.h"

#include <gdk/gdkkeysyms.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

namespace zorvan::host {

namespace {

constexpr int PREVIEW_WIDTH = 480;
constexpr int PREVIEW_HEIGHT = 270;

// Why GTK opened no display, in one line: it looks for Wayland where WAYLAND_DISPLAY
// names a display, then for X11.
std::string noDisplay() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string x11 = noDisplayMessage("for the settings pane");
    return wayland && *wayland ? "no Wayland display " + std::string(wayland) + " and " + x11 : x11;
}

void quitMain() {
    if (gtk_main_level() > 0) gtk_main_quit();
}

}  // namespace

struct SettingsPane::Impl {
    GtkWidget* window = nullptr;
    GtkWidget* status = nullptr;
    GtkWidget* sheet = nullptr;
    gulong sheetHidden = 0;
    GtkWidget* endedSheet = nullptr;  // held until the action that ended it has returned
    guint afterSheetIdle = 0;

    std::unique_ptr<PanePreview> preview;
    Options options;  // the driver's, for as long as it runs
    std::unique_ptr<FrameDriver> driver;
    // The view when there is no preview (no OpenGL): it draws nothing, and has the sheet.
    std::unique_ptr<Zorvan> bareView;
    std::string noPreview;  // why there is none: the status line when it has nothing else
    std::unique_ptr<IdlePanel> idle;
    guint timer = 0;

    ~Impl() {
        if (timer) g_source_remove(timer);
        if (sheet && sheetHidden) g_signal_handler_disconnect(sheet, sheetHidden);
        if (afterSheetIdle) g_source_remove(afterSheetIdle);
        if (endedSheet) g_object_unref(endedSheet);
        // The view and its sheet, then its GL view, before the window.
        driver.reset();
        bareView.reset();
        preview.reset();
        if (window) gtk_widget_destroy(window);
    }

    Zorvan& view() const { return driver ? driver->view(0) : *bareView; }

    // The preview instance, made and started the way a settings program makes one; or,
    // where it cannot draw, a view that has the sheet alone, and a line that says why.
    bool startPreview(const Options& given, std::string& error) {
        options = given;
        driver = std::make_unique<FrameDriver>(*preview, options, nullptr);
        if (driver->start(error)) return true;
        driver.reset();
        if (preview->why().empty()) return false;  // not for want of OpenGL
        reportError("no preview: " + preview->why());
        bareView = std::make_unique<Zorvan>(OpenGLViewFactory{});
        if (!bareView->initWithFrame(Rect{0.0, 0.0, double(PREVIEW_WIDTH), double(PREVIEW_HEIGHT)}, true)) {
            error = "cannot create the saver view";
            return false;
        }
        error.clear();
        noPreview = "No preview: " + preview->why();
        return true;
    }

    // The driver's next turn, at the deadline of its next frame.
    void schedule(std::optional<Clock::time_point> next) {
        if (!next || timer) return;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now()).count();
        timer = g_timeout_add(static_cast<guint>(wait < 0 ? 0 : wait), &Impl::tick, this);
    }

    static gboolean tick(gpointer data) {
        auto* self = static_cast<Impl*>(data);
        self->timer = 0;
        self->schedule(self->driver->turn());
        return G_SOURCE_REMOVE;
    }

    void openSheet() {
        if (sheet) {
            gtk_window_present(GTK_WINDOW(sheet));
            return;
        }
        if (!view().hasConfigureSheet()) return;
        GtkWidget* shown = GtkControl::widgetOf(view().configureSheet());
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
        if (self->view().lastSaveFailed()) {
            const std::string path = self->view().storePath().value_or("the settings file");
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
        const std::string& shown = text.empty() ? noPreview : text;
        gtk_label_set_text(GTK_LABEL(status), shown.c_str());
        gtk_widget_set_visible(status, !shown.empty());
    }

    static void onOptions(GtkButton*, gpointer data) { static_cast<Impl*>(data)->openSheet(); }

    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) {
        quitMain();
        return TRUE;
    }

    static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer) {
        const bool ctrl = (event->state & GDK_CONTROL_MASK) != 0;
        if (event->keyval == GDK_KEY_Escape || (ctrl && (event->keyval == GDK_KEY_q || event->keyval == GDK_KEY_Q))) {
            quitMain();
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
    Impl* self = impl.get();
    impl->preview = std::make_unique<PanePreview>(PREVIEW_WIDTH, PREVIEW_HEIGHT, [self] {
        if (self->driver) self->schedule(Clock::now());
    });
    gtk_box_pack_start(GTK_BOX(box), impl->preview->area(), FALSE, FALSE, 0);

    impl->status = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(impl->status), 0.0f);
    gtk_label_set_line_wrap(GTK_LABEL(impl->status), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(impl->status), 60);
    gtk_box_pack_start(GTK_BOX(box), impl->status, FALSE, FALSE, 0);

    // The idle daemon's settings belong to the session, not to a settings file given with
    // --prefs: the section shows only for the usual store.
    if (!options.prefsFile) {
        std::error_code ec;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
        impl->idle = std::make_unique<IdlePanel>(
            ec ? std::string("zorvan") : (self.parent_path().parent_path().parent_path() / "bin" / "zorvan").string());
        gtk_box_pack_start(GTK_BOX(box), impl->idle->widget(), FALSE, FALSE, 0);
    }

    GtkWidget* buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
    GtkWidget* options_button = gtk_button_new_with_label("Options…");
    gtk_container_add(GTK_CONTAINER(buttons), options_button);
    gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);

    g_signal_connect(options_button, "clicked", G_CALLBACK(&Impl::onOptions), impl.get());
    g_signal_connect(impl->window, "delete-event", G_CALLBACK(&Impl::onDelete), nullptr);
    g_signal_connect(impl->window, "key-press-event", G_CALLBACK(&Impl::onKey), nullptr);

    gtk_widget_realize(impl->preview->area());  // its scale factor is known from here on
    if (!impl->startPreview(options, error)) return nullptr;

    gtk_widget_show_all(impl->window);
    impl->setStatus("");
    if (impl->driver) impl->schedule(Clock::now());
    else gtk_widget_hide(impl->preview->area());
    return std::unique_ptr<SettingsPane>(new SettingsPane(std::move(impl)));
}

GtkWidget* SettingsPane::window() const { return impl_->window; }
Zorvan& SettingsPane::view() const { return impl_->view(); }
GtkWidget* SettingsPane::sheet() const { return impl_->sheet; }
void SettingsPane::openSheet() { impl_->openSheet(); }
long SettingsPane::framesDrawn() const { return impl_->driver ? impl_->driver->framesDrawn() : 0; }

std::string SettingsPane::status() const {
    return gtk_widget_get_visible(impl_->status) ? gtk_label_get_text(GTK_LABEL(impl_->status)) : "";
}

int runSettings(const Options& options) {
    // A stop signal ends the process at once, from the handler, whatever the pane is
    // doing: a preview frame under load may take a few tenths, and whoever sent the
    // signal is waiting. Nothing is left to undo: a sheet not closed has nothing to
    // apply, the server takes the windows with the connection, and the store writes a
    // temporary file and renames it, so a save cut short leaves the old file whole.
    StopSignals stop;
    stop.setExitAtOnce(true);
    if (!gtk_init_check(nullptr, nullptr)) {
        reportError(noDisplay());
        return 2;
    }
    std::string error;
    std::unique_ptr<SettingsPane> pane = SettingsPane::create(options, error);
    if (!pane) {
        reportError(error);
        return 1;
    }
    gtk_main();
    stop.setExitAtOnce(false);
    pane.reset();
    return 0;
}

}  // namespace zorvan::host
