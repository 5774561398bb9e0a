// The host's entry points: who draws, sizing, start, the frame step, failure paths.
#include "platform/gl/OffscreenView.h"
#include "support/TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace zorvan;

namespace {

// A GL view that records the calls the saver view makes, drawing through a real
// offscreen context underneath.
class RecordingGLView : public OpenGLView {
public:
    RecordingGLView(std::unique_ptr<OffscreenView> inner, std::vector<std::string>* log)
        : inner_(std::move(inner)), log_(log) {}
    void makeCurrentContext() override { log_->push_back("makeCurrent"); inner_->makeCurrentContext(); }
    void setValuesForParameter(const int* values, int parameter) override {
        log_->push_back("set " + std::to_string(parameter) + "=" + std::to_string(values[0]));
    }
    void flushBuffer() override { log_->push_back("flush"); inner_->flushBuffer(); }
    void lockFocus() override { log_->push_back("lock"); inner_->lockFocus(); }
    void unlockFocus() override { log_->push_back("unlock"); inner_->unlockFocus(); }
    void setFrameSize(Size size) override {
        log_->push_back("size " + std::to_string(int(size.width)) + "x" + std::to_string(int(size.height)));
        inner_->setFrameSize(size);
    }
    OffscreenView& inner() { return *inner_; }

private:
    std::unique_ptr<OffscreenView> inner_;
    std::vector<std::string>* log_;
};

OpenGLViewFactory recordingFactory(std::vector<std::string>* log, RecordingGLView** made) {
    return keepingFactory([log, made](Rect frame, const OpenGLPixelFormat& format) -> std::unique_ptr<OpenGLView> {
        log->push_back("create " + std::to_string(int(frame.width)) + "x" + std::to_string(int(frame.height)) +
                       " depth " + std::to_string(format.valueOf(NSOpenGLPFADepthSize, 0)));
        auto view = std::make_unique<RecordingGLView>(OffscreenView::create(frame, format), log);
        *made = view.get();
        return view;
    });
}

}  // namespace

TEST(Lifecycle, HostQueriesAnswerYes) {
    EXPECT_TRUE(Zorvan::performGammaFade());
    Zorvan view{OpenGLViewFactory{}};
    EXPECT_TRUE(view.hasConfigureSheet());
}

TEST(Lifecycle, MainScreenTestDecidesWhoDraws) {
    struct Case {
        double x, y;
        bool preview;
        bool draws;
    };
    {
        test::StoreFile store("[Zorvan]\nmainScreenOnly=true\n");
        const Case cases[] = {
            {0.0, 0.0, false, true},     {-0.0, 0.0, false, true},    {1440.0, 0.0, false, false},
            {0.0, -1050.0, false, false}, {1440.0, 0.0, true, true},  {NAN, 0.0, false, false},
        };
        for (const Case& c : cases) {
            Zorvan view{OffscreenView::factory()};
            ASSERT_EQ(view.initWithFrame(Rect{c.x, c.y, 320, 200}, c.preview), &view);
            ASSERT_TRUE(test::state(view).settings.mainScreenOnly);
            EXPECT_EQ(view.draws(), c.draws) << c.x << "," << c.y << " preview " << c.preview;
            EXPECT_EQ(view.glView() != nullptr, c.draws);
            EXPECT_EQ(view.animationTimeInterval(), c.draws ? 1.0 / 60.0 : -1.0);
        }
    }
    {
        test::StoreFile store("[Zorvan]\nmainScreenOnly=false\n");
        Zorvan view{OffscreenView::factory()};
        ASSERT_TRUE(view.initWithFrame(Rect{1440, -1050, 320, 200}, false));
        EXPECT_TRUE(view.draws());
    }
}

