#include "host/pane/PanePreview.h"

#include "platform/gl/OffscreenView.h"

#include <gtk/gtk.h>

namespace zorvan::host {

PanePreview::PanePreview(int width, int height, std::function<void()> wake)
    : width_(width), height_(height), wake_(std::move(wake)) {
    area_ = gtk_drawing_area_new();
    g_object_ref_sink(area_);
    gtk_widget_set_size_request(area_, width_, height_);
    gtk_widget_set_halign(area_, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(area_, GTK_ALIGN_CENTER);
    atk_object_set_name(gtk_widget_get_accessible(area_), "Preview");
    g_signal_connect(area_, "draw", G_CALLBACK(&PanePreview::onDraw), this);
    g_signal_connect(area_, "notify::scale-factor", G_CALLBACK(&PanePreview::onScaleFactor), this);
}

PanePreview::~PanePreview() {
    g_signal_handlers_disconnect_by_data(area_, this);
    g_object_unref(area_);
    if (picture_) cairo_surface_destroy(picture_);
}

std::vector<ScreenSpec> PanePreview::screens() {
    scale_ = gtk_widget_get_scale_factor(area_);
    const Size size{double(width_), double(height_)};
    auto makeGL = [this](Rect frame, const OpenGLPixelFormat& format) -> OpenGLView* {
        gl_ = OffscreenView::create(frame, format, scale_);
        why_ = gl_ ? "" : OffscreenView::why();
        return gl_.get();
    };
    return {{Rect{0.0, 0.0, size.width, size.height}, size, makeGL, double(scale_), nullptr, ""}};
}

std::optional<Resize> PanePreview::takeResize(size_t) {
    if (!resized_) return std::nullopt;
    resized_ = false;
    return Resize{Size{double(width_), double(height_)}, double(scale_)};
}

bool PanePreview::frameDrawn() {
    pending_ = true;
    gtk_widget_queue_draw(area_);
    return true;
}

cairo_surface_t* PanePreview::picture() {
    if (picture_ && cairo_image_surface_get_width(picture_) == gl_->width() &&
        cairo_image_surface_get_height(picture_) == gl_->height())
        return picture_;
    if (picture_) cairo_surface_destroy(picture_);
    // The frame's own pixels, each a device pixel of the area: no scaling on the way.
    picture_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, gl_->width(), gl_->height());
    const double scale = double(gl_->width()) / width_;
    cairo_surface_set_device_scale(picture_, scale, scale);
    return picture_;
}

int PanePreview::onDraw(GtkWidget*, cairo_t* cr, void* data) {
    auto* self = static_cast<PanePreview*>(data);
    if (!self->gl_) {
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_paint(cr);
        return TRUE;
    }
    cairo_surface_t* picture = self->picture();
    if (self->pending_) {
        cairo_surface_flush(picture);
        self->gl_->readTopDown(cairo_image_surface_get_data(picture), cairo_image_surface_get_stride(picture));
        cairo_surface_mark_dirty(picture);
    }
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    if (self->pending_) {
        // Painted on the compositor's frame callback: the next frame may be drawn.
        self->pending_ = false;
        if (self->wake_) self->wake_();
    }
    return TRUE;
}

void PanePreview::onScaleFactor(GtkWidget* widget, GParamSpec*, void* data) {
    auto* self = static_cast<PanePreview*>(data);
    const int scale = gtk_widget_get_scale_factor(widget);
    if (scale == self->scale_) return;
    self->scale_ = scale;
    self->resized_ = true;
    // The driver may be waiting for a frame that will not be painted at the old scale.
    if (self->wake_) self->wake_();
}

}  // namespace zorvan::host
