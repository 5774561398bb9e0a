// One step of the motes in each motion mode, on hand-made motes, and the wrap.
#include "sim/BareSim.h"
#include "sim/Motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

using namespace zorvan;
using zorvan::test::makeBareSim;
using zorvan::test::seedAll;

namespace {

Mote makeMote(Vec2 pos, Vec2 vel, float weight = 25.0f, Vec2 home = {0, 0}) {
    Mote m{};
    m.pos = pos;
    m.lastPos = pos;
    m.vel = vel;
    m.weight = weight;
    m.home = home;
    m.colour = {1, 1, 1};
    return m;
}

// The softened distance, from its definition: float sum, double root and offset.
float soft(float dx, float dy, double c) {
    return static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy + 1.0f)) + c);
}

// The velocity a leader-mode step gives, from its definition, for a mote at p with
// velocity v and weight w, steering at `target`, with centre (cx, cy) for three leaders.
Vec2 threeLeaderVel(Vec2 p, Vec2 v, float w, Vec2 target, float cx, float cy) {
    const float dx = target.x - p.x, dy = target.y - p.y;
    const float d = soft(dx, dy, 2.0);
    const float ex = cx - p.x, ey = cy - p.y;
    const float e = soft(ex, ey, 4.0);
    const float gx = static_cast<float>(static_cast<double>(dx / d + ex / e) * 12.0 / 2.0);
    const float gy = static_cast<float>(static_cast<double>(dy / d + ey / e) * 12.0 / 2.0);
    return {0.99f * v.x + (gx * 0.8f) / w, 0.99f * v.y + (gy * 0.8f) / w};
}

Vec2 twoLeaderVel(Vec2 p, Vec2 v, float w, Vec2 target) {
    const float dx = target.x - p.x, dy = target.y - p.y;
    const float d = soft(dx, dy, 2.0);
    const float gx = static_cast<float>(static_cast<double>(dx / d) * 12.0);
    const float gy = static_cast<float>(static_cast<double>(dy / d) * 12.0);
    return {0.99f * v.x + (gx * 0.8f) / w, 0.99f * v.y + (gy * 0.8f) / w};
}

void expectVel(const Mote& m, Vec2 v) {
    EXPECT_EQ(m.vel.x, v.x);
    EXPECT_EQ(m.vel.y, v.y);
}

}  // namespace

TEST(Motion, GatherFromRestPullsTowardHome) {
    auto view = makeBareSim(800, 600, 1);
    test::state(view).mode = MODE_GATHER;
    test::state(view).motes[0] = makeMote({500, 300}, {0, 0}, 25.0f, {400, 300});
    view->advanceMotes();
    const Mote& m = test::state(view).motes[0];
    // D = float(sqrt(100^2 + 1) + 2) = 102.005, so v.x = -100 / D x 12 x 0.8 / 25.
    EXPECT_NEAR(m.vel.x, -0.3765, 1e-4);
    const float d = soft(-100.0f, 0.0f, 2.0);
    EXPECT_NEAR(d, 102.005, 1e-3);
    EXPECT_EQ(m.vel.x, (((-100.0f / d) * 12.0f) * 0.8f) / 25.0f);
    EXPECT_EQ(m.vel.y, 0.0f);
    EXPECT_EQ(m.pos.x, 500.0f + m.vel.x);
    EXPECT_EQ(m.lastPos.x, 500.0f);
    EXPECT_EQ(m.lastPos.y, 300.0f);
}

TEST(Motion, GatherDampsByTheCubeAndNeverWraps) {
    auto view = makeBareSim(800, 600, 1);
    test::state(view).mode = MODE_GATHER;
    // Home far left of the display: the mote goes there and stays outside.
    test::state(view).motes[0] = makeMote({10, 300}, {1.3f, 0}, 30.0f, {-500, 300});
    view->advanceMotes();
    const float d = soft(-510.0f, 0.0f, 2.0);
    EXPECT_EQ(test::state(view).motes[0].vel.x, ((0.99f * 1.3f) * 0.99f) * 0.99f + (((-510.0f / d) * 12.0f) * 0.8f) / 30.0f);
    for (int f = 0; f < 2000; ++f) view->advanceMotes();
    EXPECT_NEAR(test::state(view).motes[0].pos.x, -500.0f, 1.0f);
    EXPECT_NEAR(test::state(view).motes[0].pos.y, 300.0f, 1.0f);
}

