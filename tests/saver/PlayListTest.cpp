// The schedule of motion modes: which mode runs on which frame, the gathering pass-over
// without a logo, and the loop. No GL: a view with an empty factory, driven by hand.
#include "saver/Zorvan.h"
#include "support/ViewState.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace zorvan;

namespace {

std::unique_ptr<Zorvan> makeScheduledView(int logoMode = 0) {
    auto view = std::make_unique<Zorvan>(OpenGLViewFactory{});
    test::state(view).settings.logoMode = logoMode;
    view->initPlayList();
    return view;
}

// One entry of the schedule as it ran: the list index, its mode, and for how many frames.
struct EntryRun {
    int index, mode, frames;
};

// Counts `frames` frames, as the frame loop does, and returns the runs of entries in
// force, in order. The first run starts with the entry in force before the first frame.
std::vector<EntryRun> play(Zorvan& view, int frames) {
    std::vector<EntryRun> runs;
    for (int f = 0; f < frames; ++f) {
        const int before = test::state(view).playListIndex;
        view.checkModeChange();
        if (runs.empty() || test::state(view).playListIndex != before)
            runs.push_back({test::state(view).playListIndex, test::state(view).mode, 0});
        ++runs.back().frames;
    }
    return runs;
}

}  // namespace

TEST(PlayList, StartsWith450FramesOfFlowThenSwirlFor281) {
    auto view = makeScheduledView();
    EXPECT_EQ(test::state(view).playListSize, 14);
    EXPECT_EQ(test::state(view).frameLimit, 450);
    for (int frame = 1; frame <= 450; ++frame) {
        view->checkModeChange();
        ASSERT_EQ(test::state(view).mode, MODE_FLOW) << frame;
    }
    view->checkModeChange();  // frame 451
    EXPECT_EQ(test::state(view).mode, MODE_SWIRL);
    EXPECT_EQ(test::state(view).playListIndex, 1);
    int swirlFrames = 1;
    for (;;) {
        view->checkModeChange();
        if (test::state(view).mode != MODE_SWIRL) break;
        ++swirlFrames;
    }
    EXPECT_EQ(swirlFrames, 281);
    EXPECT_EQ(test::state(view).mode, MODE_THREE_LEADERS);
}

TEST(PlayList, PlaysAllFourteenEntriesWithALogo) {
    const int modes[14] = {0, 4, 1, 2, 5, 3, 6, 0, 4, 1, 6, 0, 1, 2};
    const int budgets[7] = {450, 220, 310, 250, 280, 130, 500};
    for (int logoMode : {0, 2}) {
        SCOPED_TRACE(logoMode);
        auto view = makeScheduledView(logoMode);
        const auto runs = play(*view, 450 + 4584 + 1);
        ASSERT_EQ(runs.size(), 16u);
        EXPECT_EQ(runs[0].frames, 450);
        for (int r = 1; r < 15; ++r) {
            const int index = r % 14;
            SCOPED_TRACE(r);
            EXPECT_EQ(runs[r].index, index);
            EXPECT_EQ(runs[r].mode, modes[index]);
            EXPECT_EQ(runs[r].frames, budgets[modes[index]] + 1);
        }
        // Gathering at indices 3 and 13; after 13 the list wraps to 0.
        EXPECT_EQ(runs[3].mode, MODE_GATHER);
        EXPECT_EQ(runs[13].mode, MODE_GATHER);
        EXPECT_EQ(runs[14].index, 0);
        EXPECT_EQ(runs[15].index, 1);
    }
}

