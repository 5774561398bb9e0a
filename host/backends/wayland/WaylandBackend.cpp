// Wayland backend of the frame driver: Zorvan as a native client of the compositor
// named by WAYLAND_DISPLAY. --fullscreen puts one surface on the overlay layer of each
// output (an xdg toplevel set full screen on it where the compositor has no layer
// shell), --wallpaper one on the bottom layer, the lock screen a lock surface of the
// session lock (ext-session-lock-v1) on each, and a plain run opens an xdg toplevel
// window; each surface is a screen with an EGL view.
// Implements: the outputs' logical frames (origin at the lower-left corner of the
// output at logical 0,0); each surface's scale as its view's backing scale (--scale
// overrides): a fractional one where the compositor offers wp_fractional_scale_v1 (the
// buffer at full resolution, wp_viewporter giving its size in points), else the
// output's whole scale as the buffer scale, set before the first buffer; outputs
// plugged in or removed during the run; the window's decorations through libdecor (the
// compositor's own where it offers them, else drawn by libdecor's plugin); the ends of a
// run (the input that WaylandSeat says ends it; the close of the window; the
// compositor closing the surfaces; the connection lost); opaque surfaces (black where a
// view draws nothing); frames paced per surface by its frame callbacks (a covered or
// unmapped surface draws nothing); with --span, the EGL contexts of all surfaces
// sharing their objects. The lock form answers each configure of a lock surface that has
// no view yet with black at once, so that the compositor can lock before GL is ready; it
// never destroys the lock but through the unlock, so every other way out leaves the
// session locked. The outputs are described in WaylandOutput, the window's decorations in
// WaylandDecoration, the lock's prompt in PromptSurface.
// Does not implement: the gamma fade (clients get no gamma ramps on Wayland), a cursor
// of its own (full screen hides the pointer; the window
// leaves it to the compositor), following an output's new position, drawing (the views
// do, on the EGL views it keeps).
#include "host/backends/wayland/LockScreen.h"
#include "host/backends/wayland/RegistryListener.h"
#include "host/backends/wayland/ShmBuffer.h"
#include "host/backends/wayland/WaylandDecoration.h"
#include "host/backends/wayland/WaylandOutput.h"
#include "host/backends/wayland/WaylandSeat.h"
#include "host/cli/Options.h"
#include "host/driver/ErrorLine.h"
#include "host/driver/Monitors.h"
#include "host/driver/StopSignals.h"
#include "host/driver/WindowSystem.h"

#include "platform/gl/EglView.h"

#include "ext-session-lock-v1-client-protocol.h"
#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <sys/mman.h>
#include <fcntl.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zorvan::host {

namespace {

constexpr int DEFAULT_WIDTH = 1280;
constexpr int DEFAULT_HEIGHT = 720;
// How long the compositor may take to describe its outputs and configure the surfaces.
constexpr auto SETUP_TIME = std::chrono::seconds(5);
// wp_fractional_scale_v1 gives scales in 120ths.
constexpr double FRACTION = 120.0;
const char TITLE[] = "Zorvan";
const char APP_ID[] = "zorvan";

enum class Form { Window, Fullscreen, Wallpaper, Lock };

class WaylandBackend;

// One surface: a screen of the driver.
struct Surface {
    WaylandBackend* backend = nullptr;
    WaylandOutput* output = nullptr;  // none for the window
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    ext_session_lock_surface_v1* lockSurface = nullptr;
    bool decorated = false;  // the window, with its decorations through libdecor
    wp_viewport* viewport = nullptr;
    wp_fractional_scale_v1* fractional = nullptr;
    double preferredScale = 0.0;  // the compositor's fractional scale for it; 0: none yet
    wl_callback* frame = nullptr;
    // Its view's, once made; none: the view draws nothing, black shows.
    std::unique_ptr<EglView> gl;
    int width = 0, height = 0;                // in points, as the view has it
    int pendingWidth = 0, pendingHeight = 0;  // as last configured
    int toplevelWidth = 0, toplevelHeight = 0;  // as the toplevel's configure has it
    double scale = 1.0;
    bool configured = false;
    bool frameDue = true;    // the compositor wants a frame (its callback came)
    bool closed = false;     // the compositor closed it
    wl_buffer* black = nullptr;
    std::vector<wl_output*> entered;  // outputs it is on (the window's scale)
};

// The listeners: C callbacks that hand over to the backend's members.
extern const wl_registry_listener registryListener;
extern const xdg_wm_base_listener wmBaseListener;
extern const xdg_surface_listener xdgSurfaceListener;
extern const xdg_toplevel_listener toplevelListener;
extern const zwlr_layer_surface_v1_listener layerListener;
extern const wl_surface_listener surfaceListener;
extern const wl_callback_listener frameListener;
extern const wp_fractional_scale_v1_listener fractionalListener;
extern const ext_session_lock_v1_listener lockListener;
extern const ext_session_lock_surface_v1_listener lockSurfaceListener;

class WaylandBackend : public LockScreen {
public:
    // Without a display the backend only reports `unreachable` (why WAYLAND_DISPLAY's
    // compositor could not be reached, or empty when none is named). The lock screen's
    // key presses go to `keys`.
    WaylandBackend(const Options& options, StopSignals& stop, wl_display* display, std::string unreachable = "",
                   WaylandSeat::KeySink keys = {})
        : options_(options), stop_(stop), display_(display), unreachable_(std::move(unreachable)),
          form_(options.action == Options::Action::Lock ? Form::Lock
                : options.wallpaper                     ? Form::Wallpaper
                : options.fullscreen                    ? Form::Fullscreen
                                                        : Form::Window),
          keys_(std::move(keys)) {}
    WaylandBackend(const WaylandBackend&) = delete;
    WaylandBackend& operator=(const WaylandBackend&) = delete;

