// The application's part in a sheet's life: ending it.
//
// Backends: GTK 3 (GtkApplication.cpp): ending a sheet hides its window; the host that
// showed it hears of that (the window's "hide") and destroys it. None in a saver run
// (NoControls.cpp).
#pragma once

namespace zorvan {

class Control;

class Application {
public:
    // Ends the sheet whose window is `sheet`. Null, or a window already gone, is ignored.
    static void endSheet(Control* sheet);
};

}  // namespace zorvan