TEST(PlayList, OnePassTakes4584FramesOr3962WithoutALogo) {
    for (auto [logoMode, frames] : {std::pair{0, 4584}, std::pair{1, 3962}}) {
        SCOPED_TRACE(logoMode);
        auto view = makeScheduledView(logoMode);
        // Frames between two switches into index 0, one whole pass apart.
        int frame = 0, firstReturn = 0;
        int prev = test::state(view).playListIndex;
        while (frame < 20000) {
            view->checkModeChange();
            ++frame;
            if (test::state(view).playListIndex == 0 && prev != 0) {
                if (firstReturn == 0) {
                    firstReturn = frame;
                } else {
                    EXPECT_EQ(frame - firstReturn, frames);
                    break;
                }
            }
            prev = test::state(view).playListIndex;
        }
        ASSERT_NE(firstReturn, 0);
        // From a new view the first flow runs 450 frames, not 451, so the first return to
        // index 0 falls on frame 4584 (3962): the first frame of the second pass.
        EXPECT_EQ(firstReturn, frames);
    }
}

TEST(PlayList, WithoutALogoGatheringIsPassedOver) {
    auto view = makeScheduledView(1);
    const auto runs = play(*view, 3 * 3962);
    for (const EntryRun& r : runs) {
        EXPECT_NE(r.mode, MODE_GATHER) << r.index;
    }
    // Index 2 (three leaders) goes on to scatter at index 4 for 131 frames; index 12 to
    // flow at index 0.
    bool sawScatter = false, sawWrap = false;
    for (size_t r = 0; r + 1 < runs.size(); ++r) {
        if (runs[r].index == 2) {
            EXPECT_EQ(runs[r + 1].index, 4);
            EXPECT_EQ(runs[r + 1].mode, MODE_SCATTER);
            if (r + 2 < runs.size()) {
                EXPECT_EQ(runs[r + 1].frames, 131);
            }
            sawScatter = true;
        }
        if (runs[r].index == 12) {
            EXPECT_EQ(runs[r + 1].index, 0);
            EXPECT_EQ(runs[r + 1].mode, MODE_FLOW);
            sawWrap = true;
        }
    }
    EXPECT_TRUE(sawScatter);
    EXPECT_TRUE(sawWrap);
}

TEST(PlayList, TurningTheLogoOffDuringGatheringDoesNotCutItShort) {
    auto view = makeScheduledView(0);
    while (test::state(view).mode != MODE_GATHER) view->checkModeChange();
    ASSERT_EQ(test::state(view).playListIndex, 3);
    for (int f = 0; f < 100; ++f) view->checkModeChange();
    test::state(view).settings.logoMode = 1;
    int gatherFrames = 101;
    for (;;) {
        view->checkModeChange();
        if (test::state(view).mode != MODE_GATHER) break;
        ++gatherFrames;
    }
    EXPECT_EQ(gatherFrames, 311);
    EXPECT_EQ(test::state(view).playListIndex, 4);
    EXPECT_EQ(test::state(view).mode, MODE_SCATTER);
    // The second gathering entry is passed over from then on.
    while (test::state(view).playListIndex != 12) view->checkModeChange();
    while (test::state(view).playListIndex == 12) view->checkModeChange();
    EXPECT_EQ(test::state(view).playListIndex, 0);
    EXPECT_EQ(test::state(view).mode, MODE_FLOW);
    EXPECT_EQ(test::state(view).frameLimit, 450);
}

TEST(PlayList, ListOfFewerThanTwoEntriesNeverSwitchesOrCounts) {
    auto view = makeScheduledView();
    test::state(view).playListSize = 1;
    for (int f = 0; f < 1000; ++f) view->checkModeChange();
    EXPECT_EQ(test::state(view).mode, MODE_FLOW);
    EXPECT_EQ(test::state(view).frameCount, 0);
    EXPECT_EQ(test::state(view).playListIndex, 0);
    // initPlayList leaves the position in the schedule alone.
    test::state(view).frameCount = 17;
    test::state(view).playListIndex = 5;
    test::state(view).mode = MODE_COAST;
    view->initPlayList();
    EXPECT_EQ(test::state(view).frameCount, 17);
    EXPECT_EQ(test::state(view).playListIndex, 5);
    EXPECT_EQ(test::state(view).mode, MODE_COAST);
    EXPECT_EQ(test::state(view).playListSize, 14);
    for (int i = 14; i < 20; ++i) EXPECT_EQ(test::state(view).playList[i], 0);
}
