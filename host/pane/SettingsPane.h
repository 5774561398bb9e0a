// The settings pane of `zorvan --settings`: a GTK 3 window with a live preview of the
// saver and the "Options…" button that shows the view's configuration sheet over it, on
// Wayland or X11, whichever GTK opens.
#pragma once

#include "host/cli/Options.h"

#include <memory>
#include <string>

typedef struct _GtkWidget GtkWidget;

namespace zorvan {
class Zorvan;
}

namespace zorvan::host {

class SettingsPane {
public:
    // The pane on the default GDK display (GTK must be initialised). Null, with `error`
    // set to one line, when the view cannot be made; without OpenGL the pane has no
    // preview, and its status line and one line on stderr say why.
    static std::unique_ptr<SettingsPane> create(const Options& options, std::string& error);
    ~SettingsPane();
    SettingsPane(const SettingsPane&) = delete;
    SettingsPane& operator=(const SettingsPane&) = delete;

    GtkWidget* window() const;
    Zorvan& view() const;
    // The sheet while it is up, else null.
    GtkWidget* sheet() const;
    // What the button does: shows the view's sheet over the pane.
    void openSheet();
    // The pane's one-line status ("" when all is well).
    std::string status() const;
    // Frames the preview has drawn.
    long framesDrawn() const;

    struct Impl;

private:
    explicit SettingsPane(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// --settings: the pane until it is closed (window close, Esc, Ctrl+Q, SIGTERM, SIGINT or
// SIGHUP).
int runSettings(const Options& options);

}  // namespace zorvan::host
