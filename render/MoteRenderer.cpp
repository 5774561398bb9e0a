// STUB: replaced by the renderer work.
#include "saver/Zorvan.h"
#include <GL/gl.h>
namespace zorvan {
void Zorvan::drawMotes() {
    glClearColor(bg.r, bg.g, bg.b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFlush();
}
}  // namespace zorvan
