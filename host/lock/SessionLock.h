// The lock screen's Wayland side: the session lock (ext-session-lock-v1) on the compositor
// of WAYLAND_DISPLAY. It asks for the lock, gives each output a lock surface (outputs
// plugged in while locked too; removed ones are released), answers each configure with an
// opaque black shm buffer of the size asked at the output's scale, the prompt drawn on
// the one with the pointer (else the first), hands the seat's key presses to a sink, and unlocks when told. The
// session stays locked when the program ends any other way: no request is sent on the
// way out but the unlock.
// Does not implement: the swarm behind the prompt (the outputs are black), key repeat,
// more than one seat.
#pragma once

#include "host/backends/wayland/WaylandSeat.h"
#include "host/lock/LockPrompt.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct wl_display;
struct wl_surface;
struct wl_registry;
struct wl_compositor;
struct wl_shm;
struct ext_session_lock_manager_v1;
struct ext_session_lock_v1;

namespace zorvan::lock {

struct LockOutput;

class SessionLock {
public:
    enum class Opened { Ready, NoDisplay, NoLockProtocol, Broken };

    SessionLock();
    ~SessionLock();
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    // Connects and reads the compositor's globals.
    Opened open();
    // Asks for the lock; key presses go to `keys` from then on.
    void lock(host::WaylandSeat::KeySink keys);

    // The compositor has locked the session (every output shows a lock surface).
    bool locked() const { return locked_; }
    // The compositor will not lock, or no longer: another locker holds it, or it refused.
    bool finished() const { return finished_; }

    // The event loop's two halves around poll(): before it, what was read is handled and
    // the requests flushed (false once the connection is lost); after it, what came is
    // read when `readable`.
    bool prepare();
    bool afterPoll(bool readable);
    int fd() const;

    // Unlocks a locked session and waits for the compositor to have read it; false when
    // the connection failed on the way.
    bool unlock();

    // Shows `prompt` from now on.
    void show(const PromptText& prompt);

    // The handlers of the listeners.
    void global(uint32_t name, const char* interface, uint32_t version);
    void globalRemoved(uint32_t name);
    void setLocked() { locked_ = true; }
    void setFinished() { finished_ = true; }
    void configure(LockOutput& output, uint32_t serial, uint32_t width, uint32_t height);
    // Gives the output's lock surface a new buffer: black, with the prompt on the first.
    void draw(LockOutput& output);
    void pointerEntered(wl_surface* surface);

private:
    void addLockSurface(LockOutput& output);
    LockOutput* promptOutput() const;

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    ext_session_lock_manager_v1* manager_ = nullptr;
    ext_session_lock_v1* lock_ = nullptr;
    uint32_t seatName_ = 0, seatVersion_ = 0;  // the registry's name of the seat; 0: none
    std::unique_ptr<host::WaylandSeat> seat_;
    host::WaylandSeat::KeySink keys_;
    std::vector<std::unique_ptr<LockOutput>> outputs_;
    PromptText prompt_;
    wl_surface* pointerSurface_ = nullptr;  // the lock surface the pointer is on
    bool reading_ = false;
    bool locked_ = false, finished_ = false;
};

}  // namespace zorvan::lock
