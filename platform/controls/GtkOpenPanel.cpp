// GTK 3 backend of the open panel: a modal GtkFileChooserDialog over the window that has
// the focus (the sheet), with one filter of the readable file types.
// Does not implement: choosing several files or folders, previews.
#include "platform/controls/OpenPanel.h"

#include <gtk/gtk.h>
#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>

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

int OpenPanel::runModalForDirectory(const std::string& directory,
                                    const std::optional<std::string>& file,
                                    const std::vector<std::string>& types) {
    filename_.clear();
    if (!gdk_display_get_default()) return 0;
    GtkWindow* parent = parentWindow();
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        "Choose a logo picture", parent, GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
        GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_file_chooser_set_current_folder(chooser, directory.c_str());
    if (file) gtk_file_chooser_set_filename(chooser, file->c_str());

    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, "Pictures");
    for (const std::string& type : types) gtk_file_filter_add_pattern(filter, anyCasePattern(type).c_str());
    gtk_file_chooser_add_filter(chooser, filter);  // the chooser takes the filter

    int result = 0;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* chosen = gtk_file_chooser_get_filename(chooser)) {
            filename_ = chosen;
            g_free(chosen);
            result = 1;
        }
    }
    gtk_widget_destroy(dialog);
    // The keyboard goes back to the sheet, also where no window manager hands it back.
    if (parent) gtk_window_present(parent);
    return result;
}

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

}  // namespace zorvan
