#include "host/driver/FpsOverlay.h"

#include "platform/image/MagickSetup.h"

#define GL_GLEXT_PROTOTYPES 1  // glWindowPos2i, of OpenGL 1.4
#include <GL/gl.h>
#include <Magick++.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace zorvan::host {

namespace {

constexpr int FIRST_GLYPH = 32, GLYPH_COUNT = 96;  // printable ASCII
constexpr int MARGIN = 8;
// The font where no X server lends its "fixed", and its size in pixels at scale 1.
const char MONOSPACE_FONT[] = "DejaVu-Sans-Mono";
constexpr int MONOSPACE_PIXELS = 12;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The glyphs of one font as cells of lit pixels, top row first.
struct GlyphCells {
    int width = 0, height = 0, descent = 0;
    std::vector<std::vector<bool>> lit;  // GLYPH_COUNT cells of width x height
};

// The X server's "fixed": each glyph drawn in a one-bit pixmap of the font's cell and
// read back.
GlyphCells fixedGlyphs(Display* display, const XFontStruct& font) {
    GlyphCells cells{font.max_bounds.width, font.ascent + font.descent, font.descent, {}};
    const int w = cells.width, h = cells.height;
    if (w <= 0 || h <= 0) return {};
    const Pixmap pixmap = XCreatePixmap(display, DefaultRootWindow(display), unsigned(w), unsigned(h), 1);
    const GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XSetFont(display, gc, font.fid);
    for (int g = 0; g < GLYPH_COUNT; ++g) {
        XSetForeground(display, gc, 0);
        XFillRectangle(display, pixmap, gc, 0, 0, unsigned(w), unsigned(h));
        XSetForeground(display, gc, 1);
        const char c = char(FIRST_GLYPH + g);
        XDrawString(display, pixmap, gc, 0, font.ascent, &c, 1);
        XImage* image = XGetImage(display, pixmap, 0, 0, unsigned(w), unsigned(h), 1, XYPixmap);
        std::vector<bool> lit(size_t(w) * size_t(h));
        for (int y = 0; image && y < h; ++y)
            for (int x = 0; x < w; ++x) lit[size_t(y) * size_t(w) + size_t(x)] = XGetPixel(image, x, y) != 0;
        if (image) XDestroyImage(image);
        cells.lit.push_back(std::move(lit));
    }
    XFreeGC(display, gc);
    XFreePixmap(display, pixmap);
    return cells;
}

// Without an X server: a monospaced font that ImageMagick finds through fontconfig,
// drawn at `pixels` pixels, each glyph thresholded into its cell.
GlyphCells monospaceGlyphs(int pixels) {
    magick::ensureStarted();
    try {
        Magick::Image probe(Magick::Geometry(1, 1), Magick::Color("black"));
        probe.font(MONOSPACE_FONT);
        probe.fontPointsize(pixels);
        Magick::TypeMetric metric;
        probe.fontTypeMetrics("M", &metric);
        GlyphCells cells{int(std::ceil(metric.textWidth())), int(std::ceil(metric.ascent() - metric.descent())),
                         int(std::ceil(-metric.descent())), {}};
        if (cells.width <= 0 || cells.height <= 0) return {};
        for (int g = 0; g < GLYPH_COUNT; ++g) {
            Magick::Image cell(Magick::Geometry(size_t(cells.width), size_t(cells.height)), Magick::Color("black"));
            cell.font(MONOSPACE_FONT);
            cell.fontPointsize(pixels);
            cell.fillColor(Magick::Color("white"));
            cell.draw(Magick::DrawableText(0, cells.height - cells.descent, std::string(1, char(FIRST_GLYPH + g))));
            std::vector<bool> lit(size_t(cells.width) * size_t(cells.height));
            for (int y = 0; y < cells.height; ++y)
                for (int x = 0; x < cells.width; ++x)
                    lit[size_t(y) * size_t(cells.width) + size_t(x)] =
                        Magick::ColorGray(cell.pixelColor(ssize_t(x), ssize_t(y))).shade() > 0.5;
            cells.lit.push_back(std::move(lit));
        }
        return cells;
    } catch (const std::exception&) {
        return {};  // no font: no text
    }
}

// Display lists of the cells at `scale` times their size: every lit pixel a square of
// scale x scale bits of a GL bitmap that advances the raster position by the cell.
void makeGlyphs(const GlyphCells& cells, int scale, GLuint lists) {
    const int w = cells.width, h = cells.height;
    const int sw = w * scale, sh = h * scale, rowBytes = (sw + 7) / 8;
    std::vector<GLubyte> bits(size_t(rowBytes) * size_t(sh));
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (size_t g = 0; g < cells.lit.size(); ++g) {
        std::fill(bits.begin(), bits.end(), GLubyte(0));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (!cells.lit[g][size_t(y) * size_t(w) + size_t(x)]) continue;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        const int bx = x * scale + dx, by = (h - 1 - y) * scale + dy;  // rows bottom up
                        bits[size_t(by) * size_t(rowBytes) + size_t(bx / 8)] |= GLubyte(0x80 >> (bx % 8));
                    }
            }
        glNewList(lists + GLuint(g), GL_COMPILE);
        glBitmap(sw, sh, 0.0f, float(cells.descent * scale), float(sw), 0.0f, bits.data());
        glEndList();
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

}  // namespace

