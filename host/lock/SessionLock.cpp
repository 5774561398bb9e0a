#include "host/lock/SessionLock.h"

#include "host/backends/wayland/RegistryListener.h"
#include "host/backends/wayland/ShmBuffer.h"

#include "ext-session-lock-v1-client-protocol.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>

namespace zorvan::lock {

// An output and its lock surface.
struct LockOutput {
    SessionLock* owner = nullptr;
    uint32_t name = 0;  // the registry's
    wl_output* output = nullptr;
    int scale = 1, drawnScale = 0;  // the output's, and the one its buffer was drawn at
    wl_surface* surface = nullptr;
    ext_session_lock_surface_v1* lockSurface = nullptr;
    uint32_t width = 0, height = 0;  // the lock surface's, in points; 0 until configured
};

namespace {

SessionLock* lockOf(void* data) { return static_cast<SessionLock*>(data); }

const ext_session_lock_v1_listener lockListener = {
    [](void* data, ext_session_lock_v1*) { lockOf(data)->setLocked(); },
    [](void* data, ext_session_lock_v1*) { lockOf(data)->setFinished(); },
};

const ext_session_lock_surface_v1_listener lockSurfaceListener = {
    [](void* data, ext_session_lock_surface_v1*, uint32_t serial, uint32_t width, uint32_t height) {
        auto* output = static_cast<LockOutput*>(data);
        output->owner->configure(*output, serial, width, height);
    },
};

// Forgets a proxy on this side only: nothing is sent, so that no way out but the unlock
// tells the compositor anything.
template <typename Proxy>
void forget(Proxy*& proxy) {
    if (proxy) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(proxy));
    proxy = nullptr;
}

// Buffers are drawn once and given away: each goes when the compositor releases it.
const wl_buffer_listener bufferListener = {
    [](void*, wl_buffer* buffer) { wl_buffer_destroy(buffer); },
};

// The output's scale; a change is drawn once the output's description is done.
const wl_output_listener outputListener = [] {
    wl_output_listener l{};
    l.geometry = [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                    int32_t) {};
    l.mode = [](void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {};
    l.done = [](void* data, wl_output*) {
        auto* output = static_cast<LockOutput*>(data);
        if (output->width && output->scale != output->drawnScale) output->owner->draw(*output);
    };
    l.scale = [](void* data, wl_output*, int32_t scale) { static_cast<LockOutput*>(data)->scale = std::max(1, scale); };
    return l;
}();

}  // namespace

SessionLock::SessionLock() = default;

SessionLock::~SessionLock() {
    if (!display_) return;
    seat_.reset();  // releases the keyboard and pointer: allowed whether locked or not
    for (auto& output : outputs_) {
        forget(output->lockSurface);
        forget(output->surface);
        forget(output->output);
    }
    forget(lock_);
    forget(manager_);
    forget(shm_);
    forget(compositor_);
    forget(registry_);
    wl_display_disconnect(display_);
}

SessionLock::Opened SessionLock::open() {
    // Only a compositor named in the environment: libwayland's own fallback (wayland-0)
    // would guess, and complain on stderr where no runtime folder is set.
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    if ((name && *name) || (socket && *socket)) display_ = wl_display_connect(nullptr);
    if (!display_) return Opened::NoDisplay;
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &host::registryListenerOf<SessionLock>, this);
    if (wl_display_roundtrip(display_) < 0) return Opened::Broken;
    if (!manager_) return Opened::NoLockProtocol;
    return compositor_ && shm_ ? Opened::Ready : Opened::Broken;
}