    ~WaylandBackend() override {
        if (!display_) return;
        prompt_.reset();
        for (size_t i = 0; i < surfaces_.size(); ++i) forget(i);
        // A lock still held is let go on this side only: the compositor keeps the session
        // locked when its locker goes without unlocking.
        if (lock_) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(lock_));
        if (lockManager_) ext_session_lock_manager_v1_destroy(lockManager_);
        egl_.reset();
        seat_.reset();
        decor_.reset();
        for (auto& o : outputs_) o->release();
        if (fractionalManager_) wp_fractional_scale_manager_v1_destroy(fractionalManager_);
        if (viewporter_) wp_viewporter_destroy(viewporter_);
        if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
        if (outputManager_) zxdg_output_manager_v1_destroy(outputManager_);
        if (wmBase_) xdg_wm_base_destroy(wmBase_);
        if (subcompositor_) wl_subcompositor_destroy(subcompositor_);
        if (shm_) wl_shm_destroy(shm_);
        if (compositor_) wl_compositor_destroy(compositor_);
        if (registry_) wl_registry_destroy(registry_);
        wl_display_disconnect(display_);
    }

    std::vector<ScreenSpec> screens() override {
        if (form_ == Form::Lock && !display_)
            return fail("--lock needs a Wayland compositor that offers the session lock (ext-session-lock-v1), and " +
                            (unreachable_.empty() ? std::string("none is named (WAYLAND_DISPLAY)") : unreachable_) +
                            "; lock with the desktop's own locker",
                        2);
        if (!display_ && !unreachable_.empty())
            return fail(unreachable_ + (options_.wallpaper ? ", which --wallpaper needs"
                                                           : ", and no X display (DISPLAY is not set)"),
                        2);
        if (!display_)
            return fail("--wallpaper needs a Wayland session: no Wayland display in WAYLAND_DISPLAY to draw on", 2);
        registry_ = wl_display_get_registry(display_);
        wl_registry_add_listener(registry_, &registryListenerOf<WaylandBackend>, this);
        // The globals, then the outputs' descriptions.
        if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0)
            return fail("lost the connection to the Wayland display");
        // A window needs the xdg shell; the other forms take the layer shell, else it.
        if (!compositor_ || (!wmBase_ && (form_ == Form::Window || (form_ != Form::Lock && !layerShell_))))
            return fail("the Wayland compositor offers no shell to show a surface in");
        if (form_ == Form::Wallpaper && !layerShell_)  // as for no display: nowhere to draw a wallpaper
            return fail("the Wayland compositor offers no layer shell, which --wallpaper needs", 2);
        // Never a lock of another kind: a surface over the others can be got past.
        if (form_ == Form::Lock && !lockManager_)
            return fail("this compositor offers no session lock (ext-session-lock-v1); lock with the desktop's own "
                        "locker",
                        2);
        std::string error;
        egl_ = EglConnection::open(display_, gpuBuffers_, error);
        if (!egl_) return fail(error);

        if (form_ == Form::Window) {
            // libdecor asks for the compositor's decorations where it offers them and
            // draws its own elsewhere; without it the window is a bare toplevel.
            decor_ = std::make_unique<WaylandDecoration>(display_);
            addWindow();
        } else {
            if (form_ == Form::Lock) {
                lock_ = ext_session_lock_manager_v1_lock(lockManager_);
                ext_session_lock_v1_add_listener(lock_, &lockListener, this);
            }
            for (auto& o : outputs_)
                if (o->described) addOutputSurface(*o);
            if (surfaces_.empty()) return fail("the Wayland compositor reports no outputs");
        }
        if (!dispatchUntil([this] { return allConfigured() || lockEnded_; }))
            return fail(stop_.requested() ? "" : "the Wayland compositor did not configure the surfaces");
        if (lockEnded_)
            return fail("the compositor will not lock the session: another locker holds it, or it refused");
        placePrompt();
        if (decor_ && !decor_->error().empty()) return fail(decor_->error());

