#include "host/driver/MoteDump.h"
#include "host/Process.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

using namespace zorvan;
using test::sameBits;

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The line's words after the first, read back as floats from the "%a" form.
std::vector<float> floatsOf(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;  // the index
    std::vector<float> values;
    while (in >> word) {
        char* end = nullptr;
        const double d = std::strtod(word.c_str(), &end);
        EXPECT_EQ(*end, '\0') << word;
        values.push_back(static_cast<float>(d));
    }
    return values;
}

}  // namespace

TEST(MoteDump, HoldsTheExactStateOfTheView) {
    auto view = test::makeOffscreenView(200, 150);
    ASSERT_TRUE(view);
    view->setFrameSize({200, 150});
    view->startAnimation();
    for (int i = 0; i < 3; ++i) view->animateOneFrame();

    const auto lines = linesOf(host::formatMoteDump(*view));
    ASSERT_EQ(lines.size(), 12u + static_cast<size_t>(test::state(view).settings.numMotes));
    EXPECT_EQ(lines[0], "mode " + std::to_string(test::state(view).mode) + " index " +
                            std::to_string(test::state(view).playListIndex) + " count " +
                            std::to_string(test::state(view).frameCount) + " limit " +
                            std::to_string(test::state(view).frameLimit));
    EXPECT_EQ(lines[1].rfind("settings numMotes " + std::to_string(test::state(view).settings.numMotes) + " ", 0), 0u)
        << lines[1];
    EXPECT_EQ(lines[2], "fields");
    for (int k = 0; k < 9; ++k) {
        const auto v = floatsOf(lines[3 + k]);
        ASSERT_EQ(v.size(), 2u);
        EXPECT_EQ(lines[3 + k].substr(0, 2), std::to_string(k) + " ");
        EXPECT_TRUE(sameBits(v[0], test::state(view).swarm.fields[k].x) && sameBits(v[1], test::state(view).swarm.fields[k].y)) << k;
    }
    for (int i = 0; i < test::state(view).settings.numMotes; ++i) {
        const std::string& line = lines[12 + i];
        ASSERT_EQ(line.substr(0, line.find(' ')), std::to_string(i));
        const auto v = floatsOf(line);
        ASSERT_EQ(v.size(), 12u) << line;
        const Mote& m = test::state(view).swarm.motes[i];
        const float want[12] = {m.pos.x,  m.pos.y,  m.lastPos.x, m.lastPos.y, m.vel.x,
                                m.vel.y,  m.weight, m.home.x,    m.home.y,    m.colour.r,
                                m.colour.g, m.colour.b};
        for (int j = 0; j < 12; ++j) ASSERT_TRUE(sameBits(v[j], want[j])) << line << " #" << j;
    }
}

TEST(MoteDump, AViewWithoutMotesDumpsOnlyTheSchedule) {
    Zorvan view{OpenGLViewFactory{}};  // no GL backend: the view draws nothing
    ASSERT_TRUE(view.initWithFrame(Rect{0, 0, 100, 100}, false));
    EXPECT_EQ(linesOf(host::formatMoteDump(view)).size(), 12u);
}

TEST(MoteDump, AnUnwritablePathIsReported) {
    Zorvan view{OpenGLViewFactory{}};
    ASSERT_TRUE(view.initWithFrame(Rect{0, 0, 100, 100}, false));
    std::string error;
    EXPECT_FALSE(host::writeMoteDump(view, "/nonexistent-dir/dump.txt", error));
    EXPECT_NE(error.find("/nonexistent-dir/dump.txt"), std::string::npos);

    test::TempDir dir;
    EXPECT_TRUE(host::writeMoteDump(view, dir.file("d.txt"), error)) << error;
    EXPECT_EQ(test::readFile(dir.file("d.txt")), host::formatMoteDump(view));
}
