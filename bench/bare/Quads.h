// The GL work of one frame, shared by the bare programs: clear, the pixel projection,
// and N coloured quads drifting across the frame, in one begin/end.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bare {

class Quads {
public:
    // `scale` pixels a point: quads and their steps that many times the size.
    Quads(int count, int width, int height, int scale = 1)
        : w_(width), h_(height), q_(static_cast<size_t>(count)) {
        uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return float(seed >> 8) / float(1u << 24);
        };
        for (Quad& q : q_) {
            q = {next() * float(w_), next() * float(h_), (next() * 4 - 2) * float(scale),
                 (next() * 4 - 2) * float(scale), (2.5f + next() * 1.5f) * float(scale), next(), next(), next()};
        }
    }

    void drawFrame() {
        for (Quad& q : q_) {
            q.x += q.dx;
            q.y += q.dy;
            if (q.x < 0) q.x += float(w_);
            if (q.x >= float(w_)) q.x -= float(w_);
            if (q.y < 0) q.y += float(h_);
            if (q.y >= float(h_)) q.y -= float(h_);
        }
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glViewport(0, 0, w_, h_);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(0.0, w_, 0.0, h_);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glBegin(GL_QUADS);
        for (const Quad& q : q_) {
            glColor3f(q.r, q.g, q.b);
            glVertex2f(q.x - q.s, q.y);
            glVertex2f(q.x, q.y - q.s);
            glVertex2f(q.x + q.s, q.y);
            glVertex2f(q.x, q.y + q.s);
        }
        glEnd();
        glFlush();
    }

private:
    struct Quad {
        float x, y, dx, dy, s, r, g, b;
    };
    int w_, h_;
    std::vector<Quad> q_;
};

}  // namespace bare
