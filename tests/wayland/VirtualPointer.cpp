// zorvan-test-pointer [FD]: a pointer for the tests to move on a compositor that has no
// input devices. It makes a virtual pointer on the compositor's seat and says "ready",
// then reads one command a line and answers "ok" once the compositor has taken it (or
// "error: ..." to a line it does not understand); it ends at the end of its input. It
// talks on stdin and stdout, or on the inherited descriptor FD when given one.
//
//   move DX DY       relative motion, in logical pixels
//   at X Y W H       absolute motion to (X, Y) of a W x H box over the whole layout
//   button           a press and release of the left button
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace {

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* g = static_cast<Globals*>(data);
    if (!g->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        g->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void globalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener{global, globalRemove};

uint32_t now() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        const int fd = std::atoi(argv[1]);
        if (dup2(fd, 0) < 0 || dup2(fd, 1) < 0) return 1;
        if (fd > 1) close(fd);
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "zorvan-test-pointer: no Wayland display\n");
        return 1;
    }
    Globals g;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &g);
    wl_display_roundtrip(display);
    if (!g.manager) {
        std::fprintf(stderr, "zorvan-test-pointer: the compositor has no virtual pointers\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.manager, g.seat);
    if (wl_display_roundtrip(display) < 0) return 1;
    std::cout << "ready" << std::endl;

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        double dx = 0, dy = 0;
        uint32_t x = 0, y = 0, w = 0, h = 0;
        if (command == "move" && in >> dx >> dy) {
            zwlr_virtual_pointer_v1_motion(pointer, now(), wl_fixed_from_double(dx), wl_fixed_from_double(dy));
        } else if (command == "at" && in >> x >> y >> w >> h) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), x, y, w, h);
        } else if (command == "button") {
            zwlr_virtual_pointer_v1_button(pointer, now(), BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, now(), BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
        } else {
            std::cout << "error: " << line << std::endl;
            continue;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        if (wl_display_roundtrip(display) < 0) {
            std::fprintf(stderr, "zorvan-test-pointer: the compositor closed the connection\n");
            return 1;
        }
        std::cout << "ok" << std::endl;
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(g.manager);
    if (g.seat) wl_seat_destroy(g.seat);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
