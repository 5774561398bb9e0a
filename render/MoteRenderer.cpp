// Draws one frame of motes with OpenGL 1.x immediate mode, on whatever context is
// current: clear, a projection of the target's points over its pixels, tails, bodies,
// flush.
#include "render/MoteRenderer.h"

#include "platform/gl/OpenGLView.h"
#include "render/MoteShapes.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

namespace zorvan {

void initMoteGL() {
    glShadeModel(GL_FLAT);
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_LINE_SMOOTH);
}

void renderMotes(const Mote* motes, int count, const MoteStyle& style, const RenderTarget& target) {
    const Colour bg = style.bg;
    glClearColor(bg.r, bg.g, bg.b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    // Points map onto the drawable's full resolution: `scale` pixels a point.
    const double scale = target.scale;
    glViewport(-OpenGLView::sideInPixels(target.x, scale), -OpenGLView::sideInPixels(target.y, scale),
               OpenGLView::sideInPixels(target.width, scale), OpenGLView::sideInPixels(target.height, scale));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, target.width, 0.0, target.height);
    // The shift puts vertices on pixel centres rather than on pixel edges.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.375f / float(scale), 0.375f / float(scale), 0.0f);

    // The line width changes only outside begin/end, so each tail is its own primitive.
    if (drawsTails(style.drawMode, style.moteSize)) {
        for (int i = 0; i < count; ++i) {
            const Mote& m = motes[i];
            const Colour c = tailColour(m, bg);
            glLineWidth(tailWidth(m) * float(scale));
            glBegin(GL_LINES);
            glColor3f(c.r, c.g, c.b);
            glVertex2f(m.pos.x, m.pos.y);
            glVertex2f(m.lastPos.x, m.lastPos.y);
            glEnd();
        }
    }

    // All bodies in one primitive, over all tails; a later mote covers an earlier one.
    const ShapeFactors factors = shapeFactors(style.moteSize);
    Vec2 v[8];
    glBegin(GL_QUADS);
    for (int i = 0; i < count; ++i) {
        const Mote& m = motes[i];
        glColor3f(m.colour.r, m.colour.g, m.colour.b);
        const int n = moteVertices(m, style.moteShape, style.directional, factors, v);
        for (int k = 0; k < n; ++k) glVertex2f(v[k].x, v[k].y);
    }
    glEnd();

    glFlush();
}

}  // namespace zorvan