FpsMeter::FpsMeter() : windowStart_(Clock::now()) {}

void FpsMeter::beginFrame() { cpuAtBegin_ = processCpuSeconds(); }

void FpsMeter::endFrame() {
    cpuSum_ += processCpuSeconds() - cpuAtBegin_;
    ++frames_;
    const double seconds = std::chrono::duration<double>(Clock::now() - windowStart_).count();
    if (seconds < 1.0) return;
    char line[64];
    std::snprintf(line, sizeof line, "FPS: %.1f  CPU: %.1f ms/frame", double(frames_) / seconds,
                  cpuSum_ * 1000.0 / double(frames_));
    rate_ = line;
    compose();
    windowStart_ = Clock::now();
    frames_ = 0;
    cpuSum_ = 0.0;
}

void FpsMeter::setNote(const std::string& note) {
    if (note == note_) return;
    note_ = note;
    compose();
}

void FpsMeter::compose() { shown_ = rate_.empty() || note_.empty() ? rate_ + note_ : rate_ + "  " + note_; }

FpsText::FpsText(Display* display, double scale)
    : display_(display), scale_(scale < 1.5 ? 1 : int(std::lround(std::min(scale, 4.0)))) {}

// The glyph lists go with the view's context.
FpsText::~FpsText() = default;

void FpsText::draw(const std::string& text) {
    if (text.empty()) return;
    if (!tried_) {
        tried_ = true;
        // The glyphs are made once, at the view's scale: the X font's pixels made
        // squares, or the other font drawn at that size.
        GlyphCells cells;
        int cellScale = scale_;
        if (display_) {
            if (auto* font = XLoadQueryFont(display_, "fixed")) {
                cells = fixedGlyphs(display_, *font);
                XFreeFont(display_, font);
            }
        } else {
            cells = monospaceGlyphs(MONOSPACE_PIXELS * scale_);
            cellScale = 1;
        }
        if (cells.lit.size() == GLYPH_COUNT && (lists_ = glGenLists(GLYPH_COUNT)) != 0) {
            makeGlyphs(cells, cellScale, lists_);
            descent_ = cells.descent * cellScale;
        }
    }
    if (!lists_) return;
    // In the drawable's lower-left corner, whatever part of the scene the viewport places.
    glColor3f(1.0f, 1.0f, 0.0f);
    glWindowPos2i(MARGIN * scale_, MARGIN * scale_ + descent_);
    // Every glyph's list, a space's included, advances by the (fixed) cell width.
    for (unsigned char c : text) {
        const unsigned char glyph = (c >= FIRST_GLYPH && c < FIRST_GLYPH + GLYPH_COUNT) ? c : '?';
        glCallList(lists_ + glyph - FIRST_GLYPH);
    }
}

}  // namespace zorvan::host
