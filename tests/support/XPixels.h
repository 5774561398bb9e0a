// Reading back what a window shows, as the X server holds it, and finding the window
// of a process.
#pragma once

#include "support/Pictures.h"

#include <X11/Xlib.h>

#include <string>

namespace zorvan::test {

// The width x height area at (x, y) of `drawable`; empty when it cannot be read.
Shot readPixels(Display* display, Drawable drawable, int x, int y, int width, int height);
// The whole screen.
Shot readScreen(Display* display);

// A window's id as the program's options and XSCREENSAVER_WINDOW take it: 0x...
std::string hexId(unsigned long window);

// The process that says it owns `window` (_NET_WM_PID), or -1.
long pidOf(Display* display, Window window);
// The top-level window of process `pid` (with the title `title`, when given), waited
// for up to ten seconds; 0 when none. Windows that go while it looks are passed over.
Window windowOf(Display* display, int pid, const char* title = nullptr);

// The DAMAGE notifications (event base `damageEvent`) that come in `seconds`: the frames
// put on a window the caller made a Damage for, each one picture.
long damageFrames(Display* display, int damageEvent, double seconds);

}  // namespace zorvan::test
