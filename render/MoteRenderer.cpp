// Draws one frame of motes with OpenGL 1.x immediate mode, on whatever context is
// current: clear, a projection in points over the drawable's pixels, tails, bodies,
// flush. It keeps no state between frames and relies on the flat shading and line
// smoothing set when the view starts.
#include "render/MoteShapes.h"
#include "saver/Zorvan.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

namespace zorvan {

void Zorvan::drawMotes() {
    glClearColor(bg.r, bg.g, bg.b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    // Points map onto the drawable's full resolution: `scale` pixels a point.
    const double scale = _view ? _view->backingScale() : 1.0;
    glViewport(0, 0, OpenGLView::sideInPixels(displayWidth, scale), OpenGLView::sideInPixels(displayHeight, scale));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0.0, static_cast<double>(displayWidth), 0.0, static_cast<double>(displayHeight));
    // The shift puts vertices on pixel centres rather than on pixel edges.
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.375f / float(scale), 0.375f / float(scale), 0.0f);

    const int count = liveMotes();

    // The line width changes only outside begin/end, so each tail is its own primitive.
    if (drawsTails(drawMode, moteSize)) {
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
    const ShapeFactors factors = shapeFactors(moteSize);
    Vec2 v[8];
    glBegin(GL_QUADS);
    for (int i = 0; i < count; ++i) {
        const Mote& m = motes[i];
        glColor3f(m.colour.r, m.colour.g, m.colour.b);
        const int n = moteVertices(m, moteShape, directional, factors, v);
        for (int k = 0; k < n; ++k) glVertex2f(v[k].x, v[k].y);
    }
    glEnd();

    glFlush();
}

}  // namespace zorvan
