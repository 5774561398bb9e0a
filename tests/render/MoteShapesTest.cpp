// The vertex geometry of the six mote shapes and the tail parameters, without GL.
#include "render/MoteShapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>

using namespace zorvan;

namespace {

// pos (100, 50), vel (3, 4), weight 25: at size 10, n = 5, m = 50, dx = 1.5, dy = 2.
Mote workedMote(Vec2 vel = {3.0f, 4.0f}) {
    Mote m{};
    m.pos = {100.0f, 50.0f};
    m.lastPos = {20.0f, 50.0f};
    m.vel = vel;
    m.weight = 25.0f;
    m.colour = LIGHT;
    return m;
}

// An expected coordinate: exact when tol is 0, else within tol.
struct Want {
    double x, tx, y, ty;
};
Want exact(double x, double y) { return {x, 0, y, 0}; }

void expectVertices(const Vec2* v, int n, std::initializer_list<Want> want) {
    ASSERT_EQ(n, static_cast<int>(want.size()));
    int i = 0;
    for (const Want& w : want) {
        SCOPED_TRACE("vertex " + std::to_string(i + 1));
        if (w.tx == 0) EXPECT_EQ(v[i].x, w.x); else EXPECT_NEAR(v[i].x, w.x, w.tx);
        if (w.ty == 0) EXPECT_EQ(v[i].y, w.y); else EXPECT_NEAR(v[i].y, w.y, w.ty);
        ++i;
    }
}

int verticesOf(const Mote& m, int shape, bool directional, Vec2 out[8], int moteSize = 10) {
    return moteVertices(m, shape, directional, shapeFactors(moteSize), out);
}

bool allFinite(const Vec2* v, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(v[i].x) || !std::isfinite(v[i].y)) return false;
    return true;
}

// Digits as the worked values state them: 5 decimals and 3 decimals.
constexpr double D5 = 1e-5, D3 = 6e-4;

}  // namespace

TEST(MoteShapes, WorkedValuesOfTheSixVariants) {
    const Mote m = workedMote();
    Vec2 v[8];

    {
        SCOPED_TRACE("square, directional");
        const int n = verticesOf(m, SHAPE_SQUARE, true, v);
        expectVertices(v, n, {exact(101.5, 52), exact(102, 48.5), exact(98.5, 48), exact(98, 51.5)});
    }
    {
        SCOPED_TRACE("square, not directional");
        EXPECT_NEAR(shapeFactors(10).squareK, 0.07072136, 1e-8);
        Mote origin = m;
        origin.pos = {0.0f, 0.0f};
        verticesOf(origin, SHAPE_SQUARE, false, v);
        EXPECT_NEAR(v[0].x, 1.768034, 5e-7);  // the half-side h
        const int n = verticesOf(m, SHAPE_SQUARE, false, v);
        const double h = 1.768034;
        expectVertices(v, n, {{100 + h, D5, 50 + h, D5}, {100 - h, D5, 50 + h, D5},
                              {100 - h, D5, 50 - h, D5}, {100 + h, D5, 50 - h, D5}});
        EXPECT_NEAR(v[0].x, 101.768, 5e-4);
        EXPECT_NEAR(v[0].y, 51.768, 5e-4);
    }
    {
        SCOPED_TRACE("diamond, directional");
        const int n = verticesOf(m, SHAPE_DIAMOND, true, v);
        expectVertices(v, n, {exact(101.5, 52), {101.33333, D5, 49, 0}, exact(98.5, 48),
                              {98.66667, D5, 51, 0}});
    }
    {
        SCOPED_TRACE("diamond, not directional");
        const int n = verticesOf(m, SHAPE_DIAMOND, false, v);
        expectVertices(v, n, {exact(102.5, 50), {100, 0, 51.66667, D5}, exact(97.5, 50),
                              {100, 0, 48.33333, D5}});
    }
    {
        SCOPED_TRACE("hexagon, directional");
        const int n = verticesOf(m, SHAPE_HEXAGON, true, v);
        expectVertices(v, n, {exact(101.5, 52), {99.018, D3, 52.299, D3}, {97.518, D3, 50.299, D3},
                              exact(98.5, 48), exact(101.5, 52), exact(98.5, 48),
                              {100.982, D3, 47.701, D3}, {102.482, D3, 49.701, D3}});
    }
    {
        SCOPED_TRACE("hexagon, not directional");
        const int n = verticesOf(m, SHAPE_HEXAGON, false, v);
        expectVertices(v, n, {exact(100, 52.5), {97.835, D3, 51.25, 0}, {97.835, D3, 48.75, 0},
                              exact(100, 47.5), exact(100, 52.5), exact(100, 47.5),
                              {102.165, D3, 48.75, 0}, {102.165, D3, 51.25, 0}});
    }
}

