// GTK 3 backend of the open panel: a modal GtkFileChooserDialog over the window that has
// the focus (the sheet), with one filter of the readable file types. It is shown and
// answered on the main loop: no nested loop, so the accessibility bridge and the stop
// signals keep being served while it is open.
// Does not implement: choosing several files or folders, previews.
#include "platform/controls/OpenPanel.h"

#include <gtk/gtk.h>

#include <cctype>
#include <utility>

namespace zorvan {

namespace {

// The visible modal window, or else any focused one: the panel's parent.
GtkWindow* parentWindow() {
    GtkWindow* parent = nullptr;
    GList* toplevels = gtk_window_list_toplevels();
    for (GList* l = toplevels; l; l = l->next) {
        GtkWindow* w = GTK_WINDOW(l->data);
        if (!gtk_widget_get_visible(GTK_WIDGET(w))) continue;
        if (gtk_window_get_modal(w)) {
            parent = w;
            break;
        }
        if (gtk_window_has_toplevel_focus(w)) parent = w;
    }
    g_list_free(toplevels);
    return parent;
}

// "*.png" matching any case: "*.[pP][nN][gG]".
std::string anyCasePattern(const std::string& type) {
    std::string pattern = "*.";
    for (char c : type) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (std::isalpha(u)) {
            pattern += '[';
            pattern += static_cast<char>(std::tolower(u));
            pattern += static_cast<char>(std::toupper(u));
            pattern += ']';
        } else if (c == '*' || c == '?' || c == '[' || c == ']') {
            continue;  // never part of a file type; kept out of the pattern
        } else {
            pattern += c;
        }
    }
    return pattern;
}

}  // namespace

struct OpenPanel::Impl {
    GtkWidget* dialog = nullptr;
    GtkWindow* parent = nullptr;  // weak: cleared if it goes first
    gulong response = 0, destroyed = 0;
    std::function<void(int)> done;

    ~Impl() { close(); }

    void close() {
        if (parent) g_object_remove_weak_pointer(G_OBJECT(parent), reinterpret_cast<gpointer*>(&parent));
        parent = nullptr;
        done = nullptr;
        if (!dialog) return;
        g_signal_handler_disconnect(dialog, response);
        g_signal_handler_disconnect(dialog, destroyed);
        gtk_widget_destroy(std::exchange(dialog, nullptr));
    }

    // Gone with its parent, unanswered.
    static void onDestroyed(GtkWidget*, gpointer data) {
        auto* self = static_cast<Impl*>(data);
        self->dialog = nullptr;
        self->close();
    }
};

OpenPanel::OpenPanel() : impl_(std::make_unique<Impl>()) {}
OpenPanel::~OpenPanel() = default;

void OpenPanel::beginForDirectory(const std::string& directory, const std::optional<std::string>& file,
                                  const std::vector<std::string>& types, std::function<void(int)> done) {
    if (impl_->dialog) {
        gtk_window_present(GTK_WINDOW(impl_->dialog));
        return;
    }
    filename_.clear();
    if (!gdk_display_get_default()) {
        if (done) done(0);
        return;
    }
    GtkWindow* parent = parentWindow();
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        "Choose a logo picture", parent, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
        GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    gtk_file_chooser_set_current_folder(chooser, directory.c_str());
    if (file) gtk_file_chooser_set_filename(chooser, file->c_str());

    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Pictures");
    for (const std::string& type : types) gtk_file_filter_add_pattern(filter, anyCasePattern(type).c_str());
    gtk_file_chooser_add_filter(chooser, filter);  // the chooser takes the filter

    impl_->dialog = dialog;
    impl_->parent = parent;
    if (parent) g_object_add_weak_pointer(G_OBJECT(parent), reinterpret_cast<gpointer*>(&impl_->parent));
    impl_->done = std::move(done);
    // The answer comes as "response" (Open, Cancel, Esc, the window's close, or the
    // dialog's destruction with its parent).
    impl_->response = g_signal_connect(
        dialog, "response", G_CALLBACK(+[](GtkDialog* d, gint id, gpointer data) {
            auto* self = static_cast<OpenPanel*>(data);
            int result = 0;
            if (id == GTK_RESPONSE_ACCEPT) {
                if (gchar* chosen = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d))) {
                    self->filename_ = chosen;
                    g_free(chosen);
                    result = 1;
                }
            }
            GtkWindow* back = self->impl_->parent;
            std::function<void(int)> answer = std::move(self->impl_->done);
            self->impl_->close();
            // The keyboard goes back to the sheet, also where no window manager hands it back.
            if (back) gtk_window_present(back);
            if (answer) answer(result);
        }),
        this);
    impl_->destroyed = g_signal_connect(dialog, "destroy", G_CALLBACK(&Impl::onDestroyed), impl_.get());
    gtk_widget_show(dialog);
}

}  // namespace zorvan