TEST(Lifecycle, DeclinedInstanceOnlyPassesCallsToTheBaseView) {
    test::StoreFile store("[Zorvan]\nmainScreenOnly=true\n");
    Zorvan view{OffscreenView::factory()};
    ASSERT_TRUE(view.initWithFrame(Rect{1440, 0, 640, 480}, false));
    EXPECT_FALSE(view.draws());
    EXPECT_EQ(view.animationTimeInterval(), -1.0);
    EXPECT_EQ(view.glView(), nullptr);
    EXPECT_TRUE(view.subviews().empty());
    EXPECT_EQ(test::state(view).swarm.motes, nullptr);
    EXPECT_EQ(test::state(view).picture.logo, nullptr);

    view.setFrameSize(Size{640, 480});
    EXPECT_EQ(view.frame().width, 640);
    EXPECT_EQ(test::state(view).swarm.displayWidth, 0);
    EXPECT_EQ(test::state(view).swarm.fieldWidth, 0);

    view.startAnimation();
    EXPECT_TRUE(view.isAnimating());
    EXPECT_FALSE(test::state(view)._initedGL);

    for (int i = 0; i < 500; ++i) view.animateOneFrame();
    EXPECT_EQ(test::state(view).frameCount, 0);
    EXPECT_EQ(test::state(view).mode, MODE_FLOW);
}

TEST(Lifecycle, CreationTalksToTheGLViewInOrder) {
    std::vector<std::string> log;
    RecordingGLView* gl = nullptr;
    Zorvan view{recordingFactory(&log, &gl)};
    ASSERT_TRUE(view.initWithFrame(Rect{0, 0, 64, 48}, false));
    const std::vector<std::string> expected = {"create 64x48 depth 16", "makeCurrent", "set 222=1", "flush"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(view.glView(), gl);
    ASSERT_EQ(view.subviews().size(), 1u);
    EXPECT_TRUE(view.autoresizesSubviews());
    EXPECT_EQ(view.animationTimeInterval(), 1.0 / 60.0);
    EXPECT_NE(test::state(view).swarm.motes, nullptr);
    EXPECT_EQ(test::state(view).swarm.numMotesAllocated, test::state(view).settings.numMotes);
    // The first clear is opaque black, whatever the background setting.
    EXPECT_EQ(gl->inner().pixelAt(10, 10), test::pixelOf({0, 0, 0}));
    // Nothing is sized yet.
    EXPECT_EQ(test::state(view).swarm.displayWidth, 0);
    EXPECT_EQ(test::state(view).swarm.fieldHeight, 0);

    log.clear();
    view.setFrameSize(Size{64, 48});
    view.startAnimation();
    view.animateOneFrame();
    const std::vector<std::string> run = {"size 64x48", "size 64x48", "lock", "flush", "unlock", "lock", "unlock"};
    EXPECT_EQ(log, run);
}

TEST(Lifecycle, SizingTruncatesAndSeeds) {
    auto view = test::makeOffscreenView(799.9, 599.5);
    ASSERT_TRUE(view);
    view->setFrameSize(Size{799.9, 599.5});
    EXPECT_EQ(test::state(view).swarm.displayWidth, 799);
    EXPECT_EQ(test::state(view).swarm.displayHeight, 599);
    EXPECT_EQ(test::state(view).swarm.fieldWidth, 266);
    EXPECT_EQ(test::state(view).swarm.fieldHeight, 199);
    for (int i = 0; i < test::state(view).settings.numMotes; ++i) {
        const Mote& m = test::state(view).swarm.motes[i];
        ASSERT_GE(m.pos.x, 0.0f);
        ASSERT_LE(m.pos.x, 799.0f);
        ASSERT_GE(m.weight, MIN_WEIGHT);
        ASSERT_LE(m.weight, MAX_WEIGHT);
    }
}

TEST(Lifecycle, TinyViewsStillGetWholeCells) {
    for (Size size : {Size{2, 2}, Size{0, 0}, Size{1, 500}}) {
        auto view = test::makeOffscreenView(size.width, size.height);
        ASSERT_TRUE(view);
        view->setFrameSize(size);
        EXPECT_GE(test::state(view).swarm.fieldWidth, 1);
        EXPECT_GE(test::state(view).swarm.fieldHeight, 1);
        view->startAnimation();
        for (int i = 0; i < 10; ++i) view->animateOneFrame();
        EXPECT_EQ(test::state(view).frameCount, 10);
    }
}

TEST(Lifecycle, StartAppliesGLStateOncePerSizingAndClearsEveryTime) {
    auto view = test::makeOffscreenView(32, 32);
    ASSERT_TRUE(view);
    view->setFrameSize(Size{32, 32});
    test::state(view).settings.bg = {0.0f, 0.0f, 1.0f};
    view->startAnimation();
    EXPECT_TRUE(test::state(view)._initedGL);
    OffscreenView* gl = test::offscreenOf(*view);
    EXPECT_EQ(gl->pixelAt(5, 5), test::pixelOf({0, 0, 1}));
    GLint shade = 0;
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_FLAT);
    EXPECT_TRUE(glIsEnabled(GL_POINT_SMOOTH));
    EXPECT_TRUE(glIsEnabled(GL_LINE_SMOOTH));

    // A second start without a resize leaves the GL state alone but clears again.
    glShadeModel(GL_SMOOTH);
    test::state(view).settings.bg = {1.0f, 0.0f, 0.0f};
    view->startAnimation();
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_SMOOTH);
    EXPECT_EQ(gl->pixelAt(5, 5), test::pixelOf({1, 0, 0}));

    // A resize clears the flag; the next start applies the state again.
    view->setFrameSize(Size{32, 32});
    EXPECT_FALSE(test::state(view)._initedGL);
    view->startAnimation();
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(shade, GL_FLAT);
}

