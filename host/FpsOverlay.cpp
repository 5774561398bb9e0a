#include "host/FpsOverlay.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdio>
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
        if (!font_ && scale_ > 1) {
            // "fixed" (6x13) at scale times its size: the server scales the bitmap font.
            const std::string name =
                "-misc-fixed-medium-r-semicondensed--" + std::to_string(13 * scale_) + "-*-75-75-c-*-iso8859-1";
            font_ = XLoadQueryFont(display_, name.c_str());
        }
        if (!font_) font_ = XLoadQueryFont(display_, "fixed");
        if (!font_) return;
        lists_ = glGenLists(GLYPH_COUNT);
        if (!lists_) return;
        glXUseXFont(static_cast<XFontStruct*>(font_)->fid, FIRST_GLYPH, GLYPH_COUNT, int(lists_));
    }
    const int descent = static_cast<XFontStruct*>(font_)->descent;
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
    // Glyph by glyph: the lists that glXUseXFont makes for blank glyphs do not advance
    // the raster position, so a space moves it by the (fixed) cell width here.
    const float advance = float(static_cast<XFontStruct*>(font_)->max_bounds.width);
    for (unsigned char c : text) {
        if (c == ' ') {
            glBitmap(0, 0, 0.0f, 0.0f, advance, 0.0f, nullptr);
            continue;
        }
        const unsigned char glyph = (c > FIRST_GLYPH && c < FIRST_GLYPH + GLYPH_COUNT) ? c : '?';
        glCallList(lists_ + glyph - FIRST_GLYPH);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace zorvan::host
