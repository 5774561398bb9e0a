// The session's autostart entry for the idle daemon: a desktop entry in
// $XDG_CONFIG_HOME/autostart (else ~/.config/autostart) that GNOME, Plasma and other XDG
// desktops run at login. The settings pane's switch writes and removes it.
#pragma once

#include <string>

namespace zorvan::daemon {

std::string autostartPath();
// Whether the entry is there and not hidden (Hidden=true turns an entry off).
bool autostartEnabled();
// Writes the entry (atomically) to run `program --daemon`, or removes it; removing a
// missing entry succeeds. False with one line on stderr when it cannot be done.
bool setAutostart(bool enabled, const std::string& program);

}  // namespace zorvan::daemon