TEST(Lifecycle, TheFirstFrameStepsBeforeItDraws) {
    auto view = test::makeOffscreenView(200, 100);
    ASSERT_TRUE(view);
    view->setFrameSize(Size{200, 100});
    view->startAnimation();
    test::state(view).swarm.numMotes = 1;
    test::state(view).settings.moteShape = 0;
    test::state(view).settings.directional = false;
    test::state(view).settings.moteSize = 4;  // a square of about 12 pixels
    test::state(view).mode = MODE_COAST;
    Mote& m = test::state(view).swarm.motes[0];
    m.pos = m.lastPos = {50.0f, 50.0f};
    m.vel = {100.0f, 0.0f};
    m.weight = 25.0f;
    m.colour = {1.0f, 1.0f, 1.0f};

    view->animateOneFrame();
    EXPECT_EQ(test::state(view).frameCount, 1);
    EXPECT_EQ(test::state(view).mode, MODE_COAST);
    EXPECT_FLOAT_EQ(m.pos.x, 50.0f + 99.0f);
    OffscreenView* gl = test::offscreenOf(*view);
    EXPECT_EQ(gl->pixelAt(149, 50), test::pixelOf({1, 1, 1})) << "the mote is drawn where it moved to";
    EXPECT_EQ(gl->pixelAt(50, 50), test::pixelOf({0, 0, 0})) << "not where it was";
}

TEST(Lifecycle, NoStepBeforeTheFirstSizing) {
    auto view = test::makeOffscreenView(64, 64);
    ASSERT_TRUE(view);
    view->startAnimation();
    for (int i = 0; i < 3; ++i) view->animateOneFrame();
    EXPECT_EQ(test::state(view).frameCount, 0);
}

TEST(Lifecycle, ResizeReseedsAndKeepsTheSchedule) {
    auto view = test::makeOffscreenView(400, 300);
    ASSERT_TRUE(view);
    view->setFrameSize(Size{400, 300});
    view->startAnimation();
    for (int i = 0; i < 460; ++i) view->animateOneFrame();
    const int mode = test::state(view).mode, index = test::state(view).playListIndex, count = test::state(view).frameCount;
    ASSERT_EQ(mode, MODE_SWIRL);

    srandom(7);
    view->setFrameSize(Size{300, 200});
    EXPECT_FALSE(test::state(view)._initedGL);
    EXPECT_EQ(test::state(view).swarm.displayWidth, 300);
    // Every live mote starts afresh: at rest on its seeded position.
    for (int i = 0; i < test::state(view).settings.numMotes; ++i) {
        ASSERT_EQ(test::state(view).swarm.motes[i].pos.x, test::state(view).swarm.motes[i].lastPos.x);
        ASSERT_LE(test::state(view).swarm.motes[i].pos.x, 300.0f);
        ASSERT_LE(test::state(view).swarm.motes[i].pos.y, 200.0f);
    }
    const Mote first = test::state(view).swarm.motes[0];
    srandom(7);
    view->setFrameSize(Size{300, 200});
    EXPECT_EQ(std::memcmp(&first, &test::state(view).swarm.motes[0], sizeof(Mote)), 0);

    view->startAnimation();
    EXPECT_EQ(test::state(view).mode, mode);
    EXPECT_EQ(test::state(view).playListIndex, index);
    EXPECT_EQ(test::state(view).frameCount, count);
}

