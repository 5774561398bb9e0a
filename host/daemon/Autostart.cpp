#include "host/daemon/Autostart.h"

#include "platform/prefs/ScreenSaverDefaults.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zorvan::daemon {

std::string autostartPath() { return ScreenSaverDefaults::configFolder() + "/autostart/zorvan-daemon.desktop"; }

namespace {

// The program as an Exec line may hold it unquoted; desktop entries quote otherwise than
// a shell, so a path with other characters falls back to zorvan on PATH.
std::string execProgram(const std::string& program) {
    if (program.empty()) return "zorvan";
    for (char c : program)
        if (!g_ascii_isalnum(c) && !std::strchr("/._+-", c)) return "zorvan";
    return program;
}

}  // namespace

bool autostartEnabled() {
    GKeyFile* file = g_key_file_new();
    bool on = g_key_file_load_from_file(file, autostartPath().c_str(), G_KEY_FILE_NONE, nullptr) &&
              !g_key_file_get_boolean(file, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_HIDDEN, nullptr);
    g_key_file_free(file);
    return on;
}

bool setAutostart(bool enabled, const std::string& program) {
    const std::string path = autostartPath();
    if (!enabled) {
        if (g_unlink(path.c_str()) == 0 || errno == ENOENT) return true;
        std::fprintf(stderr, "zorvan: cannot remove %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    gchar* folder = g_path_get_dirname(path.c_str());
    const bool made = g_mkdir_with_parents(folder, 0700) == 0;
    g_free(folder);
    const std::string text = std::string("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Zorvan screen saver\n"
                                         "Comment=Starts the Zorvan screen saver when the computer is idle\n"
                                         "Exec=") +
                             execProgram(program) + " --daemon\n" +
                             "Icon=preferences-desktop-screensaver\n"
                             "NoDisplay=true\n"
                             "X-GNOME-Autostart-enabled=true\n";
    GError* error = nullptr;
    if (!made || !g_file_set_contents(path.c_str(), text.c_str(), gssize(text.size()), &error)) {
        std::fprintf(stderr, "zorvan: cannot write %s: %s\n", path.c_str(),
                     error ? error->message : std::strerror(errno));
        if (error) g_error_free(error);
        return false;
    }
    return true;
}

}  // namespace zorvan::daemon