// The directional shapes use only the direction of the velocity, the others ignore it.
TEST(MoteShapes, DirectionNotSpeedTurnsTheShapes) {
    for (int shape = SHAPE_SQUARE; shape <= SHAPE_HEXAGON; ++shape) {
        SCOPED_TRACE("shape " + std::to_string(shape));
        Vec2 fast[8], slow[8], still[8], moving[8];
        const int n = verticesOf(workedMote({3.0f, 4.0f}), shape, true, fast);
        ASSERT_EQ(verticesOf(workedMote({0.3f, 0.4f}), shape, true, slow), n);
        for (int i = 0; i < n; ++i) {
            EXPECT_FLOAT_EQ(slow[i].x, fast[i].x);
            EXPECT_FLOAT_EQ(slow[i].y, fast[i].y);
        }
        verticesOf(workedMote({0.0f, 0.0f}), shape, false, still);
        verticesOf(workedMote({-7.0f, 2.0f}), shape, false, moving);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(still[i].x, moving[i].x);
            EXPECT_EQ(still[i].y, moving[i].y);
        }
    }
    // The first corner points along the velocity, at the outer radius w / s.
    Vec2 v[8];
    verticesOf(workedMote({0.0f, -2.0f}), SHAPE_HEXAGON, true, v);
    EXPECT_EQ(v[0].x, 100.0f);
    EXPECT_EQ(v[0].y, 47.5f);
}

// A mote at rest has no direction: it is drawn as the axis-aligned shape of its kind.
TEST(MoteShapes, ShapeWithoutDirectionFallsBackToAxisAligned) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Vec2 undirected[] = {{0.0f, 0.0f}, {-0.0f, 0.0f}, {0.0f, -0.0f}, {nan, 1.0f}, {nan, nan}};
    for (int shape = SHAPE_SQUARE; shape <= SHAPE_HEXAGON; ++shape) {
        for (const Vec2 vel : undirected) {
            SCOPED_TRACE("shape " + std::to_string(shape) + " vel " + std::to_string(vel.x) + "," +
                         std::to_string(vel.y));
            Vec2 turned[8], plain[8];
            const int n = verticesOf(workedMote(vel), shape, true, turned);
            ASSERT_EQ(verticesOf(workedMote(vel), shape, false, plain), n);
            EXPECT_TRUE(allFinite(turned, n));
            for (int i = 0; i < n; ++i) {
                EXPECT_EQ(turned[i].x, plain[i].x);
                EXPECT_EQ(turned[i].y, plain[i].y);
            }
        }
    }
}

// Velocities whose squares leave single precision still give a finite shape along them.
TEST(MoteShapes, ExtremeVelocitiesKeepTheirDirection) {
    const Vec2 extremes[] = {{1e30f, 0.0f}, {1e-30f, 0.0f}, {3e19f, 0.0f}, {1e-45f, 0.0f}};
    for (const Vec2 vel : extremes) {
        SCOPED_TRACE(std::to_string(vel.x));
        Vec2 v[8];
        const int n = verticesOf(workedMote(vel), SHAPE_DIAMOND, true, v);
        ASSERT_TRUE(allFinite(v, n));
        EXPECT_NEAR(v[0].x, 102.5, 1e-5);  // the tip at w / s along +x
        EXPECT_NEAR(v[0].y, 50.0, 1e-5);
    }
}

// A size below 1 never reaches memory through loading; if it does, it draws as size 1.
TEST(MoteShapes, SizeBelowOneDrawsAsOne) {
    for (const int size : {0, -3}) {
        const ShapeFactors f = shapeFactors(size);
        EXPECT_EQ(f.s, 1.0f);
        for (int shape = SHAPE_SQUARE; shape <= SHAPE_HEXAGON; ++shape) {
            for (const bool directional : {false, true}) {
                Vec2 v[8], one[8];
                const int n = verticesOf(workedMote(), shape, directional, v, size);
                verticesOf(workedMote(), shape, directional, one, 1);
                ASSERT_TRUE(allFinite(v, n));
                EXPECT_EQ(v[0].x, one[0].x);
                EXPECT_EQ(v[0].y, one[0].y);
            }
        }
    }
    // An unknown shape number draws a square rather than nothing.
    Vec2 v[8], square[8];
    EXPECT_EQ(verticesOf(workedMote(), 7, false, v), 4);
    verticesOf(workedMote(), SHAPE_SQUARE, false, square);
    EXPECT_EQ(v[0].x, square[0].x);
}

TEST(MoteShapes, TailsOnlyForSmallMotesInDrawModeOne) {
    EXPECT_FALSE(drawsTails(0, 10));
    EXPECT_FALSE(drawsTails(1, 5));
    EXPECT_TRUE(drawsTails(1, 6));
    EXPECT_TRUE(drawsTails(1, 10));
    EXPECT_FALSE(drawsTails(2, 10));
    EXPECT_FALSE(drawsTails(-1, 10));

    Mote m = workedMote();
    EXPECT_EQ(tailWidth(m), 2.5f);
    m.weight = 40.0f;
    EXPECT_EQ(tailWidth(m), 4.0f);

    const Colour c = tailColour(workedMote(), {0.0f, 0.0f, 0.0f});
    EXPECT_EQ(c.r, 0.5f);
    EXPECT_NEAR(c.g, 0.1, 1e-7);
    EXPECT_NEAR(c.b, 0.345, 1e-7);
    const Colour onGrey = tailColour(workedMote(), {0.5f, 0.6f, 0.31f});
    EXPECT_EQ(onGrey.r, 0.75f);
    EXPECT_NEAR(onGrey.g, 0.4, 1e-7);
    EXPECT_NEAR(onGrey.b, 0.5, 1e-7);
}
