#include "platform/controls/GtkControl.h"

#include "platform/image/Image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace zorvan {

// Marks the program's own changes of a widget for the time they take.
struct SettingValue {
    SettingValue() { ++GtkControl::settingDepth_; }
    ~SettingValue() { --GtkControl::settingDepth_; }
};

namespace {

// The picture as an opaque pixbuf at its own pixel size, transparency drawn over black;
// null when its bitmap cannot be had.
GdkPixbuf* pixbufOf(const Image& image) {
    std::unique_ptr<BitmapImageRep> bitmap = image.bitmapRepresentation();
    if (!bitmap || bitmap->pixelsWide() <= 0 || bitmap->pixelsHigh() <= 0) return nullptr;
    const int w = bitmap->pixelsWide(), h = bitmap->pixelsHigh();
    std::unique_ptr<BitmapImageRep> rgba = BitmapImageRep::initWithBitmapDataPlanes(
        nullptr, w, h, 8, 4, true, false, NSCalibratedRGBColorSpace, 0, 0);
    if (!rgba) return nullptr;
    GraphicsContext::saveGraphicsState();
    GraphicsContext::setCurrentContext(GraphicsContext::graphicsContextWithBitmapImageRep(*rgba));
    const bool drawn = bitmap->drawInRect(Rect{0.0, 0.0, double(w), double(h)});
    GraphicsContext::restoreGraphicsState();
    if (!drawn) return nullptr;

    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
    if (!pixbuf) return nullptr;
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* out = gdk_pixbuf_get_pixels(pixbuf);
    const uint8_t* in = rgba->bitmapData();
    // Colour samples are premultiplied: dropping alpha draws them over black.
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = in + static_cast<size_t>(y) * rgba->bytesPerRow();
        guchar* dst = out + static_cast<size_t>(y) * stride;
        for (int x = 0; x < w; ++x) std::memcpy(dst + 3 * x, row + 4 * x, 3);
    }
    return pixbuf;
}

}  // namespace

GtkControl::GtkControl(GtkWidget* widget) : widget_(widget) {
    if (widget_) destroyHandler_ = g_signal_connect(widget_, "destroy", G_CALLBACK(onDestroy), this);
}

GtkControl::~GtkControl() {
    if (widget_ && destroyHandler_) g_signal_handler_disconnect(widget_, destroyHandler_);
}

void GtkControl::onDestroy(GtkWidget*, gpointer self) {
    auto* control = static_cast<GtkControl*>(self);
    g_signal_handler_disconnect(control->widget_, control->destroyHandler_);
    control->destroyHandler_ = 0;
    control->widget_ = nullptr;
}

GtkWidget* GtkControl::widgetOf(const Control* control) {
    auto* gtk = dynamic_cast<const GtkControl*>(control);
    return gtk ? gtk->widget() : nullptr;
}

void GtkControl::setIntValue(int value) {
    SettingValue setting;
    if (GTK_IS_RANGE(widget_)) gtk_range_set_value(GTK_RANGE(widget_), value);
    else if (GTK_IS_TOGGLE_BUTTON(widget_))
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget_), value != 0);
}

int GtkControl::intValue() const {
    if (GTK_IS_RANGE(widget_)) {
        const double v = std::round(gtk_range_get_value(GTK_RANGE(widget_)));
        return static_cast<int>(std::clamp(v, -2147483648.0, 2147483647.0));
    }
    if (GTK_IS_TOGGLE_BUTTON(widget_))
        return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget_)) ? 1 : 0;
    return 0;
}

void GtkControl::setFloatValue(float value) {
    SettingValue setting;
    if (GTK_IS_RANGE(widget_)) gtk_range_set_value(GTK_RANGE(widget_), value);
    else setIntValue(static_cast<int>(value != 0.0f));
}

float GtkControl::floatValue() const {
    if (GTK_IS_RANGE(widget_)) return static_cast<float>(gtk_range_get_value(GTK_RANGE(widget_)));
    return static_cast<float>(intValue());
}

void GtkControl::setEnabled(bool enabled) {
    if (widget_) gtk_widget_set_sensitive(widget_, enabled);
}

void GtkControl::setTextColor(TextColor color) {
    if (widget_) gtk_widget_set_sensitive(widget_, color == TextColor::controlTextColor);
}

void GtkControl::setStringValue(const std::string& text) {
    if (GTK_IS_LABEL(widget_)) gtk_label_set_text(GTK_LABEL(widget_), text.c_str());
}

void GtkControl::setColor(const DeviceRGBColor& color) {
    if (!GTK_IS_COLOR_CHOOSER(widget_)) return;
    SettingValue setting;
    const GdkRGBA rgba{color.red, color.green, color.blue, color.alpha};
    gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(widget_), &rgba);
}

std::optional<DeviceRGBColor> GtkControl::colorUsingDeviceRGB() const {
    if (!GTK_IS_COLOR_CHOOSER(widget_)) return std::nullopt;
    GdkRGBA rgba{};
    gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(widget_), &rgba);
    return DeviceRGBColor{rgba.red, rgba.green, rgba.blue, rgba.alpha};
}

void GtkControl::setImage(const Image* image) {
    if (!GTK_IS_IMAGE(widget_)) return;
    GdkPixbuf* full = image ? pixbufOf(*image) : nullptr;
    if (!full) {
        gtk_image_clear(GTK_IMAGE(widget_));
        return;
    }
    // Fit the box the image view asks for, keeping the picture's proportions.
    int boxW = 0, boxH = 0;
    gtk_widget_get_size_request(widget_, &boxW, &boxH);
    const int w = gdk_pixbuf_get_width(full), h = gdk_pixbuf_get_height(full);
    if (boxW <= 0) boxW = w;
    if (boxH <= 0) boxH = h;
    const double scale = std::min(double(boxW) / w, double(boxH) / h);
    const int fitW = std::max(1, static_cast<int>(std::lround(w * scale)));
    const int fitH = std::max(1, static_cast<int>(std::lround(h * scale)));
    GdkPixbuf* fitted = gdk_pixbuf_scale_simple(full, fitW, fitH, GDK_INTERP_BILINEAR);
    g_object_unref(full);
    if (!fitted) {
        gtk_image_clear(GTK_IMAGE(widget_));
        return;
    }
    gtk_image_set_from_pixbuf(GTK_IMAGE(widget_), fitted);
    g_object_unref(fitted);
}

}  // namespace zorvan
