// The 3 x 3 field: filling from random(), turning, the fixed swirl, and the cell of a
// position.
#include "sim/BareSim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace zorvan;
using zorvan::test::drawsAfter;
using zorvan::test::fraction;
using zorvan::test::makeBareSim;

TEST(VectorField, FillsEachCellFromFourDrawsWithDoubleTrigonometry) {
    auto view = makeBareSim(800, 600, 0);
    const auto d = drawsAfter(4242u, 37);
    view->initVectorField();
    for (int k = 0; k < 9; ++k) {
        SCOPED_TRACE(k);
        const long* r = &d[static_cast<size_t>(4 * k)];
        const float m = static_cast<float>(fraction(r[0]) * 4.0 + 8.0);
        const float a = static_cast<float>(fraction(r[1]) * 6.29);
        const float t = static_cast<float>(fraction(r[2]) * 0.019 + 0.001);
        EXPECT_EQ(test::state(view).fields[k].x, static_cast<float>(std::cos(double{a}) * double{m}));
        EXPECT_EQ(test::state(view).fields[k].y, static_cast<float>(std::sin(double{a}) * double{m}));
        EXPECT_EQ(test::state(view).rotators[k].x1, static_cast<float>(std::cos(double{t})));
        EXPECT_EQ(test::state(view).rotators[k].y1, static_cast<float>(std::sin(double{t})));
        EXPECT_EQ(test::state(view).rotators[k].x2, -static_cast<float>(std::sin(double{t})));
        EXPECT_EQ(test::state(view).rotators[k].y2, test::state(view).rotators[k].x1);
        const float length = std::hypot(test::state(view).fields[k].x, test::state(view).fields[k].y);
        EXPECT_GE(length, 7.9999f);
        EXPECT_LE(length, 12.0001f);
    }
    EXPECT_EQ(random(), d[36]);  // four draws a cell, the fourth unused
}

TEST(VectorField, SwirlLoopsClockwiseRoundTheCentre) {
    auto view = makeBareSim(800, 600, 0);
    view->initVectorField();
    const FieldVector expected[9] = {{0, 5}, {-5, 0}, {-5, 0}, {0, 5}, {0.5f, 0},
                                     {0, -5}, {5, 0}, {5, 0}, {0, -5}};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(test::state(view).swirl[k].x, expected[k].x) << k;
        EXPECT_EQ(test::state(view).swirl[k].y, expected[k].y) << k;
    }
    EXPECT_TRUE(std::signbit(test::state(view).swirl[2].y));
}

TEST(VectorField, TurnsClockwiseByItsOwnAngle) {
    auto view = makeBareSim(800, 600, 0);
    for (int k = 0; k < 9; ++k) {
        test::state(view).fields[k] = {static_cast<float>(k), 1.0f};
        test::state(view).rotators[k] = {1.0f, 0.0f, -0.0f, 1.0f};
    }
    const float theta = 0.01f;
    const float c = static_cast<float>(std::cos(double{theta}));
    const float s = static_cast<float>(std::sin(double{theta}));
    test::state(view).fields[4] = {10.0f, 0.0f};
    test::state(view).rotators[4] = {c, s, -s, c};
    view->advanceFields();
    EXPECT_NEAR(test::state(view).fields[4].x, 9.9995, 1e-4);
    EXPECT_NEAR(test::state(view).fields[4].y, -0.099998, 1e-6);
    for (int k = 0; k < 9; ++k) {
        if (k == 4) continue;
        EXPECT_EQ(test::state(view).fields[k].x, static_cast<float>(k));
        EXPECT_EQ(test::state(view).fields[k].y, 1.0f);
    }
}

