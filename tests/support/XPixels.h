// Reading back what a window shows, as the X server holds it, and finding the window
// of a process.
#pragma once

#include <X11/Xlib.h>

#include <functional>

namespace zorvan::test {

// How many pixels of the width x height area at (x, y) of `drawable` `counts` accepts,
// given each pixel as 0xRRGGBB; -1 when the area cannot be read.
long countPixels(Display* display, Drawable drawable, int x, int y, int width, int height,
                 const std::function<bool(unsigned long rgb)>& counts);

// How many pixels of the area are not black; -1 when it cannot be read.
long litPixels(Display* display, Drawable drawable, int x, int y, int width, int height);

// The process that says it owns `window` (_NET_WM_PID), or -1.
long pidOf(Display* display, Window window);
// The top-level window of process `pid` (with the title `title`, when given), waited
// for up to ten seconds; 0 when none. Windows that go while it looks are passed over.
Window windowOf(Display* display, int pid, const char* title = nullptr);

}  // namespace zorvan::test
