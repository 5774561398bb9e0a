// Seeding of the mote array: the order and scaling of the random() draws, the home point
// from the logo table or the box, the colour, and the array's allocation.
#include "sim/BareSim.h"
#include "sim/Seeding.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <climits>
#include <cmath>
#include <cstring>

#ifdef __SANITIZE_ADDRESS__
// Let an allocation the sanitizer cannot serve fail as malloc does, rather than abort;
// anything above 4 GiB is refused, so the allocation-failure test is deterministic.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=4096";
}
#endif

using namespace zorvan;
using zorvan::test::drawsAfter;
using zorvan::test::fraction;
using zorvan::test::makeBareSim;
using zorvan::test::sameColour;
using zorvan::test::seedAll;
using zorvan::test::setLogoTable;

namespace {

// The colour blend worked out from its definition: light at weight 25, heavy at 40.
Colour blend(float weight, const Colour& light, const Colour& heavy) {
    const float t = (weight - 25.0f) / 15.0f;
    return {(heavy.r - light.r) * t + light.r, (heavy.g - light.g) * t + light.g,
            (heavy.b - light.b) * t + light.b};
}

}  // namespace

TEST(Seeding, WithoutTableEveryFieldFollowsSevenDrawsInOrder) {
    const int count = 40;
    auto view = makeBareSim(800, 600, count);
    test::state(view).logoWidth = 60;
    test::state(view).logoHeight = 100;
    const auto d = drawsAfter(12345u, 7 * count + 1);
    seedAll(*view);

    for (int i = 0; i < count; ++i) {
        const Mote& m = test::state(view).motes[i];
        const long* r = &d[static_cast<size_t>(7 * i)];
        SCOPED_TRACE(i);
        EXPECT_EQ(m.pos.x, static_cast<float>(fraction(r[0]) * 800.0));
        EXPECT_EQ(m.pos.y, static_cast<float>(fraction(r[1]) * 600.0));
        EXPECT_EQ(m.weight, static_cast<float>(25.0 + 15.0 * fraction(r[2])));
        EXPECT_EQ(m.home.x, static_cast<float>(370.0 + fraction(r[3]) * 60.0));
        EXPECT_EQ(m.home.y, static_cast<float>(250.0 + fraction(r[4]) * 100.0));
        EXPECT_EQ(m.vel.x, static_cast<float>(10.0 * fraction(r[5]) - 5.0));
        EXPECT_EQ(m.vel.y, static_cast<float>(10.0 * fraction(r[6]) - 5.0));
        EXPECT_EQ(m.lastPos.x, m.pos.x);
        EXPECT_EQ(m.lastPos.y, m.pos.y);
        EXPECT_TRUE(sameColour(m.colour, blend(m.weight, LIGHT, HEAVY)));
    }
    // Exactly 7 draws per mote: the next draw is the one after the last mote's.
    EXPECT_EQ(random(), d[static_cast<size_t>(7 * count)]);
}

TEST(Seeding, SameSequenceGivesSameSwarm) {
    auto a = makeBareSim(640, 480, 500);
    auto b = makeBareSim(640, 480, 500);
    srandom(99);
    seedAll(*a);
    srandom(99);
    seedAll(*b);
    EXPECT_EQ(0, std::memcmp(test::state(a).motes, test::state(b).motes, sizeof(Mote) * 500));
}

TEST(Seeding, EmptyBoxPutsEveryHomeAtTheCentreInWholePixels) {
    auto view = makeBareSim(801, 601, 200);  // logo box 0 x 0, as on a new view
    srandom(7);
    seedAll(*view);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(test::state(view).motes[i].home.x, 400.0f);
        EXPECT_EQ(test::state(view).motes[i].home.y, 300.0f);
    }
}

