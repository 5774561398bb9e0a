// The mote array on its own: the live count moves freely within the room there is, the
// room only grows, and a count that cannot be had changes nothing.
#include "sim/MoteArray.h"

#include <gtest/gtest.h>

using namespace zorvan;

namespace {

TEST(MoteArray, LiveCountMovesWithinTheRoomAndGrowsItOnlyWhenItCan) {
    MoteArray a;
    EXPECT_EQ(a.liveMotes(), 0);
    a.numMotes = 100;
    a.allocateMotes();
    ASSERT_NE(a.motes, nullptr);
    EXPECT_EQ(a.numMotesAllocated, 100);
    Mote* const first = a.motes;

    EXPECT_FALSE(a.setLiveMotes(40)) << "fewer live motes want no seeding";
    EXPECT_EQ(a.motes, first);
    EXPECT_EQ(a.liveMotes(), 40);
    EXPECT_TRUE(a.setLiveMotes(100)) << "the motes that come back to life want seeding";
    EXPECT_EQ(a.motes, first);
    EXPECT_EQ(a.numMotesAllocated, 100);

    EXPECT_FALSE(a.setLiveMotes(MAX_NUM_MOTES + 1));
    EXPECT_EQ(a.motes, first) << "the motes live before stay live";
    EXPECT_EQ(a.numMotes, 100);
    EXPECT_EQ(a.numMotesAllocated, 100);

    EXPECT_TRUE(a.setLiveMotes(250));
    EXPECT_NE(a.motes, first);
    EXPECT_EQ(a.numMotes, 250);
    EXPECT_EQ(a.numMotesAllocated, 250);
    EXPECT_EQ(a.liveMotes(), 250);

    a.releaseMotes();
    EXPECT_EQ(a.motes, nullptr);
    EXPECT_EQ(a.numMotesAllocated, 0);
    EXPECT_EQ(a.liveMotes(), 0);
}

}  // namespace
