#include "host/pane/IdlePanel.h"

#include "host/daemon/Autostart.h"
#include "host/daemon/DaemonInstance.h"
#include "host/daemon/DaemonSettings.h"

#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>

namespace zorvan::host {

using namespace daemon;

struct IdlePanel::Impl {
    std::string program;
    DaemonSettings settings = loadDaemonSettings();
    GtkWidget *frame = nullptr, *enabled = nullptr, *saverAfter = nullptr, *lockAfter = nullptr,
              *lockCommand = nullptr, *span = nullptr;

    // A running daemon reads the saved settings again; none runs: nothing to tell.
    void save() {
        if (saveDaemonSettings(settings)) DaemonInstance::tell(SIGHUP);
    }

    // The session's daemon, started now as login would start it: in a session of its own,
    // so that it outlives the pane.
    void startDaemon() {
        if (DaemonInstance::running()) return;
        char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--daemon"), nullptr};
        GError* error = nullptr;
        if (!g_spawn_async(nullptr, argv, nullptr, G_SPAWN_STDIN_FROM_DEV_NULL, [](gpointer) { setsid(); }, nullptr,
                           nullptr, &error)) {
            g_printerr("zorvan: cannot start zorvan --daemon: %s\n", error->message);
            g_error_free(error);
        }
    }

    static void onEnabled(GObject* widget, GParamSpec*, gpointer data) {
        auto* me = static_cast<Impl*>(data);
        const bool on = gtk_switch_get_active(GTK_SWITCH(widget));
        if (!setAutostart(on, me->program)) {
            // Told on stderr; the switch goes back to what holds.
            g_signal_handlers_block_by_func(widget, reinterpret_cast<gpointer>(&Impl::onEnabled), data);
            gtk_switch_set_active(GTK_SWITCH(widget), autostartEnabled());
            g_signal_handlers_unblock_by_func(widget, reinterpret_cast<gpointer>(&Impl::onEnabled), data);
            return;
        }
        if (on) me->startDaemon();
        else DaemonInstance::tell(SIGTERM);
    }
    static void onSaverAfter(GtkSpinButton* spin, gpointer data) {
        auto* me = static_cast<Impl*>(data);
        me->settings.saverAfter = gtk_spin_button_get_value_as_int(spin) * 60;
        me->save();
    }
    static void onLockAfter(GtkSpinButton* spin, gpointer data) {
        auto* me = static_cast<Impl*>(data);
        me->settings.lockAfter = gtk_spin_button_get_value_as_int(spin) * 60;
        me->save();
    }
    // The command is saved when the entry is done with (Return or leaving it), not at
    // every key.
    static void onLockCommand(GtkEntry* entry, gpointer data) {
        auto* me = static_cast<Impl*>(data);
        const std::string text = gtk_entry_get_text(entry);
        if (text == me->settings.lockCommand) return;
        me->settings.lockCommand = text;
        me->save();
    }
    static gboolean onLockCommandLeft(GtkWidget* entry, GdkEvent*, gpointer data) {
        onLockCommand(GTK_ENTRY(entry), data);
        return FALSE;
    }
    static void onSpan(GtkToggleButton* check, gpointer data) {
        auto* me = static_cast<Impl*>(data);
        me->settings.span = gtk_toggle_button_get_active(check);
        me->save();
    }
};

namespace {

// A label for `control`, named after it for assistive technology too.
GtkWidget* labelFor(GtkWidget* control, const char* text) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), control);
    atk_object_set_name(gtk_widget_get_accessible(control), text);
    return label;
}

// Minutes from 0 (or 1) to a day, the stored seconds rounded to whole minutes.
GtkWidget* minutes(int seconds, int lowest) {
    GtkWidget* spin = gtk_spin_button_new_with_range(lowest, MAX_SECONDS / 60, 1);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(spin), std::max(lowest, (seconds + 30) / 60));
    return spin;
}

}  // namespace

IdlePanel::IdlePanel(std::string program) : impl_(std::make_unique<Impl>()) {
    Impl& p = *impl_;
    p.program = std::move(program);
    p.frame = gtk_frame_new("Screen saver");
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 12);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 12);
    gtk_container_add(GTK_CONTAINER(p.frame), grid);

    p.enabled = gtk_switch_new();
    gtk_switch_set_active(GTK_SWITCH(p.enabled), autostartEnabled());
    gtk_widget_set_halign(p.enabled, GTK_ALIGN_END);
    gtk_grid_attach(GTK_GRID(grid), labelFor(p.enabled, "Start Zorvan when the computer is idle"), 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), p.enabled, 1, 0, 1, 1);

    p.saverAfter = minutes(p.settings.saverAfter, 1);
    gtk_grid_attach(GTK_GRID(grid), labelFor(p.saverAfter, "Start the saver after (minutes)"), 0, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), p.saverAfter, 1, 1, 1, 1);

    p.lockAfter = minutes(p.settings.lockAfter, 0);
    gtk_grid_attach(GTK_GRID(grid), labelFor(p.lockAfter, "Lock the screen after (minutes of saver, 0: never)"), 0, 2,
                    1, 1);
    gtk_grid_attach(GTK_GRID(grid), p.lockAfter, 1, 2, 1, 1);

    p.lockCommand = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(p.lockCommand), p.settings.lockCommand.c_str());
    gtk_entry_set_placeholder_text(GTK_ENTRY(p.lockCommand), "the session's own lock");
    gtk_grid_attach(GTK_GRID(grid), labelFor(p.lockCommand, "Lock command"), 0, 3, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), p.lockCommand, 1, 3, 1, 1);

    p.span = gtk_check_button_new_with_label("One scene over every screen");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(p.span), p.settings.span);
    gtk_grid_attach(GTK_GRID(grid), p.span, 0, 4, 2, 1);

    g_signal_connect(p.enabled, "notify::active", G_CALLBACK(&Impl::onEnabled), impl_.get());
    g_signal_connect(p.saverAfter, "value-changed", G_CALLBACK(&Impl::onSaverAfter), impl_.get());
    g_signal_connect(p.lockAfter, "value-changed", G_CALLBACK(&Impl::onLockAfter), impl_.get());
    g_signal_connect(p.lockCommand, "activate", G_CALLBACK(&Impl::onLockCommand), impl_.get());
    g_signal_connect(p.lockCommand, "focus-out-event", G_CALLBACK(&Impl::onLockCommandLeft), impl_.get());
    g_signal_connect(p.span, "toggled", G_CALLBACK(&Impl::onSpan), impl_.get());
}

IdlePanel::~IdlePanel() = default;

GtkWidget* IdlePanel::widget() const { return impl_->frame; }

}  // namespace zorvan::host
