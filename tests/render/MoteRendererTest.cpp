// Frames drawn on a real offscreen context, checked by reading back pixels and GL state.
#include "render/MoteRenderer.h"
#include "render/MoteShapes.h"
#include "support/TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <array>
#include <tuple>
#include <vector>

using namespace zorvan;

namespace {

constexpr int W = 200, H = 120;

// The same colour: within one step of 8-bit rounding.
bool sameColour(uint32_t pixel, const Colour& c) { return test::nearPixel(pixel, test::pixelOf(c), 1); }

const Colour BG = {0.2f, 0.4f, 0.6f};
const Colour RED = {1.0f, 0.0f, 0.0f};
const Colour GREEN = {0.0f, 1.0f, 0.0f};

class MoteRendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        view = test::makeOffscreenView(W, H);
        ASSERT_TRUE(view);
        gl = test::offscreenOf(*view);
        ASSERT_TRUE(gl);
        view->setFrameSize({W, H});
        view->startAnimation();
        ASSERT_GE(test::state(view).swarm.numMotesAllocated, 4);
        // Settings by hand: the stored ones are not what these frames are about.
        test::state(view).swarm.numMotes = 0;
        test::state(view).settings.bg = BG;
        test::state(view).settings.drawMode = 0;
        test::state(view).settings.moteSize = 10;
        test::state(view).settings.moteShape = SHAPE_SQUARE;
        test::state(view).settings.directional = false;
    }

    Mote& addMote(Vec2 pos, Colour colour, float weight = 25.0f, Vec2 vel = {0.0f, 0.0f}) {
        Mote& m = test::state(view).swarm.motes[test::state(view).swarm.numMotes++];
        m = Mote{};
        m.pos = pos;
        m.lastPos = pos;
        m.vel = vel;
        m.weight = weight;
        m.home = pos;
        m.colour = colour;
        return m;
    }

    void draw() {
        view->glView()->lockFocus();
        view->drawMotes();
        view->glView()->unlockFocus();
    }

    uint32_t at(int x, int y) const { return gl->pixelAt(x, y); }

    void expectColourAt(int x, int y, const Colour& c) const {
        EXPECT_TRUE(sameColour(at(x, y), c))
            << "pixel (" << x << ", " << y << ") is " << std::hex << at(x, y) << ", want " << test::pixelOf(c);
    }

    // How many pixels of the row (or column) through (x, y) carry colour c.
    int runLength(int x, int y, bool alongX, const Colour& c) const {
        int count = 0;
        for (int i = 0; i < (alongX ? W : H); ++i)
            if (sameColour(alongX ? at(i, y) : at(x, i), c)) ++count;
        return count;
    }

    std::unique_ptr<Zorvan> view;
    OffscreenView* gl = nullptr;
};

}  // namespace

TEST_F(MoteRendererTest, EmptySwarmGivesBackgroundAndLeavesFrameState) {
    // State a previous frame may have left: the frame must set its own.
    view->glView()->lockFocus();
    glViewport(0, 0, 7, 9);
    glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    view->glView()->unlockFocus();

    draw();
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ASSERT_TRUE(sameColour(at(x, y), BG)) << "pixel (" << x << ", " << y << ")";

    view->glView()->lockFocus();
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    view->glView()->unlockFocus();
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], test::state(view).swarm.displayWidth);
    EXPECT_EQ(viewport[3], test::state(view).swarm.displayHeight);
    EXPECT_EQ(clear[0], BG.r);
    EXPECT_EQ(clear[1], BG.g);
    EXPECT_EQ(clear[2], BG.b);
    EXPECT_EQ(clear[3], 1.0f);
}

TEST_F(MoteRendererTest, MotesAppearAtTheirPositionsYUp) {
    addMote({30.0f, 90.0f}, RED);     // near the top-left
    addMote({150.0f, 20.0f}, GREEN);  // near the bottom-right
    draw();
    expectColourAt(30, 90, RED);
    expectColourAt(150, 20, GREEN);
    expectColourAt(30, H - 1 - 90, BG);  // not mirrored
    expectColourAt(100, 60, BG);
    expectColourAt(0, 0, BG);
    // A square of half-side about 1.77 at size 10: a few pixels, no more.
    expectColourAt(36, 90, BG);
    expectColourAt(30, 96, BG);

    // The last mote drawn covers the earlier ones.
    test::state(view).swarm.numMotes = 0;
    addMote({100.0f, 60.0f}, RED, 40.0f);
    addMote({100.0f, 60.0f}, GREEN, 25.0f);
    draw();
    expectColourAt(100, 60, GREEN);
    expectColourAt(102, 60, RED);  // the heavier red one is larger
}