TEST(Seeding, BoxOfSixtyByHundredIsTheSameOnOddDisplays) {
    for (auto [w, h] : {std::pair{800, 600}, std::pair{801, 601}}) {
        SCOPED_TRACE(w);
        auto view = makeBareSim(w, h, 3000);
        test::state(view).logoWidth = 60;
        test::state(view).logoHeight = 100;
        srandom(3);
        seedAll(*view);
        float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
        for (int i = 0; i < 3000; ++i) {
            const Vec2 p = test::state(view).motes[i].home;
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
        }
        EXPECT_GE(minX, 370.0f);
        EXPECT_LE(maxX, 430.0f);
        EXPECT_GE(minY, 250.0f);
        EXPECT_LE(maxY, 350.0f);
        // Spread over the whole box, not a part of it.
        EXPECT_LT(minX, 371.0f);
        EXPECT_GT(maxX, 429.0f);
        EXPECT_LT(minY, 251.0f);
        EXPECT_GT(maxY, 349.0f);
    }
}

TEST(Seeding, LogoPickScalesInSinglePrecisionAndFoldsTheTopOntoZero) {
    EXPECT_EQ(logoPick(2147483647, 200), 0);  // rounds to 2^31: product 201 == n
    EXPECT_EQ(logoPick(1L << 30, 200), 100);  // 100.5
    EXPECT_EQ(logoPick(0, 200), 0);
    // 2136800000 is a float exactly; x 201 / 2^31 gives 200.0003, truncated to 200.
    EXPECT_EQ(logoPick(2136800000L, 200), 0);
    // Just below: the product is 199.99..., column 199.
    EXPECT_EQ(logoPick(2136700000L, 200), 199);
    // The scale is single precision: this draw gives 1.0000001 and column 1, where a
    // double scale would give 0.99999997 and column 0.
    EXPECT_EQ(logoPick(10683998L, 200), 1);
    // Whatever the draw, the pick lies inside the logo.
    for (long r : {1L, 10683999L, 10684000L, 1073741823L, 2147483520L, 2147483583L}) {
        const int c = logoPick(r, 200);
        EXPECT_GE(c, 0);
        EXPECT_LT(c, 200);
    }
    EXPECT_EQ(logoPick(2147483647, 1), 0);
    EXPECT_EQ(logoPick(1L << 30, 1), 0);
}

TEST(Seeding, LogoPixelsLandCentredAndUpright) {
    Vec2 h = logoHome(0, 0, 800, 600, 200, 100);
    EXPECT_EQ(h.x, 300.0f);
    EXPECT_EQ(h.y, 350.0f);
    h = logoHome(199, 99, 800, 600, 200, 100);
    EXPECT_EQ(h.x, 499.0f);
    EXPECT_EQ(h.y, 251.0f);
    for (int c : {0, 7, 199}) EXPECT_EQ(logoHome(c, 0, 801, 600, 200, 100).x, c + 300.5f);
    EXPECT_EQ(logoHome(0, 3, 800, 601, 200, 100).y, 347.5f);
    // A logo larger than the display puts homes off it, without overflow.
    h = logoHome(0, 0, INT_MAX, INT_MAX, INT_MAX, INT_MAX);
    EXPECT_EQ(h.x, 0.0f);
    EXPECT_EQ(h.y, static_cast<float>(2147483647.0));
}

TEST(Seeding, OnePixelTableGivesEveryMoteThatPixel) {
    const Colour bg = {0.1f, 0.2f, 0.3f};
    const Colour ink = {0.9f, 0.5f, 0.25f};
    for (int colourMode : {0, 2}) {
        SCOPED_TRACE(colourMode);
        auto view = makeBareSim(800, 600, 30);
        setLogoTable(*view, 200, 100, bg);
        test::state(view).logo[199 + 99 * 200] = ink;
        test::state(view).numNonBGPixels = 1;
        test::state(view).colourMode = colourMode;
        srandom(5);
        seedAll(*view);
        for (int i = 0; i < 30; ++i) {
            const Mote& m = test::state(view).motes[i];
            EXPECT_EQ(m.home.x, 499.0f);
            EXPECT_EQ(m.home.y, 251.0f);
            EXPECT_TRUE(sameColour(m.colour, colourMode == 2 ? ink : blend(m.weight, LIGHT, HEAVY)));
        }
    }
}

