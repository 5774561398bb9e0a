// The one way every part of the host tells the person what went wrong: one line on
// stderr, "zorvan: " first.
#pragma once

#include <string>

namespace zorvan::host {

// Prints "zorvan: <message>" as one line on stderr.
void reportError(const std::string& message);

// "no X display <purpose> (DISPLAY=…)", or "(DISPLAY is not set)".
std::string noDisplayMessage(const std::string& purpose);

}  // namespace zorvan::host