void SessionLock::global(uint32_t name, const char* interface, uint32_t version) {
    auto bind = [&](const wl_interface* type, uint32_t most) {
        return wl_registry_bind(registry_, name, type, std::min(version, most));
    };
    const std::string_view which = interface;
    if (which == wl_compositor_interface.name && !compositor_) {
        compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (which == wl_shm_interface.name && !shm_) {
        shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (which == ext_session_lock_manager_v1_interface.name && !manager_) {
        manager_ = static_cast<ext_session_lock_manager_v1*>(bind(&ext_session_lock_manager_v1_interface, 1));
    } else if (which == wl_seat_interface.name && !seatName_ && version >= 3) {
        // Bound once the lock is asked for, with the key sink in place before any keymap.
        seatName_ = name;
        seatVersion_ = std::min(version, 5u);
    } else if (which == wl_output_interface.name) {
        auto output = std::make_unique<LockOutput>();
        output->owner = this;
        output->name = name;
        output->output = static_cast<wl_output*>(bind(&wl_output_interface, 3));
        wl_output_add_listener(output->output, &outputListener, output.get());
        if (lock_) addLockSurface(*output);
        outputs_.push_back(std::move(output));
    }
}

void SessionLock::globalRemoved(uint32_t name) {
    auto gone = std::find_if(outputs_.begin(), outputs_.end(), [&](auto& o) { return o->name == name; });
    if (gone == outputs_.end()) return;
    LockOutput& output = **gone;
    if (output.surface == pointerSurface_) pointerSurface_ = nullptr;
    if (output.lockSurface) ext_session_lock_surface_v1_destroy(output.lockSurface);
    if (output.surface) wl_surface_destroy(output.surface);
    if (wl_output_get_version(output.output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) wl_output_release(output.output);
    else wl_output_destroy(output.output);
    outputs_.erase(gone);
    // The prompt may have been on it.
    if (LockOutput* first = promptOutput()) draw(*first);
}

void SessionLock::lock(host::WaylandSeat::KeySink keys) {
    lock_ = ext_session_lock_manager_v1_lock(manager_);
    ext_session_lock_v1_add_listener(lock_, &lockListener, this);
    for (auto& output : outputs_) addLockSurface(*output);
    if (seatName_) {
        auto* seat = static_cast<wl_seat*>(wl_registry_bind(registry_, seatName_, &wl_seat_interface, seatVersion_));
        seat_ = std::make_unique<host::WaylandSeat>(seat, host::WaylandSeat::Ends::Nothing,
                                                    [](wl_surface*, double&, double&) {});
        seat_->setKeySink(std::move(keys));
        seat_->setPointerSink([this](wl_surface* surface) { pointerEntered(surface); });
    }
}

void SessionLock::addLockSurface(LockOutput& output) {
    output.surface = wl_compositor_create_surface(compositor_);
    output.lockSurface = ext_session_lock_v1_get_lock_surface(lock_, output.surface, output.output);
    ext_session_lock_surface_v1_add_listener(output.lockSurface, &lockSurfaceListener, &output);
}

// Every configure is answered with a buffer of exactly the size asked, as the protocol
// wants; a buffer that cannot be had leaves the surface without one (the compositor
// shows its own locked screen there).
void SessionLock::configure(LockOutput& output, uint32_t serial, uint32_t width, uint32_t height) {
    ext_session_lock_surface_v1_ack_configure(output.lockSurface, serial);
    output.width = width;
    output.height = height;
    draw(output);
}

// The prompt goes on the output with the pointer, else on the first that has its lock
// surface configured.
LockOutput* SessionLock::promptOutput() const {
    for (auto& output : outputs_)
        if (output->width && output->surface == pointerSurface_) return output.get();
    for (auto& output : outputs_)
        if (output->width) return output.get();
    return nullptr;
}

// The prompt follows the pointer: drawn anew where it goes, black where it was.
void SessionLock::pointerEntered(wl_surface* surface) {
    LockOutput* was = promptOutput();
    pointerSurface_ = surface;
    LockOutput* now = promptOutput();
    if (now == was) return;
    if (was) draw(*was);
    if (now) draw(*now);
}

void SessionLock::show(const PromptText& prompt) {
    prompt_ = prompt;
    if (LockOutput* output = promptOutput()) draw(*output);
}

void SessionLock::draw(LockOutput& output) {
    const int scale = output.scale, width = int(output.width) * scale, height = int(output.height) * scale;
    std::function<void(unsigned char*, int)> paint;
    if (&output == promptOutput())
        paint = [&](unsigned char* pixels, int stride) { drawPrompt(pixels, width, height, stride, scale, prompt_); };
    wl_buffer* buffer = host::shmBuffer(shm_, width, height, paint);
    if (!buffer) return;
    wl_buffer_add_listener(buffer, &bufferListener, nullptr);  // it goes once the compositor is done with it
    output.drawnScale = scale;
    wl_surface_set_buffer_scale(output.surface, scale);
    wl_surface_attach(output.surface, buffer, 0, 0);
    wl_surface_damage(output.surface, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(output.surface);
}

int SessionLock::fd() const { return wl_display_get_fd(display_); }

bool SessionLock::prepare() {
    while (wl_display_prepare_read(display_) != 0)
        if (wl_display_dispatch_pending(display_) < 0) return false;
    reading_ = true;
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display_);
        reading_ = false;
        return false;
    }
    return true;
}

bool SessionLock::afterPoll(bool readable) {
    if (reading_) {
        reading_ = false;
        if (readable) {
            if (wl_display_read_events(display_) < 0) return false;
        } else {
            wl_display_cancel_read(display_);
        }
    }
    return wl_display_dispatch_pending(display_) >= 0;
}

bool SessionLock::unlock() {
    if (!lock_ || !locked_) return false;
    ext_session_lock_v1_unlock_and_destroy(lock_);
    lock_ = nullptr;
    return wl_display_roundtrip(display_) >= 0;
}

}  // namespace zorvan::lock