TEST(Seeding, TablePickRejectsBackgroundAndDrawsTwicePerAttempt) {
    // A 3 x 2 table on an 801 x 600 display, with ink in two pixels. The pick is redone
    // here from the draws: column then row, rejected while the entry is the background.
    const Colour bg = {0, 0, 0};
    auto view = makeBareSim(801, 600, 25);
    setLogoTable(*view, 3, 2, bg);
    test::state(view).logo[2] = {1, 0, 0};      // column 2, row 0
    test::state(view).logo[1 + 3] = {0, 1, 0};  // column 1, row 1
    test::state(view).numNonBGPixels = 2;
    test::state(view).colourMode = 2;
    const auto d = drawsAfter(2024u, 25 * 200);
    seedAll(*view);

    auto pick = [](long r, int size) {
        int c = static_cast<int>(static_cast<float>(r) / 2147483648.0f * static_cast<float>(size + 1));
        if (c == size + 1) c = 0;
        return c % size;
    };
    size_t at = 0;
    for (int i = 0; i < 25; ++i) {
        SCOPED_TRACE(i);
        const Mote& m = test::state(view).motes[i];
        EXPECT_EQ(m.pos.x, static_cast<float>(fraction(d[at]) * 801.0));
        EXPECT_EQ(m.weight, static_cast<float>(25.0 + 15.0 * fraction(d[at + 2])));
        at += 3;
        int c = 0, row = 0;
        do {
            c = pick(d[at], 3);
            row = pick(d[at + 1], 2);
            at += 2;
        } while (c + 3 * row != 2 && c + 3 * row != 4);
        EXPECT_EQ(m.home.x, static_cast<float>(c + 399.0));  // (801 - 3) / 2 = 399
        EXPECT_EQ(m.home.y, static_cast<float>(301.0 - row));
        EXPECT_TRUE(sameColour(m.colour, test::state(view).logo[c + 3 * row]));
        EXPECT_EQ(m.vel.x, static_cast<float>(10.0 * fraction(d[at]) - 5.0));
        EXPECT_EQ(m.vel.y, static_cast<float>(10.0 * fraction(d[at + 1]) - 5.0));
        at += 2;
    }
    EXPECT_EQ(random(), d[at]);
}

TEST(Seeding, ColourBlendRunsFromLightToHeavy) {
    const Colour light = {0.0f, 0.25f, 1.0f};
    const Colour heavy = {1.0f, 0.75f, 0.0f};
    EXPECT_TRUE(sameColour(weightColour(25.0f, LIGHT, HEAVY), LIGHT));
    EXPECT_TRUE(sameColour(weightColour(25.0f, light, heavy), light));
    const Colour mid = weightColour(32.5f, light, heavy);
    EXPECT_EQ(mid.r, 0.5f);
    EXPECT_EQ(mid.g, 0.5f);
    EXPECT_EQ(mid.b, 0.5f);
    const Colour top = weightColour(40.0f, light, heavy);
    EXPECT_EQ(top.r, 1.0f);
    EXPECT_EQ(top.g, 0.75f);
    EXPECT_EQ(top.b, 0.0f);
}

TEST(Seeding, ImageColoursWithoutTableFallBackToTheBlend) {
    auto view = makeBareSim(800, 600, 100);
    test::state(view).colourMode = 2;
    test::state(view).light = {0.0f, 0.0f, 1.0f};
    test::state(view).heavy = {1.0f, 1.0f, 0.0f};
    srandom(11);
    seedAll(*view);
    for (int i = 0; i < 100; ++i) {
        const Mote& m = test::state(view).motes[i];
        EXPECT_TRUE(sameColour(m.colour, blend(m.weight, test::state(view).light, test::state(view).heavy)));
    }
}

