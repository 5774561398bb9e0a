#include "host/Options.h"

#include <gtest/gtest.h>

using zorvan::host::Options;
using zorvan::host::parseOptions;

namespace {

Options parsed(std::vector<std::string> args) {
    auto result = parseOptions(args);
    EXPECT_TRUE(result.options) << result.error;
    return result.options.value_or(Options{});
}

}  // namespace

TEST(Options, NoArgumentsOpensTheWindowWithDefaults) {
    const Options o = parsed({});
    EXPECT_EQ(o.action, Options::Action::Window);
    EXPECT_FALSE(o.width);
    EXPECT_FALSE(o.frames);
    EXPECT_FALSE(o.seed);
    EXPECT_FALSE(o.mode);
    EXPECT_FALSE(o.preview);
    EXPECT_FALSE(o.fullscreen);
}

TEST(Options, RenderWithEveryValue) {
    const Options o = parsed({"--render", "out.png", "--size", "320x200", "--frames", "0",
                              "--seed", "4294967295", "--mode", "6", "--preview", "--prefs",
                              "p.ini", "--dump-motes=d.txt"});
    EXPECT_EQ(o.action, Options::Action::Render);
    EXPECT_EQ(o.renderPath, "out.png");
    EXPECT_EQ(o.width, 320);
    EXPECT_EQ(o.height, 200);
    EXPECT_EQ(o.frames, 0);
    EXPECT_EQ(o.seed, 4294967295u);
    EXPECT_EQ(o.mode, 6);
    EXPECT_TRUE(o.preview);
    EXPECT_EQ(o.prefsFile, "p.ini");
    EXPECT_EQ(o.dumpPath, "d.txt");
}

TEST(Options, SizeLimitsAreInclusive) {
    EXPECT_EQ(parsed({"--size", "1x16384"}).height, 16384);
    EXPECT_EQ(parsed({"--size=16384x1"}).width, 16384);
}

TEST(Options, HelpAndResourcesWinOverOtherActions) {
    EXPECT_EQ(parsed({"--render", "a.png", "--help"}).action, Options::Action::Help);
    EXPECT_EQ(parsed({"-h"}).action, Options::Action::Help);
    EXPECT_EQ(parsed({"--render", "a.png", "--resources"}).action, Options::Action::Resources);
}

TEST(Options, BadArgumentsGiveOneLineNamingTheProblem) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "--bogus"},
        {{"stray"}, "stray"},
        {{"--render"}, "--render"},
        {{"--render", "--size", "2x2"}, "--render"},
        {{"--render="}, "--render"},
        {{"--size", "800"}, "--size"},
        {{"--size", "0x600"}, "--size"},
        {{"--size", "800x-6"}, "--size"},
        {{"--size", "16385x10"}, "--size"},
        {{"--size", "99999999999999999999x1"}, "--size"},
        {{"--size", "8x6x4"}, "--size"},
        {{"--size", " 8x6"}, "--size"},
        {{"--size"}, "--size"},
        {{"--frames", "-1"}, "--frames"},
        {{"--frames", "ten"}, "--frames"},
        {{"--frames", "1e3"}, "--frames"},
        {{"--seed", "-3"}, "--seed"},
        {{"--seed", "4294967296"}, "--seed"},
        {{"--mode", "7"}, "--mode"},
        {{"--mode", ""}, "--mode"},
        {{"--preview=yes"}, "--preview"},
        {{"--dump-motes", "d.txt"}, "--dump-motes"},
        {{"--render", "a.png", "--fullscreen"}, "--fullscreen"},
        {{"--fullscreen", "--size", "8x8"}, "--fullscreen"},
        // Control characters in an argument are shown escaped: still one line.
        {{"-\n"}, "'-\\x0a'"},
        {{"--size", "8\x1b[2Jx6"}, "'8\\x1b[2Jx6'"},
    };
    for (const auto& [args, named] : cases) {
        const auto result = parseOptions(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_FALSE(result.options) << joined;
        EXPECT_NE(result.error.find(named), std::string::npos) << joined << "-> " << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos) << result.error;
    }
}