        std::vector<ScreenSpec> specs;
        for (auto& s : surfaces_) specs.push_back(specOf(*s));
        reported_ = surfaces_.size();
        return specs;
    }
    int failureStatus() const override { return failure_; }
    bool preview() const override { return options_.preview; }

    // A view that draws nothing (the other outputs under mainScreenOnly) has no GL view:
    // the surface shows black, as an X window does.
    void viewMade(size_t i) override {
        Surface& s = *surfaces_[i];
        if (!s.gl) showBlack(s);
    }

    EndReason poll() override {
        if (wl_display_prepare_read(display_) == 0) {
            wl_display_flush(display_);
            if (stop_.waitForInput(wl_display_get_fd(display_), Clock::now())) wl_display_read_events(display_);
            else wl_display_cancel_read(display_);
        }
        if (wl_display_dispatch_pending(display_) < 0) {
            reportError("lost the connection to the Wayland display");
            return EndReason::Failed;
        }
        if (seat_ && form_ == Form::Lock) seat_->repeatKeys(Clock::now());
        if (seat_ && seat_->ended()) return EndReason::Input;
        if (lockEnded_) return EndReason::Closed;
        if (closeAsked_ || closedByCompositor()) return EndReason::Closed;
        return EndReason::NotYet;
    }

    ScreenChanges takeScreenChanges() override {
        ScreenChanges changes;
        for (size_t i = 0; i < reported_; ++i) {
            Surface* s = surfaces_[i].get();
            if (s && gone(*s)) changes.gone.push_back(i);  // forgotten at once: reported once
        }
        // In the order they were made; one closed before its first configure comes too,
        // and goes at the next call.
        for (; reported_ < surfaces_.size() && (surfaces_[reported_]->configured || gone(*surfaces_[reported_]));
             ++reported_)
            changes.added.push_back(specOf(*surfaces_[reported_]));
        return changes;
    }

    void forget(size_t i) override {
        if (i >= surfaces_.size() || !surfaces_[i]) return;
        Surface& s = *surfaces_[i];
        if (prompt_ && prompt_->parent() == s.surface) {
            prompt_->place(nullptr, 0, 0, 1.0);  // before its parent goes; placed anew below
            promptMoves_ = true;
        }
        s.gl.reset();  // the GL context and EGL window before their surface
        if (s.frame) wl_callback_destroy(s.frame);
        if (s.black) wl_buffer_destroy(s.black);
        if (s.fractional) wp_fractional_scale_v1_destroy(s.fractional);
        if (s.viewport) wp_viewport_destroy(s.viewport);
        if (s.decorated) decor_->undecorate();
        if (s.layer) zwlr_layer_surface_v1_destroy(s.layer);
        if (s.lockSurface) ext_session_lock_surface_v1_destroy(s.lockSurface);
        if (s.toplevel) xdg_toplevel_destroy(s.toplevel);
        if (s.xdgSurface) xdg_surface_destroy(s.xdgSurface);
        wl_surface_destroy(s.surface);
        if (pointerSurface_ == s.surface) pointerSurface_ = nullptr;
        surfaces_[i].reset();
        if (promptMoves_) placePrompt();
        wl_display_flush(display_);
    }

    std::optional<Resize> takeResize(size_t i) override {
        Surface& s = *surfaces_[i];
        const double scale = scaleOf(s);
        if (s.pendingWidth == s.width && s.pendingHeight == s.height && scale == s.scale) return std::nullopt;
        s.width = s.pendingWidth;
        s.height = s.pendingHeight;
        s.scale = scale;
        if (!s.gl) showBlack(s);
        else placeBuffer(s);
        // The prompt stays in the middle, at the new scale.
        if (prompt_ && prompt_->parent() == s.surface) prompt_->place(s.surface, s.width, s.height, s.scale);
        return Resize{Size{double(s.width), double(s.height)}, s.scale};
    }

    bool visible(size_t i) const override {
        const Surface* s = surfaces_[i].get();
        return s && s->gl && s->frameDue;
    }

    // Sleeps in poll on the connection and the signal pipe; poll() reads what came.
    void wait(std::optional<Clock::time_point> deadline) override {
        if (wl_display_prepare_read(display_) != 0) return;  // events are queued already
        wl_display_flush(display_);
        if (stop_.waitForInput(wl_display_get_fd(display_), deadline, wakeFd_)) wl_display_read_events(display_);
        else wl_display_cancel_read(display_);
    }

    bool locked() const override { return locked_; }
    bool lockEnded() const override { return lockEnded_; }

    bool unlock() override {
        if (!lock_ || !locked_) return false;
        ext_session_lock_v1_unlock_and_destroy(lock_);
        lock_ = nullptr;
        return wl_display_roundtrip(display_) >= 0;
    }

    void setPrompt(int width, int height, PromptSurface::Painter paint) override {
        promptWidth_ = width, promptHeight_ = height;
        promptPainter_ = std::move(paint);
    }

    void redrawPrompt() override {
        if (prompt_) prompt_->redraw();
    }

    void wakeOn(int fd) override { wakeFd_ = fd; }

    std::optional<Clock::time_point> nextKeyRepeat() const override {
        return seat_ ? seat_->nextRepeat() : std::nullopt;
    }

    int end(EndReason why) override {
        for (size_t i = 0; i < surfaces_.size(); ++i) forget(i);
        return why == EndReason::Failed ? 1 : 0;
    }

    // The handlers of the listeners below.
    void global(uint32_t name, const char* interface, uint32_t version) {
        const std::string_view iface(interface);
        auto bind = [&](const wl_interface* type, uint32_t highest) {
            return wl_registry_bind(registry_, name, type, std::min(version, highest));
        };
        if (iface == wl_compositor_interface.name) {
            compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
        } else if (iface == wl_subcompositor_interface.name) {
            subcompositor_ = static_cast<wl_subcompositor*>(bind(&wl_subcompositor_interface, 1));
        } else if (iface == ext_session_lock_manager_v1_interface.name && form_ == Form::Lock) {
            lockManager_ = static_cast<ext_session_lock_manager_v1*>(bind(&ext_session_lock_manager_v1_interface, 1));
        } else if (iface == wl_shm_interface.name) {
            shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
        } else if (iface == xdg_wm_base_interface.name) {
            wmBase_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 2));
            xdg_wm_base_add_listener(wmBase_, &wmBaseListener, this);
        } else if (iface == zwlr_layer_shell_v1_interface.name) {
            layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 4));
        } else if (iface == wp_viewporter_interface.name) {
            viewporter_ = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
        } else if (iface == wp_fractional_scale_manager_v1_interface.name) {
            fractionalManager_ = static_cast<wp_fractional_scale_manager_v1*>(
                bind(&wp_fractional_scale_manager_v1_interface, 1));
        } else if (iface == zxdg_output_manager_v1_interface.name) {
            outputManager_ = static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 2));
            for (auto& o : outputs_) o->describeLogically(outputManager_);
        } else if (iface == wl_seat_interface.name && !seat_) {
            // The lock screen's keys end nothing: they go to the lock's sink, from the
            // compositor's first keymap on.
            const auto ends = form_ == Form::Fullscreen ? WaylandSeat::Ends::AnyInput
                              : form_ == Form::Window   ? WaylandSeat::Ends::EscapeOrQ
                                                        : WaylandSeat::Ends::Nothing;
            seat_ = std::make_unique<WaylandSeat>(static_cast<wl_seat*>(bind(&wl_seat_interface, 5)), ends,
                                                  [this](wl_surface* surface, double& x, double& y) {
                                                      for (auto& s : surfaces_)
                                                          if (s && s->surface == surface && s->output)
                                                              x = s->output->logical.x, y = s->output->logical.y;
                                                  });
            if (form_ == Form::Lock) {
                seat_->setKeySink(keys_);
                seat_->setPointerSink([this](wl_surface* surface) {
                    pointerSurface_ = surface;
                    placePrompt();
                });
            }
        } else if ((iface == "zwp_linux_dmabuf_v1" && version >= 4) || iface == "wl_drm") {
            // EGL binds these itself. A linux-dmabuf before 4 names no device to draw with
            // (headless mutter without a GPU offers 3).
            gpuBuffers_ = true;
        } else if (iface == wl_output_interface.name) {
            outputs_.push_back(
                WaylandOutput::bind(registry_, name, version, [this](WaylandOutput& o) { outputDescribed(o); }));
            outputs_.back()->describeLogically(outputManager_);
        }
    }

    // An output that goes takes its surface with it; the driver hears of it next turn.
    void globalRemoved(uint32_t name) {
        for (auto& o : outputs_)
            if (o->name == name && !o->removed) {
                o->removed = true;
                o->release();
            }
    }

    // An output's first description is complete: a new one gets its surface (a new
    // scale or size of a known one comes as a resize).
    void outputDescribed(WaylandOutput& o) {
        if (egl_ && form_ != Form::Window && !o.removed) addOutputSurface(o);
    }

    void configured(Surface& s, int width, int height) {
        // 0 leaves the size to us: the one we have, else the output's (a full-screen
        // toplevel's first configure has no size yet) or the window's default.
        if (width > 0 && height > 0) {
            s.pendingWidth = width;
            s.pendingHeight = height;
        } else if (s.pendingWidth == 0) {
            s.pendingWidth = s.output ? s.output->logical.width : options_.width.value_or(DEFAULT_WIDTH);
            s.pendingHeight = s.output ? s.output->logical.height : options_.height.value_or(DEFAULT_HEIGHT);
        }
        s.configured = true;
    }

    // A lock surface is answered at once with a buffer of the size asked: black until its
    // view draws (then the view's next frame is the answer).
    void lockConfigured(Surface& s, uint32_t serial, int width, int height) {
        ext_session_lock_surface_v1_ack_configure(s.lockSurface, serial);
        const bool first = !s.configured;
        configured(s, width, height);
        if (!s.gl) showBlack(s, s.pendingWidth, s.pendingHeight);
        if (first && reported_ > 0) placePrompt();  // an output plugged in while locked
    }

    void setLocked() { locked_ = true; }
    void setLockEnded() { lockEnded_ = true; }

    void closeAsked() { closeAsked_ = true; }