TEST(Motion, MoteAtHomeAtRestStaysInGatherAndScatter) {
    for (int mode : {MODE_GATHER, MODE_SCATTER}) {
        auto view = makeBareSim(800, 600, 1);
        test::state(view).mode = mode;
        test::state(view).motes[0] = makeMote({123.5f, 456.25f}, {0, 0}, 31.0f, {123.5f, 456.25f});
        for (int f = 0; f < 100; ++f) view->advanceMotes();
        const Mote& m = test::state(view).motes[0];
        EXPECT_EQ(m.pos.x, 123.5f) << mode;
        EXPECT_EQ(m.pos.y, 456.25f) << mode;
        EXPECT_EQ(m.vel.x, 0.0f) << mode;
        EXPECT_EQ(m.vel.y, 0.0f) << mode;
    }
}

TEST(Motion, ScatterPushesAwayFromHomeWithoutDamping) {
    auto view = makeBareSim(800, 600, 1);
    test::state(view).mode = MODE_SCATTER;
    test::state(view).motes[0] = makeMote({500, 300}, {1.0f, 0.5f}, 25.0f, {400, 300});
    view->advanceMotes();
    const float d = soft(100.0f, 0.0f, 2.0);
    EXPECT_EQ(test::state(view).motes[0].vel.x, (((100.0f / d) * 12.0f) * 0.8f) / 25.0f + 1.0f);
    EXPECT_EQ(test::state(view).motes[0].vel.y, 0.5f);  // not 0.495: the old velocity is kept whole
}

TEST(Motion, CoastDecaysByTheSmoothnessEachFrameAndWraps) {
    auto view = makeBareSim(800, 600, 1);
    test::state(view).mode = MODE_COAST;
    test::state(view).motes[0] = makeMote({400, 300}, {30.0f, -7.0f});
    const int frames = 200;
    for (int f = 0; f < frames; ++f) {
        view->advanceMotes();
        const Vec2 p = test::state(view).motes[0].pos;
        ASSERT_TRUE(p.x >= 0 && p.x < 800 && p.y >= 0 && p.y < 600) << f;
    }
    EXPECT_NEAR(test::state(view).motes[0].vel.x, 30.0 * std::pow(0.99, frames), 1e-4);
    EXPECT_NEAR(test::state(view).motes[0].vel.y, -7.0 * std::pow(0.99, frames), 1e-4);
}

TEST(Motion, ConstantFieldGivesTerminalVelocity) {
    // v settles where v = kF/w + s v, that is kF / (w (1 - s)).
    for (int mode : {MODE_FLOW, MODE_SWIRL}) {
        auto view = makeBareSim(800, 600, 1);
        test::state(view).mode = mode;
        for (int k = 0; k < 9; ++k) test::state(view).fields[k] = test::state(view).swirl[k] = {2.0f, -1.0f};
        test::state(view).motes[0] = makeMote({400, 300}, {0, 0}, 32.0f);
        for (int f = 0; f < 3000; ++f) view->advanceMotes();
        EXPECT_NEAR(test::state(view).motes[0].vel.x, 0.8 * 2.0 / (32.0 * 0.01), 1e-3) << mode;
        EXPECT_NEAR(test::state(view).motes[0].vel.y, 0.8 * -1.0 / (32.0 * 0.01), 1e-3) << mode;
    }
}

TEST(Motion, FieldModesTakeTheVectorOfTheCellBeforeTheMove) {
    auto view = makeBareSim(900, 600, 2);
    test::state(view).mode = MODE_FLOW;
    for (int k = 0; k < 9; ++k) test::state(view).fields[k] = {static_cast<float>(k), -static_cast<float>(k)};
    test::state(view).motes[0] = makeMote({850, 550}, {0, 0});   // cell 8
    test::state(view).motes[1] = makeMote({299, 201}, {60, 0});  // cell 3, moves into cell 4
    view->advanceMotes();
    expectVel(test::state(view).motes[0], {(0.8f * 8.0f) / 25.0f, (0.8f * -8.0f) / 25.0f});
    expectVel(test::state(view).motes[1], {(0.8f * 3.0f) / 25.0f + 0.99f * 60.0f, (0.8f * -3.0f) / 25.0f});
}

