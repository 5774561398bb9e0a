// Runs the built zorvan program the way a person would.
#include "host/Process.h"

#include "sim/Mote.h"

#include "platform/image/MagickSetup.h"

#include <Magick++.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace zorvan;
using test::lines;
using test::runProcess;
using test::zorvanPath;

namespace {

// Settings from an empty store, whatever the person running the tests has saved.
std::vector<std::string> withPrefs(const test::TempDir& dir, std::vector<std::string> args) {
    args.push_back("--prefs");
    args.push_back(dir.file("prefs.ini"));
    return args;
}

}  // namespace

TEST(Program, RenderWritesAPictureOfTheSwarm) {
    test::TempDir dir;
    const auto r = runProcess(zorvanPath(), withPrefs(dir, {"--render", dir.file("out.png"),
                                                            "--size", "320x240", "--frames", "5",
                                                            "--seed", "7"}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    zorvan::magick::ensureStarted();
    Magick::Image picture;
    ASSERT_NO_THROW(picture.read(dir.file("out.png")));
    EXPECT_EQ(picture.magick(), "PNG");
    ASSERT_EQ(picture.columns(), 320u);
    ASSERT_EQ(picture.rows(), 240u);

    // Lit pixels take colours between LIGHT and HEAVY (the weight blend of the default
    // colour mode); everything else is the black background.
    auto within = [](int value, float a, float b) {
        const float lo = std::min(a, b) * 255.0f - 2.0f, hi = std::max(a, b) * 255.0f + 2.0f;
        return value >= lo && value <= hi;
    };
    const test::Shot shot = test::readShot(dir.file("out.png"));
    const long lit = test::litPixels(shot), blended = test::countPixels(shot, [&](const unsigned char* p) {
        return test::isLit(p) && within(p[0], LIGHT.r, HEAVY.r) && within(p[1], LIGHT.g, HEAVY.g) &&
               within(p[2], LIGHT.b, HEAVY.b);
    });
    EXPECT_GT(lit, 2000);
    EXPECT_EQ(blended, lit);
}

TEST(Program, BadArgumentsExitTwoWithOneLine) {
    // The parser's cases are tested on their own; here, that the program reports them.
    const std::vector<std::vector<std::string>> cases = {
        {"--no-such-option"},
        {"--render", "x.png", "--frames", "-4"},
        {"--dump-motes", "d.txt"},
    };
    for (const auto& args : cases) {
        const auto r = runProcess(zorvanPath(), args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << ": " << r.err;
        EXPECT_EQ(lines(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind("zorvan: ", 0), 0u) << r.err;
    }
}

TEST(Program, UnwritablePictureIsAFailure) {
    test::TempDir dir;
    const auto r = runProcess(zorvanPath(), withPrefs(dir, {"--render", dir.file("no/such/dir.png"),
                                                            "--size", "16x16"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("dir.png"), std::string::npos) << r.err;
}

// ImageMagick's system policy may cap the picture below the widest view: then one line
// and exit 1, never an abort inside the encoder.
TEST(Program, TheWidestFrameEndsCleanly) {
    test::TempDir dir;
    const auto r = runProcess(zorvanPath(), withPrefs(dir, {"--render", dir.file("w.png"),
                                                            "--size", "16384x8"}));
    ASSERT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.exitCode << " " << r.err;
    if (r.exitCode == 1) {
        EXPECT_EQ(lines(r.err), 1) << r.err;
    }
}

TEST(Program, WithoutADisplayTheWindowPointsToRender) {
    const auto r = runProcess(zorvanPath(), {}, {"DISPLAY"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("--render"), std::string::npos) << r.err;
}

TEST(Program, SameSeedSameSwarmOtherSeedOtherSwarm) {
    test::TempDir dir;
    auto run = [&](const std::string& seed, const std::string& name) {
        const auto r = runProcess(
            zorvanPath(), withPrefs(dir, {"--render", dir.file(name + ".png"), "--size", "200x150",
                                          "--frames", "40", "--seed", seed, "--dump-motes",
                                          dir.file(name)}));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return test::readFile(dir.file(name));
    };
    const std::string a = run("11", "a"), b = run("11", "b"), c = run("12", "c");
    ASSERT_GT(lines(a), 11);
    EXPECT_EQ(a.rfind("mode ", 0), 0u);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(test::readFile(dir.file("a.png")), test::readFile(dir.file("b.png")));
}

TEST(Program, HeldModeStaysPutAndHelpAndResourcesExitZero) {
    test::TempDir dir;
    const auto r = runProcess(zorvanPath(), withPrefs(dir, {"--render", dir.file("m.png"), "--size",
                                                            "64x64", "--frames", "600", "--mode",
                                                            "4", "--dump-motes", dir.file("m")}));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string dump = test::readFile(dir.file("m"));
    EXPECT_EQ(dump.substr(0, dump.find('\n')).rfind("mode 4 ", 0), 0u) << dump.substr(0, 60);

    const auto help = runProcess(zorvanPath(), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--mode"), std::string::npos);

    const auto res = runProcess(zorvanPath(), {"--resources"});
    EXPECT_EQ(res.exitCode, 0);
    EXPECT_EQ(lines(res.out), 2) << res.out;
}
