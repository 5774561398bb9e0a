#include "host/FpsOverlay.h"

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include <ctime>

namespace zorvan::host {

namespace {

constexpr int FIRST_GLYPH = 32, GLYPH_COUNT = 96;  // printable ASCII
constexpr int MARGIN = 8;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Display lists of the font's glyphs at `scale` times their size: each glyph drawn in
// a one-bit pixmap of the font's cell, read back, and every bit made a square of
// scale x scale bits of a GL bitmap that advances the raster position by the cell.
void makeGlyphs(Display* display, const XFontStruct& font, int scale, GLuint lists) {
    const int w = font.max_bounds.width, h = font.ascent + font.descent;
    if (w <= 0 || h <= 0) return;
    const Pixmap pixmap = XCreatePixmap(display, DefaultRootWindow(display), unsigned(w), unsigned(h), 1);
    const GC gc = XCreateGC(display, pixmap, 0, nullptr);
    XSetFont(display, gc, font.fid);
    const int sw = w * scale, sh = h * scale, rowBytes = (sw + 7) / 8;
    std::vector<GLubyte> bits(size_t(rowBytes) * size_t(sh));
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int g = 0; g < GLYPH_COUNT; ++g) {
        XSetForeground(display, gc, 0);
        XFillRectangle(display, pixmap, gc, 0, 0, unsigned(w), unsigned(h));
        XSetForeground(display, gc, 1);
        const char c = char(FIRST_GLYPH + g);
        XDrawString(display, pixmap, gc, 0, font.ascent, &c, 1);
        XImage* image = XGetImage(display, pixmap, 0, 0, unsigned(w), unsigned(h), 1, XYPixmap);
        std::fill(bits.begin(), bits.end(), GLubyte(0));
        for (int y = 0; image && y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (!XGetPixel(image, x, y)) continue;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        const int bx = x * scale + dx, by = (h - 1 - y) * scale + dy;  // rows bottom up
                        bits[size_t(by) * size_t(rowBytes) + size_t(bx / 8)] |= GLubyte(0x80 >> (bx % 8));
                    }
            }
        if (image) XDestroyImage(image);
        glNewList(lists + GLuint(g), GL_COMPILE);
        glBitmap(sw, sh, 0.0f, float(font.descent * scale), float(sw), 0.0f, bits.data());
        glEndList();
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    XFreeGC(display, gc);
    XFreePixmap(display, pixmap);
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
    text_ = line;
    windowStart_ = Clock::now();
    frames_ = 0;
    cpuSum_ = 0.0;
}

FpsText::FpsText(Display* display, int scale) : display_(display), scale_(scale < 1 ? 1 : scale) {}

FpsText::~FpsText() {
    // The glyph lists go with the view's context.
    if (font_) XFreeFont(display_, static_cast<XFontStruct*>(font_));
}

void FpsText::draw(const std::string& text) {
    if (text.empty()) return;
    if (!lists_) {
        if (!font_) font_ = XLoadQueryFont(display_, "fixed");
        if (!font_) return;
        lists_ = glGenLists(GLYPH_COUNT);
        if (!lists_) return;
        makeGlyphs(display_, *static_cast<XFontStruct*>(font_), scale_, lists_);
    }
    const int descent = static_cast<XFontStruct*>(font_)->descent * scale_;
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 0.0f);
    glRasterPos2i(MARGIN * scale_, MARGIN * scale_ + descent);
    // Every glyph's list, a space's included, advances by the (fixed) cell width.
    for (unsigned char c : text) {
        const unsigned char glyph = (c >= FIRST_GLYPH && c < FIRST_GLYPH + GLYPH_COUNT) ? c : '?';
        glCallList(lists_ + glyph - FIRST_GLYPH);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace zorvan::host