private:
    static bool gone(const Surface& s) { return s.closed || (s.output && s.output->removed); }

    // A surface closed while its output stays: the compositor ends the run. (A removed
    // output's surface is closed too; the round trip lets the output's removal, which
    // the compositor may send after the close, arrive first.)
    bool closedByCompositor() {
        auto closedAlone = [this] {
            for (auto& s : surfaces_)
                if (s && s->closed && !(s->output && s->output->removed)) return true;
            return false;
        };
        return closedAlone() && wl_display_roundtrip(display_) >= 0 && closedAlone();
    }

    std::vector<ScreenSpec> fail(const std::string& message, int status = 1) {
        if (!message.empty()) reportError(message);
        failure_ = status;
        return {};
    }

    Surface& newSurface(WaylandOutput* output) {
        auto s = std::make_unique<Surface>();
        s->backend = this;
        s->output = output;
        s->surface = wl_compositor_create_surface(compositor_);
        wl_surface_add_listener(s->surface, &surfaceListener, s.get());
        if (form_ == Form::Wallpaper) {
            // Input goes to what is above, never to the wallpaper.
            wl_region* none = wl_compositor_create_region(compositor_);
            wl_surface_set_input_region(s->surface, none);
            wl_region_destroy(none);
        }
        // The buffer at full resolution where the compositor offers a fractional scale.
        if (viewporter_ && fractionalManager_) {
            s->viewport = wp_viewporter_get_viewport(viewporter_, s->surface);
            s->fractional = wp_fractional_scale_manager_v1_get_fractional_scale(fractionalManager_, s->surface);
            wp_fractional_scale_v1_add_listener(s->fractional, &fractionalListener, s.get());
        }
        surfaces_.push_back(std::move(s));
        return *surfaces_.back();
    }

    void addOutputSurface(WaylandOutput& o) {
        Surface& s = newSurface(&o);
        s.scale = scaleOf(s);
        if (form_ == Form::Lock) {
            s.lockSurface = ext_session_lock_v1_get_lock_surface(lock_, s.surface, o.output);
            ext_session_lock_surface_v1_add_listener(s.lockSurface, &lockSurfaceListener, &s);
            return;  // no commit before the first configure
        } else if (layerShell_) {
            // The wallpaper goes on the bottom layer, under every window: on the background
            // layer a compositor may stack it beneath its own background (sway draws the
            // newer surface of a layer first), hidden and yet drawing.
            const uint32_t layer = form_ == Form::Wallpaper ? ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM
                                                            : ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY;
            s.layer = zwlr_layer_shell_v1_get_layer_surface(layerShell_, s.surface, o.output, layer, APP_ID);
            zwlr_layer_surface_v1_add_listener(s.layer, &layerListener, &s);
            zwlr_layer_surface_v1_set_anchor(s.layer,
                                             ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                 ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
            zwlr_layer_surface_v1_set_size(s.layer, 0, 0);
            zwlr_layer_surface_v1_set_exclusive_zone(s.layer, -1);
            zwlr_layer_surface_v1_set_keyboard_interactivity(
                s.layer, form_ == Form::Wallpaper ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE
                                                  : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
        } else {
            makeToplevel(s);
            xdg_toplevel_set_fullscreen(s.toplevel, o.output);
        }
        wl_surface_commit(s.surface);
    }

    void addWindow() {
        Surface& s = newSurface(nullptr);
        s.scale = scaleOf(s);
        // The content size that libdecor proposes, else ours.
        s.decorated = decor_->decorate(s.surface, TITLE, APP_ID,
                                       {[this, &s](int width, int height) {
                                            configured(s, width, height);
                                            return std::pair{s.pendingWidth, s.pendingHeight};
                                        },
                                        [this] { closeAsked(); }});
        if (s.decorated) return;
        makeToplevel(s);
        wl_surface_commit(s.surface);
    }

    void makeToplevel(Surface& s) {
        s.xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, s.surface);
        xdg_surface_add_listener(s.xdgSurface, &xdgSurfaceListener, &s);
        s.toplevel = xdg_surface_get_toplevel(s.xdgSurface);
        xdg_toplevel_add_listener(s.toplevel, &toplevelListener, &s);
        xdg_toplevel_set_title(s.toplevel, TITLE);
        xdg_toplevel_set_app_id(s.toplevel, APP_ID);
    }

    bool allConfigured() const {
        for (const auto& s : surfaces_)
            if (s && !s->configured && !s->closed) return false;
        return true;
    }

    // Dispatches events until `done` holds, a stop signal, the connection's loss or the
    // set-up time; true when `done` holds.
    template <typename Done>
    bool dispatchUntil(Done done) {
        const auto deadline = Clock::now() + SETUP_TIME;
        while (!done()) {
            if (stop_.requested() || Clock::now() >= deadline) return false;
            wait(deadline);
            if (wl_display_dispatch_pending(display_) < 0) return false;
        }
        return true;
    }

    // --scale, else the compositor's fractional scale for a surface that is on an output
    // (one it sends before that is a guess: KWin's is 1), else its output's; a window
    // takes the largest of the outputs it is on (before it is on one: the only output's,
    // else 1). A scale that is not whole needs a viewport: without one the nearest whole
    // scale stands in.
    double scaleOf(const Surface& s) const {
        double scale = 0.0;
        if (options_.scale) {
            scale = *options_.scale;
        } else if (s.preferredScale > 0.0 && !s.entered.empty()) {
            scale = s.preferredScale;
        } else if (s.output) {
            scale = s.output->surfaceScale(fractionalManager_);
        } else {
            for (wl_output* entered : s.entered)
                for (const auto& o : outputs_)
                    if (o->output == entered) scale = std::max(scale, o->surfaceScale(fractionalManager_));
            if (scale == 0.0) scale = outputs_.size() == 1 ? outputs_.front()->surfaceScale(fractionalManager_) : 1.0;
        }
        if (!s.viewport) scale = std::round(scale);
        return std::clamp(scale, 1.0, 4.0);
    }

    // The view's frame: the output's logical rectangle with the origin at the lower-left
    // corner of the output at logical (0, 0) (else the first), y upward.
    ScreenSpec specOf(Surface& s) {
        s.width = s.pendingWidth;
        s.height = s.pendingHeight;
        s.scale = scaleOf(s);
        Rect frame{0.0, 0.0, double(s.width), double(s.height)};
        std::string where = " on a Wayland window";
        if (s.output) {
            std::vector<Monitor> monitors;
            for (const auto& o : outputs_)
                if (!o->removed)
                    monitors.push_back({o->logical, o->logical.x == 0 && o->logical.y == 0});
            const Rect area = frameOf(s.output->logical, monitors);
            frame = Rect{area.x, area.y, double(s.width), double(s.height)};
            where = " on a Wayland output";
        }
        // The scale and size are in place before the view's first buffer.
        placeBuffer(s);
        return {frame, Size{double(s.width), double(s.height)}, glViewMaker(s), s.scale, nullptr, where};
    }

    // The surface's EGL view, kept with the surface. Each frame asks for the next frame
    // callback as it is presented.
    OpenGLViewFactory glViewMaker(Surface& s) {
        return [this, surface = &s](Rect frame, const OpenGLPixelFormat&) -> OpenGLView* {
            Surface& s = *surface;
            // With --span the contexts share their objects (the --fps text's glyphs).
            const EglView* sharing = nullptr;
            for (const auto& other : surfaces_)
                if (options_.span && other && other->gl && !sharing) sharing = other->gl.get();
            s.gl = EglView::create(*egl_, s.surface, frame.size(), s.scale, sharing);
            if (s.gl) s.gl->setBeforeSwap([this, &s] { requestFrame(s); });
            return s.gl.get();
        };
    }

    // The buffer's scale and the opaque region go with the next buffer: a whole scale
    // as the buffer scale, any other through the viewport, whose size is in points.
    void placeBuffer(Surface& s) {
        const bool whole = s.scale == std::round(s.scale);
        wl_surface_set_buffer_scale(s.surface, whole ? int(s.scale) : 1);
        if (s.viewport) {
            if (whole) wp_viewport_set_destination(s.viewport, -1, -1);
            else wp_viewport_set_destination(s.viewport, s.width, s.height);
        }
        wl_region* opaque = wl_compositor_create_region(compositor_);
        wl_region_add(opaque, 0, 0, s.width, s.height);
        wl_surface_set_opaque_region(s.surface, opaque);
        wl_region_destroy(opaque);
    }

    void requestFrame(Surface& s) {
        if (s.frame) wl_callback_destroy(s.frame);
        s.frame = wl_surface_frame(s.surface);
        wl_callback_add_listener(s.frame, &frameListener, &s);
        s.frameDue = false;
    }

    // A black buffer of the surface's size (or the one given), one pixel a point.
    void showBlack(Surface& s) { showBlack(s, s.width, s.height); }
    void showBlack(Surface& s, int width, int height) {
        wl_buffer* buffer = shmBuffer(shm_, width, height);
        if (!buffer) return;
        wl_surface_set_buffer_scale(s.surface, 1);
        if (s.viewport) wp_viewport_set_destination(s.viewport, -1, -1);
        wl_surface_attach(s.surface, buffer, 0, 0);
        wl_surface_damage(s.surface, 0, 0, width, height);
        wl_surface_commit(s.surface);
        if (s.black) wl_buffer_destroy(s.black);
        s.black = buffer;
    }

    // The prompt goes on the surface with the pointer, else on the first configured one;
    // the parent's commit shows it in its new place (made here where the parent shows
    // black, by its view's next frame otherwise).
    void placePrompt() {
        promptMoves_ = false;
        if (form_ != Form::Lock || !promptPainter_) return;
        if (!prompt_)
            prompt_ = std::make_unique<PromptSurface>(compositor_, subcompositor_, shm_, viewporter_, promptWidth_,
                                                      promptHeight_, promptPainter_);
        Surface* target = nullptr;
        for (auto& s : surfaces_)
            if (s && s->configured && !gone(*s) && (!target || s->surface == pointerSurface_)) target = s.get();
        if (!target) return prompt_->place(nullptr, 0, 0, 1.0);
        if (prompt_->parent() == target->surface) return;
        prompt_->place(target->surface, target->pendingWidth, target->pendingHeight, scaleOf(*target));
        if (!target->gl) wl_surface_commit(target->surface);
    }

    const Options& options_;
    StopSignals& stop_;
    wl_display* display_;
    const std::string unreachable_;
    const Form form_;
    wl_registry* registry_ = nullptr;
    bool gpuBuffers_ = false;  // the compositor takes GPU buffers (linux-dmabuf 4 or wl_drm)
    wl_compositor* compositor_ = nullptr;
    wl_shm* shm_ = nullptr;
    wl_subcompositor* subcompositor_ = nullptr;
    xdg_wm_base* wmBase_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    zxdg_output_manager_v1* outputManager_ = nullptr;
    wp_viewporter* viewporter_ = nullptr;
    wp_fractional_scale_manager_v1* fractionalManager_ = nullptr;
    std::unique_ptr<WaylandDecoration> decor_;  // for the window
    std::unique_ptr<WaylandSeat> seat_;
    std::unique_ptr<EglConnection> egl_;
    std::vector<std::unique_ptr<WaylandOutput>> outputs_;
    std::vector<std::unique_ptr<Surface>> surfaces_;  // by screen; null once forgotten
    size_t reported_ = 0;  // surfaces the driver knows of
    bool closeAsked_ = false;
    int failure_ = 1;
    // The lock form's.
    ext_session_lock_manager_v1* lockManager_ = nullptr;
    ext_session_lock_v1* lock_ = nullptr;  // until the unlock
    bool locked_ = false, lockEnded_ = false;
    WaylandSeat::KeySink keys_;
    wl_surface* pointerSurface_ = nullptr;  // the surface the pointer is on
    int promptWidth_ = 0, promptHeight_ = 0;
    PromptSurface::Painter promptPainter_;
    std::unique_ptr<PromptSurface> prompt_;
    bool promptMoves_ = false;  // its parent went: it goes elsewhere
    int wakeFd_ = -1;
};