TEST(VectorField, KeepsLengthsAndTurnsByFrameCountTimesAngle) {
    auto view = makeBareSim(800, 600, 0);
    srandom(8);
    view->initVectorField();
    double length[9], angle[9], turn[9];
    for (int k = 0; k < 9; ++k) {
        length[k] = std::hypot(double{test::state(view).fields[k].x}, double{test::state(view).fields[k].y});
        angle[k] = std::atan2(double{test::state(view).fields[k].y}, double{test::state(view).fields[k].x});
        turn[k] = std::atan2(double{test::state(view).rotators[k].y1}, double{test::state(view).rotators[k].x1});
    }
    const int frames = 3000;
    for (int f = 0; f < frames; ++f) view->advanceFields();
    for (int k = 0; k < 9; ++k) {
        SCOPED_TRACE(k);
        const double now = std::hypot(double{test::state(view).fields[k].x}, double{test::state(view).fields[k].y});
        EXPECT_NEAR(now / length[k], 1.0, 1e-3);
        const double expected = angle[k] - frames * turn[k];
        const double got = std::atan2(double{test::state(view).fields[k].y}, double{test::state(view).fields[k].x});
        EXPECT_NEAR(std::remainder(got - expected, 2 * M_PI), 0.0, 1e-3);
    }
}

TEST(VectorField, CellsOfTheDisplayFoldTheLastColumnsAndRows) {
    auto view = makeBareSim(1000, 600, 0);
    ASSERT_EQ(test::state(view).fieldWidth, 333);
    ASSERT_EQ(test::state(view).fieldHeight, 200);
    EXPECT_EQ(view->cellOf(999.5f, 10.0f), 3);   // column 3, row 0
    EXPECT_EQ(view->cellOf(999.5f, 599.0f), 0);  // column 3, row 2
    EXPECT_EQ(view->cellOf(500.0f, 300.0f), 4);
    EXPECT_EQ(view->cellOf(-0.5f, -0.5f), 0);
    EXPECT_EQ(view->cellOf(0.0f, 0.0f), 0);
    EXPECT_EQ(view->cellOf(332.9f, 199.9f), 0);
    EXPECT_EQ(view->cellOf(333.0f, 0.0f), 1);
    EXPECT_EQ(view->cellOf(666.0f, 0.0f), 2);
    EXPECT_EQ(view->cellOf(0.0f, 200.0f), 3);
    EXPECT_EQ(view->cellOf(998.0f, 599.0f), 8);
    EXPECT_EQ(view->cellOf(10.0f, 599.9f), 6);
    // 1001 x 601: the last pixel row gives row 3, which folds onto the bottom row.
    auto odd = makeBareSim(1001, 601, 0);
    EXPECT_EQ(odd->cellOf(10.0f, 600.5f), 0);
    EXPECT_EQ(odd->cellOf(500.0f, 600.5f), 1);
}

// Off the display (motes that a non-wrapping mode carried away, or a speed that is not a
// number) every position still names one of the nine cells: a coordinate below 0 or NaN
// counts as 0, one beyond int as the largest float under 2^31.
TEST(VectorField, AnyPositionGivesAValidCell) {
    auto view = makeBareSim(1000, 600, 0);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {-inf, -1e30f, -2147483648.0f, -3e9f, -1e6f, -334.0f, -1.0f, -0.0f,
                            0.0f, 5e2f, 1e6f, 2147483520.0f, 2147483648.0f, 3e9f, 1e30f,
                            inf, nan, -nan, std::numeric_limits<float>::denorm_min()};
    for (float x : values) {
        for (float y : values) {
            const int cell = view->cellOf(x, y);
            EXPECT_GE(cell, 0) << x << "," << y;
            EXPECT_LE(cell, 8) << x << "," << y;
        }
    }
    EXPECT_EQ(view->cellOf(-1e6f, 300.0f), 3);  // the left column of its row
    EXPECT_EQ(view->cellOf(500.0f, -1e6f), 1);  // the bottom row of its column
    EXPECT_EQ(view->cellOf(nan, nan), 0);
    // Cells of at least one pixel: the largest coordinates meet the smallest divisor.
    auto tiny = makeBareSim(3, 3, 0);
    for (float x : values)
        for (float y : values) EXPECT_LE(static_cast<unsigned>(tiny->cellOf(x, y)), 8u);
}
