// The settings pane's section for the idle daemon (zorvan --daemon): the switch "Start
// Zorvan when the computer is idle", which writes or removes the session's autostart
// entry and starts or ends the session's daemon now, and the daemon's settings, each
// saved as it changes and read again by a running daemon (SIGHUP).
#pragma once

#include <memory>
#include <string>

typedef struct _GtkWidget GtkWidget;

namespace zorvan::host {

class IdlePanel {
public:
    // `program`: the zorvan that the autostart entry and the switch run.
    explicit IdlePanel(std::string program);
    ~IdlePanel();
    IdlePanel(const IdlePanel&) = delete;
    IdlePanel& operator=(const IdlePanel&) = delete;

    GtkWidget* widget() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace zorvan::host
