// The registry listener of a Wayland client that keeps its globals in one object: each
// global announced goes to Owner::global(name, interface, version), each removed one to
// Owner::globalRemoved(name), with the listener's data the owner. It binds nothing.
#pragma once

#include <wayland-client.h>

namespace zorvan::host {

template <typename Owner>
inline const wl_registry_listener registryListenerOf = {
    [](void* data, wl_registry*, uint32_t name, const char* interface, uint32_t version) {
        static_cast<Owner*>(data)->global(name, interface, version);
    },
    [](void* data, wl_registry*, uint32_t name) { static_cast<Owner*>(data)->globalRemoved(name); },
};

}  // namespace zorvan::host