TEST_F(MoteRendererTest, TailsInDrawModeOneForSmallMotes) {
    test::state(view).settings.bg = {0.0f, 0.0f, 0.0f};
    const Colour mean = {0.5f, 0.1f, 0.345f};  // half of LIGHT on black
    Mote& m = addMote({100.0f, 50.0f}, LIGHT);
    m.lastPos = {20.0f, 50.0f};

    test::state(view).settings.drawMode = 1;
    test::state(view).settings.moteSize = 6;
    draw();
    expectColourAt(60, 50, mean);
    expectColourAt(100, 50, LIGHT);  // the body covers its tail
    const int width25 = runLength(60, 50, false, mean);
    EXPECT_GE(width25, 2);
    EXPECT_LE(width25, 4);

    // Heavier motes have wider tails: 4 pixels at weight 40 (smoothing adds the rims).
    test::state(view).swarm.motes[0].weight = 40.0f;
    draw();
    const int width40 = runLength(60, 50, false, mean);
    EXPECT_GT(width40, width25);
    EXPECT_LE(width40, 6);

    test::state(view).settings.moteSize = 5;
    draw();
    expectColourAt(60, 50, test::state(view).settings.bg);
    expectColourAt(100, 50, LIGHT);
}

TEST_F(MoteRendererTest, BodiesCoverEveryTail) {
    test::state(view).settings.drawMode = 1;
    test::state(view).settings.moteSize = 6;
    addMote({100.0f, 60.0f}, RED, 40.0f);  // first: its body must stay over the later tail
    Mote& second = addMote({160.0f, 60.0f}, GREEN);
    second.lastPos = {40.0f, 60.0f};
    draw();
    expectColourAt(100, 60, RED);
    const Colour mean = tailColour(second, test::state(view).settings.bg);
    expectColourAt(130, 60, mean);
    expectColourAt(60, 60, mean);
}

TEST_F(MoteRendererTest, HexagonCoversItsCentreAndStaysInside) {
    test::state(view).settings.moteShape = SHAPE_HEXAGON;
    test::state(view).settings.moteSize = 4;  // outer radius 10 at weight 40
    for (const bool directional : {false, true}) {
        SCOPED_TRACE(directional ? "directional" : "axis-aligned");
        test::state(view).settings.directional = directional;
        test::state(view).swarm.numMotes = 0;
        addMote({100.0f, 60.0f}, RED, 40.0f, {1.0f, 0.0f});
        draw();
        expectColourAt(100, 60, RED);
        expectColourAt(96, 57, RED);
        expectColourAt(104, 63, RED);
        // Within the radius along both axes, never past it.
        EXPECT_GE(runLength(100, 60, true, RED), 17);
        EXPECT_LE(runLength(100, 60, true, RED), 21);
        EXPECT_GE(runLength(100, 60, false, RED), 16);
        EXPECT_LE(runLength(100, 60, false, RED), 21);
        expectColourAt(109, 69, BG);  // outside the corner between two sides
    }
}

TEST_F(MoteRendererTest, DirectionalDiamondIsLongerAlongTheVelocity) {
    test::state(view).settings.moteShape = SHAPE_DIAMOND;
    test::state(view).settings.directional = true;
    test::state(view).settings.moteSize = 1;  // half-length 30, half-width 20 at weight 30

    addMote({100.0f, 60.0f}, RED, 30.0f, {0.0f, 2.0f});  // moving up
    draw();
    const int upAlongY = runLength(100, 60, false, RED), upAlongX = runLength(100, 60, true, RED);
    EXPECT_NEAR(upAlongY, 60, 2);
    EXPECT_NEAR(upAlongX, 40, 2);

    test::state(view).swarm.motes[0].vel = {-5.0f, 0.0f};  // moving left
    draw();
    EXPECT_NEAR(runLength(100, 60, true, RED), 60, 2);
    EXPECT_NEAR(runLength(100, 60, false, RED), 40, 2);
}

// A mote at rest under a directional shape is drawn, as the axis-aligned shape.
TEST_F(MoteRendererTest, MoteAtRestIsDrawnWhole) {
    test::state(view).settings.directional = true;
    test::state(view).settings.moteSize = 1;
    for (int shape = SHAPE_SQUARE; shape <= SHAPE_HEXAGON; ++shape) {
        SCOPED_TRACE("shape " + std::to_string(shape));
        test::state(view).settings.moteShape = shape;
        test::state(view).swarm.numMotes = 0;
        addMote({100.0f, 60.0f}, RED, 30.0f, {0.0f, 0.0f});
        draw();
        expectColourAt(100, 60, RED);
        expectColourAt(100 + 15, 60, RED);
        expectColourAt(100 + 35, 60, BG);
        EXPECT_GE(runLength(100, 60, true, RED), 38);
    }
}