TEST(Motion, UnknownModesMoveExactlyAsFlow) {
    auto flow = makeBareSim(800, 600, 300);
    auto seven = makeBareSim(800, 600, 300);
    auto negative = makeBareSim(800, 600, 300);
    for (test::BareSim* v : {flow.get(), seven.get(), negative.get()}) {
        srandom(31);
        v->initVectorField();
        seedAll(*v);
    }
    test::state(flow).mode = MODE_FLOW;
    test::state(seven).mode = 7;
    test::state(negative).mode = -1;
    for (int f = 0; f < 200; ++f) {
        for (test::BareSim* v : {flow.get(), seven.get(), negative.get()}) {
            v->advanceMotes();
            v->advanceFields();
        }
    }
    EXPECT_EQ(0, std::memcmp(test::state(flow).motes, test::state(seven).motes, sizeof(Mote) * 300));
    EXPECT_EQ(0, std::memcmp(test::state(flow).motes, test::state(negative).motes, sizeof(Mote) * 300));
}

TEST(Motion, ThreeLeadersChaseInARingAndTheRestFollow) {
    auto view = makeBareSim(800, 600, 5);
    test::state(view).mode = MODE_THREE_LEADERS;
    Mote* m = test::state(view).motes;
    m[0] = makeMote({100, 100}, {40, 0}, 25.0f);
    m[1] = makeMote({700, 100}, {0, 10}, 30.0f);
    m[2] = makeMote({400, 500}, {0, 0}, 35.0f);
    m[3] = makeMote({400, 300}, {1, 1}, 28.0f);
    m[4] = makeMote({-50, 700}, {0, 0}, 40.0f);  // off the display: no wrap in this mode
    Mote before[5];
    std::memcpy(before, m, sizeof before);
    view->advanceMotes();

    // Mote 0 and 1 steer at the next mote's position of the previous frame; mote 2 at
    // mote 0's of this frame; mote 3 at mote 1's and mote 4 at mote 2's of this frame.
    expectVel(m[0], threeLeaderVel(before[0].pos, before[0].vel, 25, before[1].pos, 400, 300));
    expectVel(m[1], threeLeaderVel(before[1].pos, before[1].vel, 30, before[2].pos, 400, 300));
    expectVel(m[2], threeLeaderVel(before[2].pos, before[2].vel, 35, m[0].pos, 400, 300));
    expectVel(m[3], threeLeaderVel(before[3].pos, before[3].vel, 28, m[1].pos, 400, 300));
    expectVel(m[4], threeLeaderVel(before[4].pos, before[4].vel, 40, m[2].pos, 400, 300));
    // The setup tells the two readings of mote 0 apart.
    const Vec2 stale = threeLeaderVel(before[2].pos, before[2].vel, 35, before[0].pos, 400, 300);
    EXPECT_NE(m[2].vel.x, stale.x);
    EXPECT_LT(m[4].pos.x, 0.0f);
    EXPECT_GT(m[4].pos.y, 600.0f);
}

TEST(Motion, TwoLeadersChaseEachOtherAndSplitTheSwarm) {
    auto view = makeBareSim(801, 601, 4);
    test::state(view).mode = MODE_TWO_LEADERS;
    Mote* m = test::state(view).motes;
    m[0] = makeMote({100, 100}, {40, 0}, 25.0f);
    m[1] = makeMote({700, 500}, {0, -10}, 30.0f);
    m[2] = makeMote({400, 300}, {0, 0}, 35.0f);
    m[3] = makeMote({400, 300}, {0, 0}, 28.0f);
    Mote before[4];
    std::memcpy(before, m, sizeof before);
    view->advanceMotes();

    expectVel(m[0], twoLeaderVel(before[0].pos, before[0].vel, 25, before[1].pos));
    expectVel(m[1], twoLeaderVel(before[1].pos, before[1].vel, 30, m[0].pos));
    expectVel(m[2], twoLeaderVel(before[2].pos, before[2].vel, 35, m[1].pos));  // even: mote 1
    expectVel(m[3], twoLeaderVel(before[3].pos, before[3].vel, 28, m[0].pos));  // odd: mote 0
    EXPECT_GT(m[2].vel.x, 0.0f);
    EXPECT_LT(m[3].vel.x, 0.0f);
}

