// The window's title bar and borders through libdecor: the compositor's own where it
// offers them (xdg-decoration), else drawn by libdecor's plugin. The window's
// configures and its close come through it.
// Implements: one decorated window (libdecor 0.1 gives its errors no user data: they go
// to the decoration made last), its title and app id, mapping it, the content size that
// libdecor proposes, committing the surface when libdecor asks.
// Does not implement: popups, window states of our own (maximised, tiled: libdecor and
// the compositor keep them), a window without libdecor (the backend makes a bare
// toplevel then).
#pragma once

#include <functional>
#include <string>
#include <utility>

struct libdecor;
struct libdecor_configuration;
struct libdecor_frame;
struct wl_display;
struct wl_surface;

namespace zorvan::host {

class WaylandDecoration {
public:
    struct Handlers {
        // A configure: the content size libdecor proposes (0 x 0: none); returns the
        // size the window takes.
        std::function<std::pair<int, int>(int width, int height)> configure;
        std::function<void()> close;
    };

    // libdecor on `display`; its errors are kept from now on.
    explicit WaylandDecoration(wl_display* display);
    ~WaylandDecoration();
    WaylandDecoration(const WaylandDecoration&) = delete;
    WaylandDecoration& operator=(const WaylandDecoration&) = delete;

    // Decorates, titles and maps `surface`; false where libdecor cannot.
    bool decorate(wl_surface* surface, const char* title, const char* appId, Handlers handlers);
    // Lets the decorated surface go, before it is destroyed.
    void undecorate();

    // "the window's decorations failed: …" once libdecor reported an error; else empty.
    const std::string& error() const { return error_; }

    // The handlers of libdecor's interfaces.
    void failed(const char* message);
    void configured(libdecor_frame* frame, libdecor_configuration* configuration);
    void closed() { handlers_.close(); }
    void commit();

private:
    libdecor* context_ = nullptr;
    libdecor_frame* frame_ = nullptr;
    wl_surface* surface_ = nullptr;
    Handlers handlers_;
    std::string error_;
};

}  // namespace zorvan::host
