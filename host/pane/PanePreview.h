// The settings pane's live preview: the frame driver's backend for the preview instance,
// which draws offscreen (the EGL view that --render uses) at the widget's device pixels,
// and the GTK drawing area that shows each frame, read back as the area is painted. The
// same on Wayland and X11: nothing here knows the window system GTK chose.
#pragma once

#include "host/driver/WindowSystem.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _GParamSpec GParamSpec;
typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace zorvan {
class OffscreenView;
}

namespace zorvan::host {

// Implements: one screen of the area's size in points at its scale factor (GTK's device
// pixels a point), a new size when the scale factor changes (the window moved to another
// output), frames only while the last one has reached the screen (the area was painted:
// GTK paints on the compositor's frame callbacks, so a hidden or minimised pane draws
// nothing), and the wake-up once it has.
// Does not implement: events and waiting (the GTK main loop has both), the end of a run
// (the pane's window closes), fractional scales (GTK 3 draws whole device pixels and the
// compositor scales the window), several screens.
class PanePreview : public WindowSystem {
public:
    // The preview of `width` x `height` points in a drawing area of that size, which the
    // caller packs into its window. `wake` is called when a frame reached the screen after
    // the driver found the last one still on its way (the driver then has a frame to draw).
    PanePreview(int width, int height, std::function<void()> wake);
    ~PanePreview() override;
    PanePreview(const PanePreview&) = delete;
    PanePreview& operator=(const PanePreview&) = delete;

    GtkWidget* area() const { return area_; }
    // Why the preview's GL view could not be made; empty while there is none to report.
    const std::string& why() const { return why_; }

    std::vector<ScreenSpec> screens() override;
    bool preview() const override { return true; }
    EndReason poll() override { return EndReason::NotYet; }
    void wait(std::optional<Clock::time_point>) override {}
    int end(EndReason) override { return 0; }
    bool visible(size_t) const override { return !pending_; }
    std::optional<Resize> takeResize(size_t) override;
    bool frameDrawn() override;

private:
    static int onDraw(GtkWidget* widget, cairo_t* cr, void* self);
    static void onScaleFactor(GtkWidget* widget, GParamSpec*, void* self);
    // The picture the area shows, of the offscreen view's size; made again when that changed.
    cairo_surface_t* picture();

    const int width_, height_;  // points
    std::function<void()> wake_;
    GtkWidget* area_ = nullptr;
    std::unique_ptr<OffscreenView> gl_;
    cairo_surface_t* picture_ = nullptr;
    int scale_ = 1;
    bool resized_ = false;  // the scale factor changed since the driver last asked
    bool pending_ = false;  // a frame was drawn that the area has not shown yet
    std::string why_;
};

}  // namespace zorvan::host