const ext_session_lock_v1_listener lockListener = {
    [](void* data, ext_session_lock_v1*) { static_cast<WaylandBackend*>(data)->setLocked(); },
    [](void* data, ext_session_lock_v1*) { static_cast<WaylandBackend*>(data)->setLockEnded(); },
};

const ext_session_lock_surface_v1_listener lockSurfaceListener = {
    [](void* data, ext_session_lock_surface_v1*, uint32_t serial, uint32_t width, uint32_t height) {
        auto* s = static_cast<Surface*>(data);
        s->backend->lockConfigured(*s, serial, int(width), int(height));
    },
};

const xdg_wm_base_listener wmBaseListener = {
    [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_surface_listener xdgSurfaceListener = {
    [](void* data, xdg_surface* surface, uint32_t serial) {
        xdg_surface_ack_configure(surface, serial);
        auto* s = static_cast<Surface*>(data);
        s->backend->configured(*s, s->toplevelWidth, s->toplevelHeight);
    },
};

const xdg_toplevel_listener toplevelListener = {
    [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
        auto* s = static_cast<Surface*>(data);
        s->toplevelWidth = width, s->toplevelHeight = height;
    },
    [](void* data, xdg_toplevel*) { static_cast<Surface*>(data)->backend->closeAsked(); },
    [](void*, xdg_toplevel*, int32_t, int32_t) {},
    [](void*, xdg_toplevel*, wl_array*) {},
};

const zwlr_layer_surface_v1_listener layerListener = {
    [](void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
        zwlr_layer_surface_v1_ack_configure(layer, serial);
        auto* s = static_cast<Surface*>(data);
        s->backend->configured(*s, int(width), int(height));
    },
    [](void* data, zwlr_layer_surface_v1*) { static_cast<Surface*>(data)->closed = true; },
};

// The outputs a surface is on. Set by name: libwayland 1.22 added the events of
// wl_surface version 6, which the surfaces, bound at version 4, never get.
const wl_surface_listener surfaceListener = [] {
    wl_surface_listener l{};
    l.enter = [](void* data, wl_surface*, wl_output* output) {
        auto& entered = static_cast<Surface*>(data)->entered;
        if (std::find(entered.begin(), entered.end(), output) == entered.end()) entered.push_back(output);
    };
    l.leave = [](void* data, wl_surface*, wl_output* output) {
        auto& entered = static_cast<Surface*>(data)->entered;
        entered.erase(std::remove(entered.begin(), entered.end(), output), entered.end());
    };
    return l;
}();

const wl_callback_listener frameListener = {
    [](void* data, wl_callback* callback, uint32_t) {
        auto* s = static_cast<Surface*>(data);
        wl_callback_destroy(callback);
        s->frame = nullptr;
        s->frameDue = true;
    },
};

const wp_fractional_scale_v1_listener fractionalListener = {
    [](void* data, wp_fractional_scale_v1*, uint32_t scale) {
        static_cast<Surface*>(data)->preferredScale = scale / FRACTION;
    },
};

// Why the compositor that WAYLAND_DISPLAY (or WAYLAND_SOCKET) names cannot be reached,
// its socket first; the error is the connection's.
std::string unreachable(const char* name, const char* socket, int error) {
    if (!name || !*name) return std::string("cannot use the Wayland socket WAYLAND_SOCKET=") + socket;
    std::string path = name;
    if (path.front() != '/') {
        const char* dir = std::getenv("XDG_RUNTIME_DIR");
        path = dir && *dir ? std::string(dir) + "/" + name : "XDG_RUNTIME_DIR is not set, so " + path;
    }
    return std::string("cannot connect to the Wayland display ") + name + " (" + path + ": " + std::strerror(error) +
           ")";
}

}  // namespace

// The compositor that WAYLAND_DISPLAY (or WAYLAND_SOCKET) names, for the forms that the
// table of backends gives Wayland. One that does not answer leaves a window or
// --fullscreen to X11 where DISPLAY is set (null, with a warning); otherwise the backend
// reports why it cannot draw.
std::unique_ptr<WindowSystem> makeWaylandBackend(const Options& options, StopSignals& stop) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    const bool named = (name && *name) || (socket && *socket);
    wl_display* display = named ? wl_display_connect(nullptr) : nullptr;
    if (display) return std::make_unique<WaylandBackend>(options, stop, display);
    const std::string why = named ? unreachable(name, socket, errno) : "";
    const char* x = std::getenv("DISPLAY");
    if (!options.wallpaper && (!named || (x && *x))) {
        if (named) reportError("warning: " + why + "; drawing on the X display " + x + " instead");
        return nullptr;
    }
    return std::make_unique<WaylandBackend>(options, stop, nullptr, why);
}

// Only a compositor named in the environment: libwayland's own guess (wayland-0) could
// lock a session other than the one asked for.
std::unique_ptr<LockScreen> makeWaylandLock(const Options& options, StopSignals& stop, WaylandSeat::KeySink keys) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    const bool named = (name && *name) || (socket && *socket);
    wl_display* display = named ? wl_display_connect(nullptr) : nullptr;
    const std::string why = named && !display ? unreachable(name, socket, errno) : "";
    return std::make_unique<WaylandBackend>(options, stop, display, why, std::move(keys));
}

}  // namespace zorvan::host