// The frame's vertices land on pixel centres: every vertex is shifted by 0.375.
TEST_F(MoteRendererTest, VerticesAreShiftedTowardPixelCentres) {
    test::state(view).settings.moteSize = 1;
    // Half-side 21.2164 at weight 30: the right and top edges fall at x.216 before the
    // shift (short of the pixel centre x.5) and at x.591 after it.
    addMote({79.0f, 39.0f}, RED, 30.0f);
    draw();
    expectColourAt(100, 39, RED);
    expectColourAt(101, 39, BG);
    expectColourAt(79, 60, RED);
    expectColourAt(79, 61, BG);
}

namespace {

// What GL received, through its feedback mode: every line and every (triangulated)
// polygon with window coordinates and colour.
struct Feedback {
    struct Vertex {
        float x, y, r, g, b;
    };
    std::vector<std::array<Vertex, 2>> lines;
    std::vector<std::vector<Vertex>> polygons;
};

Feedback drawWithFeedback(Zorvan& view) {
    std::vector<GLfloat> buffer(1 << 16);
    view.glView()->lockFocus();
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    view.drawMotes();
    const int used = glRenderMode(GL_RENDER);
    view.glView()->unlockFocus();

    Feedback fb;
    EXPECT_GE(used, 0) << "feedback buffer overflow";
    auto vertexAt = [&](int& i) {
        const Feedback::Vertex v{buffer[i], buffer[i + 1], buffer[i + 3], buffer[i + 4], buffer[i + 5]};
        i += 7;  // x, y, z, r, g, b, a
        return v;
    };
    for (int i = 0; i < used;) {
        const int token = static_cast<int>(buffer[i++]);
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            const Feedback::Vertex a = vertexAt(i);
            fb.lines.push_back({a, vertexAt(i)});
        } else if (token == GL_POLYGON_TOKEN) {
            const int n = static_cast<int>(buffer[i++]);
            std::vector<Feedback::Vertex> polygon;
            for (int k = 0; k < n; ++k) polygon.push_back(vertexAt(i));
            fb.polygons.push_back(polygon);
        } else {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
    }
    return fb;
}

double areaOf(const Vec2* v, int n) {
    double twice = 0;
    for (int i = 0; i < n; ++i) {
        const Vec2 a = v[i], b = v[(i + 1) % n];
        twice += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
    }
    return std::fabs(twice) / 2;
}

}  // namespace