// With fewer live motes than leaders the missing leader is the display centre: the
// array holds exactly the live motes, so a read beyond them would show under ASan.
TEST(Motion, MissingLeadersAreTheDisplayCentre) {
    struct Case {
        int mode, count;
    };
    for (Case c : {Case{MODE_THREE_LEADERS, 1}, Case{MODE_THREE_LEADERS, 2}, Case{MODE_TWO_LEADERS, 1}}) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.count);
        auto view = makeBareSim(800, 600, c.count);
        test::state(view).mode = c.mode;
        Mote* m = test::state(view).motes;
        m[0] = makeMote({100, 100}, {0, 0});
        if (c.count > 1) m[1] = makeMote({700, 500}, {0, 0});
        Mote before[2];
        std::memcpy(before, m, sizeof(Mote) * static_cast<size_t>(c.count));
        view->advanceMotes();
        const Vec2 centre = {400, 300};
        if (c.mode == MODE_TWO_LEADERS) {
            expectVel(m[0], twoLeaderVel(before[0].pos, before[0].vel, 25, centre));
        } else if (c.count == 1) {
            expectVel(m[0], threeLeaderVel(before[0].pos, before[0].vel, 25, centre, 400, 300));
        } else {
            expectVel(m[0], threeLeaderVel(before[0].pos, before[0].vel, 25, before[1].pos, 400, 300));
            expectVel(m[1], threeLeaderVel(before[1].pos, before[1].vel, 25, centre, 400, 300));
        }
        for (int f = 0; f < 500; ++f) view->advanceMotes();
        for (int i = 0; i < c.count; ++i) {
            EXPECT_NEAR(m[i].pos.x, 400.0f, 200.0f);
            EXPECT_NEAR(m[i].pos.y, 300.0f, 200.0f);
        }
    }
}

TEST(Motion, WrapShiftsByOneSizeAndMovesTheTailOnThatAxisOnly) {
    struct Case {
        float x, expected;
    };
    for (Case c : {Case{800, 0}, Case{-0.5f, 799.5f}, Case{-900, -100}, Case{400, 400},
                   Case{0, 0}, Case{1700, 900}}) {
        Mote m = makeMote({c.x, 300}, {0, 0});
        m.lastPos = {-7, -8};
        wrapMote(&m, 800, 600);
        EXPECT_EQ(m.pos.x, c.expected) << c.x;
        EXPECT_EQ(m.lastPos.x, c.expected == c.x ? -7.0f : c.expected) << c.x;
        EXPECT_EQ(m.pos.y, 300.0f);
        EXPECT_EQ(m.lastPos.y, -8.0f);
    }
    Mote m = makeMote({5, 600}, {0, 0});
    m.lastPos = {4, 598};
    wrapMote(&m, 800, 600);
    EXPECT_EQ(m.pos.y, 0.0f);
    EXPECT_EQ(m.lastPos.y, 0.0f);
    EXPECT_EQ(m.lastPos.x, 4.0f);

    // Through a step: a mote that wraps in x keeps a tail along y alone.
    auto view = makeBareSim(800, 600, 1);
    test::state(view).mode = MODE_COAST;
    test::state(view).motes[0] = makeMote({799, 300}, {2, 1});
    view->advanceMotes();
    const Mote& w = test::state(view).motes[0];
    EXPECT_EQ(w.pos.x, 799.0f + 2.0f * 0.99f - 800.0f);
    EXPECT_EQ(w.lastPos.x, w.pos.x);
    EXPECT_EQ(w.lastPos.y, 300.0f);
    EXPECT_EQ(w.pos.y, 300.0f + 0.99f);
}

TEST(Motion, WrapLeavesCoordinatesThatAreNotNumbersAlone) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Mote m = makeMote({nan, inf}, {0, 0});
    m.lastPos = {1, 2};
    wrapMote(&m, 800, 600);
    EXPECT_TRUE(std::isnan(m.pos.x));
    EXPECT_EQ(m.pos.y, inf);
    EXPECT_EQ(m.lastPos.x, 1.0f);
    EXPECT_EQ(m.lastPos.y, 2.0f);
}

// A speed that is not a number, infinite or huge turns positions non-finite; every mode
// must still step (and find cells) without undefined behaviour.
TEST(Motion, NonFiniteSpeedKeepsEveryModeRunning) {
    const float speeds[] = {std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(), 3e38f};
    for (float speed : speeds) {
        auto view = makeBareSim(800, 600, 64);
        srandom(1);
        view->initVectorField();
        seedAll(*view);
        test::state(view).speed = speed;
        for (int mode = 0; mode < 7; ++mode) {
            test::state(view).mode = mode;
            for (int f = 0; f < 10; ++f) {
                view->advanceMotes();
                view->advanceFields();
            }
        }
        bool nonFinite = false;
        for (int i = 0; i < 64; ++i) {
            const Mote& m = test::state(view).motes[i];
            nonFinite = nonFinite || !std::isfinite(m.pos.x) || !std::isfinite(m.pos.y);
            EXPECT_LE(static_cast<unsigned>(view->cellOf(m.pos.x, m.pos.y)), 8u);
        }
        EXPECT_TRUE(nonFinite) << speed;
    }
}