// A table with nothing but background (a one-colour picture), or of width or height 0,
// is no table: the homes lie in the box and the colours come from the weight, with the
// draws of the box. Without this the pick would never end.
TEST(Seeding, UnusableTableFallsBackToTheBox) {
    struct Case {
        int w, h, nonBG;
    };
    for (Case c : {Case{200, 100, 0}, Case{200, 100, -1}, Case{0, 100, 5}, Case{200, 0, 5}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " " << c.nonBG);
        auto view = makeBareSim(800, 600, 50);
        setLogoTable(*view, c.w > 0 ? c.w : 1, c.h > 0 ? c.h : 1, {0.5f, 0.5f, 0.5f});
        test::state(view).logoWidth = c.w;
        test::state(view).logoHeight = c.h;
        test::state(view).numNonBGPixels = c.nonBG;
        test::state(view).colourMode = 2;
        const auto d = drawsAfter(77u, 7 * 50 + 1);
        seedAll(*view);
        const double x0 = (800 - c.w) / 2, y0 = (600 - c.h) / 2;
        for (int i = 0; i < 50; ++i) {
            const Mote& m = test::state(view).motes[i];
            EXPECT_EQ(m.home.x, static_cast<float>(x0 + fraction(d[7 * i + 3]) * c.w));
            EXPECT_EQ(m.home.y, static_cast<float>(y0 + fraction(d[7 * i + 4]) * c.h));
            EXPECT_TRUE(sameColour(m.colour, blend(m.weight, LIGHT, HEAVY)));
        }
        EXPECT_EQ(random(), d[7 * 50]);
    }
}

TEST(Seeding, NoMotesAllocateNothing) {
    for (int count : {0, -3}) {
        auto view = makeBareSim(800, 600, count);
        EXPECT_EQ(test::state(view).motes, nullptr);
        EXPECT_EQ(test::state(view).numMotesAllocated, 0);
        seedAll(*view);
        view->advanceMotes();
    }
    auto view = makeBareSim(800, 600, 1500);
    ASSERT_NE(test::state(view).motes, nullptr);
    EXPECT_EQ(test::state(view).numMotesAllocated, 1500);
}

// An array the allocator refuses leaves no live motes: nothing is seeded or moved.
TEST(Seeding, RefusedAllocationLeavesNoMotes) {
#ifndef __SANITIZE_ADDRESS__
    // Cap this process's address space well below the ~100 GB asked for, then restore it.
    rlimit saved{};
    ASSERT_EQ(0, getrlimit(RLIMIT_AS, &saved));
    rlimit capped = saved;
    capped.rlim_cur = rlim_t{16} << 30;
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < capped.rlim_cur) capped.rlim_cur = saved.rlim_max;
    ASSERT_EQ(0, setrlimit(RLIMIT_AS, &capped));
#endif
    auto view = std::make_unique<test::BareSim>();
    test::state(view).displayWidth = 800;
    test::state(view).displayHeight = 600;
    test::state(view).numMotes = INT_MAX;
    view->allocateMotes();
#ifndef __SANITIZE_ADDRESS__
    ASSERT_EQ(0, setrlimit(RLIMIT_AS, &saved));
#endif
    EXPECT_EQ(test::state(view).motes, nullptr);
    EXPECT_EQ(test::state(view).numMotesAllocated, 0);
    EXPECT_EQ(test::state(view).numMotes, 0);
    seedAll(*view);
    view->advanceMotes();
}

// However the live count and the array's capacity disagree, every pass runs over the
// motes that exist: the sanitizer build catches a step past the array.
TEST(Seeding, EveryPassStaysInsideTheArray) {
    auto view = test::makeBareSim(200, 100, 10);
    test::seedAll(*view);
    test::state(view).numMotes = 25;
    EXPECT_EQ(view->liveMotes(), 10);
    for (int mode = 0; mode <= 6; ++mode) {
        test::state(view).mode = mode;
        view->advanceMotes();
    }
    test::state(view).numMotes = -3;
    EXPECT_EQ(view->liveMotes(), 0);
    view->advanceMotes();

    // Allocating again replaces the array (the leak checker sees a lost first one).
    test::state(view).numMotes = 30;
    view->allocateMotes();
    EXPECT_EQ(test::state(view).numMotesAllocated, 30);
    EXPECT_EQ(view->liveMotes(), 30);
}
