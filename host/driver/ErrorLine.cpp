#include "host/driver/ErrorLine.h"

#include <cstdio>
#include <cstdlib>

namespace zorvan::host {

void reportError(const std::string& message) {
    std::string line = "zorvan: " + message;
    // One line, whatever the message carries.
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::string noDisplayMessage(const std::string& purpose) {
    const char* name = std::getenv("DISPLAY");
    return "no X display " + purpose +
           (name && *name ? std::string(" (DISPLAY=") + name + ")" : std::string(" (DISPLAY is not set)"));
}

}  // namespace zorvan::host
