// A private X server (Xvfb) of 2560x1024 split into two logical monitors of 1280x1024
// side by side, the left one first (or one monitor of any size); DISPLAY points at it,
// for the test and the programs it starts, while the object lives.
#pragma once

#include "support/TestSupport.h"

#include <optional>
#include <string>

typedef struct _XDisplay Display;

namespace zorvan::test {

class TwoMonitorDisplay {
public:
    static constexpr int WIDTH = 2560, HEIGHT = 1024, MONITOR_WIDTH = 1280;

    TwoMonitorDisplay();   // starts the server; see ok()
    // Instead a screen of width x height: one monitor, or two of half its width.
    TwoMonitorDisplay(int width, int height, bool split = false);
    ~TwoMonitorDisplay();  // ends it
    TwoMonitorDisplay(const TwoMonitorDisplay&) = delete;
    TwoMonitorDisplay& operator=(const TwoMonitorDisplay&) = delete;

    // False, with why() saying what is missing, when the server could not be set up.
    bool ok() const { return display_ != nullptr; }
    const std::string& why() const { return why_; }
    const std::string& name() const { return name_; }
    Display* display() const { return display_; }

    // Ends the server now (the test's own connection is closed first).
    void stopServer();

    // The pixels that are not black in a rectangle of the screen.
    long litPixels(int x, int y, int width, int height) const;
    // Waits up to `seconds` for at least `count` lit pixels there.
    bool waitForLit(int x, int y, int width, int height, long count, double seconds) const;
    // Saves the screen as a PNG under the build tree's test-shots folder, for people to
    // look at; returns the path.
    std::string screenshot(const std::string& name) const;

private:
    void start(int width, int height, bool split);
    int serverPid_ = -1;
    std::string name_, why_;
    Display* display_ = nullptr;
    std::optional<EnvVar> displayVar_;  // DISPLAY, put back at the end
};

}  // namespace zorvan::test