TEST(Lifecycle, BackgroundComesFromTheLogoOnlyInPictureColours) {
    auto view = test::makeOffscreenView(100, 100);
    ASSERT_TRUE(view);
    const Colour original = {0.1f, 0.2f, 0.3f};
    const Colour picture = {0.5f, 0.25f, 0.75f};

    auto withTable = [&] {
        std::free(test::state(view).picture.logo);
        test::state(view).picture.logo = static_cast<Colour*>(std::malloc(4 * sizeof(Colour)));
        test::state(view).picture.logo[0] = test::state(view).picture.logo[1] = test::state(view).picture.logo[2] = picture;
        test::state(view).picture.logo[3] = {1.0f, 1.0f, 1.0f};
        test::state(view).picture.logoWidth = test::state(view).picture.logoHeight = 2;
        test::state(view).picture.numNonBGPixels = 1;
    };

    for (int colourMode : {0, 1, 2}) {
        withTable();
        test::state(view).settings.colourMode = colourMode;
        test::state(view).settings.bg = original;
        view->setFrameSize(Size{100, 100});
        const Colour expected = colourMode == 2 ? picture : original;
        EXPECT_EQ(test::state(view).settings.bg.r, expected.r) << "colour mode " << colourMode;
        EXPECT_EQ(test::state(view).settings.bg.g, expected.g);
        EXPECT_EQ(test::state(view).settings.bg.b, expected.b);
    }

    std::free(test::state(view).picture.logo);
    test::state(view).picture.logo = nullptr;
    test::state(view).settings.colourMode = 2;
    test::state(view).settings.bg = original;
    view->setFrameSize(Size{100, 100});
    EXPECT_EQ(test::state(view).settings.bg.g, original.g) << "no table, no change";
}

TEST(Lifecycle, AViewWithoutAGLViewBehavesAsDeclined) {
    for (OpenGLViewFactory factory :
         {OpenGLViewFactory{}, OpenGLViewFactory([](Rect, const OpenGLPixelFormat&) -> OpenGLView* {
              return nullptr;
          })}) {
        Zorvan view{factory};
        ASSERT_EQ(view.initWithFrame(Rect{0, 0, 640, 480}, false), &view);
        EXPECT_FALSE(view.draws());
        EXPECT_EQ(view.animationTimeInterval(), -1.0);
        EXPECT_EQ(test::state(view).swarm.motes, nullptr);
        view.setFrameSize(Size{640, 480});
        view.startAnimation();
        for (int i = 0; i < 3; ++i) view.animateOneFrame();
        EXPECT_EQ(test::state(view).frameCount, 0);
    }
}

TEST(Lifecycle, AnUnusableFrameFailsTheBaseView) {
    for (Rect frame : {Rect{0, 0, NAN, 100}, Rect{0, 0, 100, -1}, Rect{0, 0, INFINITY, 100}}) {
        Zorvan view{OffscreenView::factory()};
        EXPECT_EQ(view.initWithFrame(frame, false), nullptr);
    }
}

TEST(Lifecycle, HostileSizesNeverBreakTheConversion) {
    auto view = test::makeOffscreenView(64, 64);
    ASSERT_TRUE(view);
    test::state(view).swarm.numMotes = 10;
    for (Size size : {Size{NAN, 10}, Size{-5, -5}, Size{1e300, 8}}) {
        view->setFrameSize(size);
        EXPECT_GE(test::state(view).swarm.displayWidth, 0);
        EXPECT_GE(test::state(view).swarm.fieldWidth, 1);
        EXPECT_GE(test::state(view).swarm.fieldHeight, 1);
    }
}
