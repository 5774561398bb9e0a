// The table of backends: which window system draws which form of the saver, asked in
// this order. A row's `accepts` reads only the options and the environment; its `make`
// opens the backend (which reports its own failures), or says no by returning null,
// and the next row is asked.
#include "host/backends/Backends.h"

#include "host/driver/SpanSystem.h"

#include <cstdlib>
#include <iterator>

namespace zorvan::host {

// Each in its folder: host/backends/<name>/.
std::unique_ptr<WindowSystem> makeOffscreenBackend(const Options& options);
std::unique_ptr<WindowSystem> makeX11Backend(const Options& options, StopSignals& stop);
#if ZORVAN_WAYLAND
std::unique_ptr<WindowSystem> makeWaylandBackend(const Options& options, StopSignals& stop);
#endif

namespace {

struct Backend {
    const char* name;
    bool (*accepts)(const Options& options);
    std::unique_ptr<WindowSystem> (*make)(const Options& options, StopSignals& stop);
};

bool named(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

const Backend BACKENDS[] = {
    // --render FILE (with --size, --scale, --frames, --dump-motes): no display needed.
    {"offscreen", [](const Options& o) { return o.action == Options::Action::Render; },
     [](const Options& o, StopSignals&) { return makeOffscreenBackend(o); }},
#if ZORVAN_WAYLAND
    // A window of its own, --fullscreen or --wallpaper in a Wayland session
    // (WAYLAND_DISPLAY or WAYLAND_SOCKET), unless --x11; --wallpaper always, as it
    // exists only here (without a session it says so). It comes before X11: a session
    // that also offers XWayland gets the native one. A named compositor that does not
    // answer leaves a window or --fullscreen to X11 where DISPLAY is set, with a warning
    // (make returns null).
    {"wayland",
     [](const Options& o) {
         return o.action == Options::Action::Window && o.target == Options::Target::OwnWindow && !o.x11 &&
                (o.wallpaper || named("WAYLAND_DISPLAY") || named("WAYLAND_SOCKET"));
     },
     makeWaylandBackend},
#endif
    // Every other form on the X display: a window of its own (--window, --size),
    // --fullscreen, and the windows handed over: --root (or XSCREENSAVER_WINDOW) and
    // --window-id.
    {"x11", [](const Options& o) { return o.action == Options::Action::Window && !o.wallpaper; }, makeX11Backend},
};

}  // namespace

std::unique_ptr<WindowSystem> openWindowSystem(const Options& options, StopSignals& stop) {
    for (const Backend& backend : BACKENDS)
        if (backend.accepts(options))
            if (auto system = backend.make(options, stop)) {
                // --span: one view over the screens that the backend makes.
                if (options.span) return std::make_unique<SpanSystem>(std::move(system));
                return system;
            }
    return nullptr;
}

}  // namespace zorvan::host