// GL receives exactly the computed vertices of every variant, shifted by 0.375, in the
// mote's colour, quad by quad; and one line per tail in the tail colour.
TEST_F(MoteRendererTest, GlReceivesTheComputedShapesAndTails) {
    test::state(view).settings.drawMode = 1;
    test::state(view).settings.moteSize = 6;
    for (int shape = SHAPE_SQUARE; shape <= SHAPE_HEXAGON; ++shape) {
        for (const bool directional : {false, true}) {
            SCOPED_TRACE("shape " + std::to_string(shape) + (directional ? " directional" : ""));
            test::state(view).settings.moteShape = shape;
            test::state(view).settings.directional = directional;
            test::state(view).swarm.numMotes = 0;
            Mote& a = addMote({100.0f, 50.0f}, RED, 25.0f, {3.0f, 4.0f});
            a.lastPos = {20.0f, 40.0f};
            Mote& b = addMote({60.5f, 80.25f}, GREEN, 40.0f, {-1.0f, 0.5f});
            b.lastPos = {61.0f, 79.0f};

            const Feedback fb = drawWithFeedback(*view);

            ASSERT_EQ(fb.lines.size(), 2u);
            for (int i = 0; i < 2; ++i) {
                const Mote& m = test::state(view).swarm.motes[i];
                const Colour c = tailColour(m, test::state(view).settings.bg);
                const auto& line = fb.lines[i];
                EXPECT_NEAR(line[0].x, m.pos.x + 0.375, 1e-3);
                EXPECT_NEAR(line[0].y, m.pos.y + 0.375, 1e-3);
                EXPECT_NEAR(line[1].x, m.lastPos.x + 0.375, 1e-3);
                EXPECT_NEAR(line[1].y, m.lastPos.y + 0.375, 1e-3);
                EXPECT_NEAR(line[1].r, c.r, 1e-6);
                EXPECT_NEAR(line[1].g, c.g, 1e-6);
                EXPECT_NEAR(line[1].b, c.b, 1e-6);
            }

            // Every polygon vertex is one of its mote's vertices, all of them are used,
            // and together the polygons cover the area of the mote's quads.
            size_t next = 0;
            for (int i = 0; i < 2; ++i) {
                const Mote& m = test::state(view).swarm.motes[i];
                Vec2 want[8];
                const int n = moteVertices(m, shape, directional, shapeFactors(test::state(view).settings.moteSize), want);
                double wantArea = 0;
                for (int q = 0; q < n; q += 4) wantArea += areaOf(want + q, 4);
                double gotArea = 0;
                bool used[8] = {};
                // Mesa splits a quad into triangles: take polygons until the area is covered.
                while (next < fb.polygons.size() && gotArea < wantArea - 1e-3) {
                    const auto& polygon = fb.polygons[next++];
                    std::vector<Vec2> pts;
                    for (const auto& v : polygon) {
                        bool matched = false;
                        for (int k = 0; k < n; ++k)
                            if (std::fabs(v.x - (want[k].x + 0.375)) < 1e-3 &&
                                std::fabs(v.y - (want[k].y + 0.375)) < 1e-3)
                                matched = used[k] = true;
                        EXPECT_TRUE(matched) << "stray vertex (" << v.x << ", " << v.y << ")";
                        EXPECT_EQ(v.r, m.colour.r);
                        EXPECT_EQ(v.g, m.colour.g);
                        EXPECT_EQ(v.b, m.colour.b);
                        pts.push_back({v.x, v.y});
                    }
                    gotArea += areaOf(pts.data(), static_cast<int>(pts.size()));
                }
                EXPECT_NEAR(gotArea, wantArea, 1e-2 * wantArea);
                for (int k = 0; k < n; ++k) EXPECT_TRUE(used[k]) << "vertex " << k + 1 << " missing";
            }
            EXPECT_EQ(next, fb.polygons.size());
        }
    }

    // No tails for the larger motes, nor in other draw modes.
    test::state(view).settings.moteSize = 5;
    EXPECT_TRUE(drawWithFeedback(*view).lines.empty());
    test::state(view).settings.moteSize = 6;
    test::state(view).settings.drawMode = 2;
    EXPECT_TRUE(drawWithFeedback(*view).lines.empty());
    test::state(view).settings.drawMode = 0;
    EXPECT_TRUE(drawWithFeedback(*view).lines.empty());
    test::state(view).swarm.numMotes = 0;
    const Feedback empty = drawWithFeedback(*view);
    EXPECT_TRUE(empty.lines.empty());
    EXPECT_TRUE(empty.polygons.empty());
}

// A target showing one rectangle of the scene draws exactly those pixels of the whole:
// one scene can be split over several surfaces with nothing lost or moved at the seams.
// (Bodies only: the smoothed lines of tails may differ in a pixel's coverage.)
TEST_F(MoteRendererTest, ARectangleOfTheSceneIsThatCropOfTheWhole) {
    test::state(view).swarm.numMotes = test::state(view).swarm.numMotesAllocated;
    srandom(5);
    for (int i = 0; i < view->liveMotes(); ++i) view->initMote(i);
    test::state(view).settings.directional = true;
    for (int f = 0; f < 40; ++f) view->advanceMotes();
    const Swarm& swarm = test::state(view).swarm;
    auto draw = [&](RenderTarget target) {
        renderMotes(swarm.motes, swarm.liveMotes(), view->moteStyle(), target);
        std::vector<uint32_t> pixels(size_t(W) * H);
        glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8, pixels.data());
        return pixels;
    };
    const std::vector<uint32_t> whole = draw({W, H, 0.0, 0.0, 1.0});
    // Parts of 120 x 120 from x 80, and of 90 x 70 from y 50 (what the drawable holds of
    // them is what is compared).
    for (const auto& [part, w, h] : {std::tuple{RenderTarget{W, H, 80.0, 0.0, 1.0}, 120, H},
                                     std::tuple{RenderTarget{W, H, 0.0, 50.0, 1.0}, 90, 70}}) {
        const std::vector<uint32_t> crop = draw(part);
        int lit = 0, differing = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t want = whole[size_t(y + int(part.y)) * W + size_t(x + int(part.x))];
                differing += crop[size_t(y) * W + size_t(x)] != want;
                lit += want != whole[0] ? 1 : 0;
            }
        EXPECT_GT(lit, 100) << "motes in the rectangle " << part.x << "," << part.y;
        EXPECT_EQ(differing, 0) << "of " << w * h << " pixels";
    }
}
