#include "host/backends/wayland/WaylandDecoration.h"

#include <libdecor.h>
#include <wayland-client.h>

namespace zorvan::host {

namespace {

// libdecor's errors name no frame: they go to the decoration made last.
WaylandDecoration* errorOwner = nullptr;

// libdecor's interfaces are not const: it keeps them as they are given.
libdecor_interface contextInterface = [] {
    libdecor_interface i{};
    i.error = [](libdecor*, libdecor_error, const char* message) {
        if (errorOwner) errorOwner->failed(message);
    };
    return i;
}();

WaylandDecoration* decorationOf(void* data) { return static_cast<WaylandDecoration*>(data); }

libdecor_frame_interface frameInterface = [] {
    libdecor_frame_interface i{};
    i.configure = [](libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
        decorationOf(data)->configured(frame, configuration);
    };
    i.close = [](libdecor_frame*, void* data) { decorationOf(data)->closed(); };
    i.commit = [](libdecor_frame*, void* data) { decorationOf(data)->commit(); };
    i.dismiss_popup = [](libdecor_frame*, const char*, void*) {};
    return i;
}();

}  // namespace

WaylandDecoration::WaylandDecoration(wl_display* display) {
    errorOwner = this;
    context_ = libdecor_new(display, &contextInterface);
}

WaylandDecoration::~WaylandDecoration() {
    undecorate();
    if (context_) libdecor_unref(context_);
    if (errorOwner == this) errorOwner = nullptr;
}

bool WaylandDecoration::decorate(wl_surface* surface, const char* title, const char* appId, Handlers handlers) {
    if (!context_ || frame_) return false;
    surface_ = surface;
    handlers_ = std::move(handlers);
    frame_ = libdecor_decorate(context_, surface, &frameInterface, this);
    if (!frame_) return false;
    libdecor_frame_set_title(frame_, title);
    libdecor_frame_set_app_id(frame_, appId);
    libdecor_frame_map(frame_);
    return true;
}

void WaylandDecoration::undecorate() {
    if (frame_) libdecor_frame_unref(frame_);
    frame_ = nullptr;
}

void WaylandDecoration::failed(const char* message) {
    if (error_.empty()) error_ = std::string("the window's decorations failed: ") + message;
}

void WaylandDecoration::configured(libdecor_frame* frame, libdecor_configuration* configuration) {
    int width = 0, height = 0;
    if (!libdecor_configuration_get_content_size(configuration, frame, &width, &height)) width = height = 0;
    const auto [takenWidth, takenHeight] = handlers_.configure(width, height);
    libdecor_state* state = libdecor_state_new(takenWidth, takenHeight);
    libdecor_frame_commit(frame, state, configuration);
    libdecor_state_free(state);
}

void WaylandDecoration::commit() { wl_surface_commit(surface_); }

}  // namespace zorvan::host
