// Draws one frame of motes with OpenGL 1.x immediate mode, on whatever context is
// current: clear, a projection of the target's points over its pixels, tails, bodies,
// flush.
#include "render/MoteRenderer.h"

#include "platform/gl/OpenGLView.h"
#include "render/MoteShapes.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zorvan {

void initMoteGL() {
    glShadeModel(GL_FLAT);
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_LINE_SMOOTH);
}

namespace {

// How far beyond its vertices a drawn shape may light pixels, in points: the smoothed
// edge, and the shift towards pixel centres, with room to spare.
constexpr float EDGE = 2.0f;
// Vertices go to GL in pixels shifted this far towards the pixel centres.
constexpr double CENTRE = 0.375;
// The bits of a float's significand.
constexpr int MANTISSA = 24;

// Whether mote `m`'s body or tail can light a pixel of the target's part.
bool reachesPart(const Mote& m, const MoteStyle& style, const ShapeFactors& factors, const RenderTarget& target) {
    float x0 = m.pos.x, x1 = m.pos.x, y0 = m.pos.y, y1 = m.pos.y;
    float edge = EDGE;
    if (drawsTails(style.drawMode, style.moteSize)) {
        x0 = std::min(x0, m.lastPos.x), x1 = std::max(x1, m.lastPos.x);
        y0 = std::min(y0, m.lastPos.y), y1 = std::max(y1, m.lastPos.y);
        edge += tailWidth(m) / 2.0f;
    }
    Vec2 v[8];
    const int n = moteVertices(m, style.moteShape, style.directional, factors, v);
    for (int k = 0; k < n; ++k) {
        x0 = std::min(x0, v[k].x), x1 = std::max(x1, v[k].x);
        y0 = std::min(y0, v[k].y), y1 = std::max(y1, v[k].y);
    }
    // A mote that is not a finite shape is drawn as it comes, whatever GL makes of it.
    if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1) || !std::isfinite(edge))
        return true;
    return x1 + edge >= float(target.x) && x0 - edge <= float(target.x + target.partWidth) &&
           y1 + edge >= float(target.y) && y0 - edge <= float(target.y + target.partHeight);
}

}  // namespace

void renderMotes(const Mote* motes, int count, const MoteStyle& style, const RenderTarget& target) {
    const Colour bg = style.bg;
    glClearColor(bg.r, bg.g, bg.b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    // Points map onto the drawable's full resolution: `scale` pixels a point. The scene's
    // pixels are placed on the drawable by a viewport shifted by whole pixels, and the
    // vertices reach GL in the scene's pixels, shifted towards pixel centres and on a
    // grid of a power of two: over a projection a power of two pixels wide, every step
    // of GL's transform is then exact, so that a pixel comes out the same whichever part
    // of the scene the drawable shows.
    const double scale = target.scale;
    const int offsetX = OpenGLView::sideInPixels(target.x, scale), offsetY = OpenGLView::sideInPixels(target.y, scale);
    const int sceneWidth = OpenGLView::sideInPixels(target.width, scale);
    const int sceneHeight = OpenGLView::sideInPixels(target.height, scale);
    // The grid is as fine as a float's 24 bits allow beside the projection's side.
    int side = 1;
    double grid = double(1 << MANTISSA);
    while (side < sceneWidth || side < sceneHeight) side *= 2, grid /= 2;
    glViewport(-offsetX, -offsetY, side, side);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, side, 0.0, side);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    auto vertex = [scale, grid](float x, float y) {
        auto pixel = [scale, grid](float p) { return float(std::nearbyint((double(p) * scale + CENTRE) * grid) / grid); };
        glVertex2f(pixel(x), pixel(y));
    };

    // Where the target is a part of the scene, the motes that can reach it.
    const ShapeFactors factors = shapeFactors(style.moteSize);
    const bool culled = target.partWidth > 0.0 && target.partHeight > 0.0;
    std::vector<char> reaches;
    if (culled)
        for (int i = 0; i < count; ++i) reaches.push_back(reachesPart(motes[i], style, factors, target));

    // The line width changes only outside begin/end, so each tail is its own primitive.
    if (drawsTails(style.drawMode, style.moteSize)) {
        for (int i = 0; i < count; ++i) {
            if (culled && !reaches[i]) continue;
            const Mote& m = motes[i];
            const Colour c = tailColour(m, bg);
            glLineWidth(tailWidth(m) * float(scale));
            glBegin(GL_LINES);
            glColor3f(c.r, c.g, c.b);
            vertex(m.pos.x, m.pos.y);
            vertex(m.lastPos.x, m.lastPos.y);
            glEnd();
        }
    }

    // All bodies in one primitive, over all tails; a later mote covers an earlier one.
    Vec2 v[8];
    glBegin(GL_QUADS);
    for (int i = 0; i < count; ++i) {
        if (culled && !reaches[i]) continue;
        const Mote& m = motes[i];
        glColor3f(m.colour.r, m.colour.g, m.colour.b);
        const int n = moteVertices(m, style.moteShape, style.directional, factors, v);
        for (int k = 0; k < n; ++k) vertex(v[k].x, v[k].y);
    }
    glEnd();

    // The viewport is left over the scene's pixels, for whatever draws over the frame.
    glViewport(-offsetX, -offsetY, sceneWidth, sceneHeight);

    glFlush();
}

}  // namespace zorvan
