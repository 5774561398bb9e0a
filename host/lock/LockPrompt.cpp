#include "host/lock/LockPrompt.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>

namespace zorvan::lock {

namespace {

// In points: the box's size and the text's.
constexpr double CORNER = 12, MARGIN = 12;
const char FONT[] = "Sans 15";
// Dots beyond these many would overflow the box; more characters show as the same row.
constexpr size_t MOST_DOTS = 24;

void roundedBox(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -G_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, G_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, G_PI / 2, G_PI);
    cairo_arc(cr, x + r, y + r, r, G_PI, 3 * G_PI / 2);
    cairo_close_path(cr);
}

// One line of text, centred in the box across and at `y` down, in points; a line too
// long for the box ends in an ellipsis.
void line(cairo_t* cr, PangoLayout* layout, const std::string& text, double left, double width, double y,
          double alpha) {
    pango_layout_set_text(layout, text.c_str(), -1);
    pango_layout_set_width(layout, int(width * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    cairo_set_source_rgba(cr, 1, 1, 1, alpha);
    cairo_move_to(cr, left, y - h / double(PANGO_SCALE) / 2);
    pango_cairo_show_layout(cr, layout);
}

}  // namespace

void drawPrompt(unsigned char* pixels, int width, int height, int stride, double scale, const PromptText& text) {
    cairo_surface_t* surface = cairo_image_surface_create_for_data(pixels, CAIRO_FORMAT_ARGB32, width, height, stride);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    const double boxW = width / scale, x = 0, y = 0;
    roundedBox(cr, x, y, boxW, height / scale, CORNER);
    cairo_set_source_rgba(cr, 0.08, 0.08, 0.1, 0.85);
    cairo_fill(cr);

    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string(FONT);
    pango_layout_set_font_description(layout, font);
    std::string dots;
    for (size_t i = 0; i < std::min(text.dots, MOST_DOTS); ++i) dots += "\u25CF";
    const std::string first = text.checking ? "Checking\u2026" : text.dots ? dots : "Type your password";
    const double left = x + MARGIN, across = boxW - 2 * MARGIN;
    line(cr, layout, first, left, across, y + 36, text.dots || text.checking ? 1.0 : 0.6);
    if (!text.message.empty()) line(cr, layout, text.message, left, across, y + 76, 0.9);
    std::string last = text.capsLock ? "Caps Lock is on" : "";
    if (!text.layout.empty()) last += (last.empty() ? "" : "  \u00B7  ") + text.layout;
    if (!last.empty()) line(cr, layout, last, left, across, y + 112, 0.7);

    pango_font_description_free(font);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
}

}  // namespace zorvan::lock
