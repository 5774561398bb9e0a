#include "host/cli/Options.h"
#include "host/daemon/DaemonSettings.h"

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
    EXPECT_EQ(o.power, Options::Power::Auto);
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

TEST(Options, RecordIsAnOffscreenRunWithAFrameRate) {
    const Options o = parsed({"--record", "Swarm.GIF", "--delay", "40000", "--seconds", "2.5", "--quality", "5"});
    EXPECT_EQ(o.action, Options::Action::Render);
    EXPECT_EQ(o.recordPath, "Swarm.GIF");
    EXPECT_EQ(o.delayMicros, 40000);
    EXPECT_EQ(o.seconds, 2.5);
    EXPECT_EQ(o.quality, 5);
    EXPECT_EQ(parsed({"--record", "a.webm"}).quality, 3);
    EXPECT_EQ(parsed({"--record", "a.webm"}).seconds, 5.0);
    EXPECT_FALSE(parsed({"--record", "a.webm", "--frames", "9"}).seconds);
    // --seconds counts frames wherever --frames does.
    EXPECT_EQ(parsed({"--dump-motes", "d.txt", "--seconds", "1"}).seconds, 1.0);
}

TEST(Options, SizeLimitsAreInclusive) {
    EXPECT_EQ(parsed({"--size", "1x16384"}).height, 16384);
    EXPECT_EQ(parsed({"--size=16384x1"}).width, 16384);
    // A scale is whole or not, 1 to 4.
    EXPECT_EQ(parsed({"--scale", "1"}).scale, 1.0);
    EXPECT_EQ(parsed({"--scale", "1.5"}).scale, 1.5);
    EXPECT_EQ(parsed({"--scale=4"}).scale, 4.0);
}

TEST(Options, HelpAndResourcesWinOverOtherActions) {
    EXPECT_EQ(parsed({"--render", "a.png", "--help"}).action, Options::Action::Help);
    EXPECT_EQ(parsed({"-h"}).action, Options::Action::Help);
    EXPECT_EQ(parsed({"--render", "a.png", "--resources"}).action, Options::Action::Resources);
}

TEST(Options, SettingsOpensThePaneWithItsStore) {
    const Options o = parsed({"--settings", "--prefs", "p.conf"});
    EXPECT_EQ(o.action, Options::Action::Settings);
    EXPECT_EQ(o.prefsFile, "p.conf");
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
        {{"--settings", "--size", "2x2"}, "--settings"},
        {{"--settings=1"}, "--settings"},
        {{"--settings", "--shape", "hexagon"}, "--settings"},
        {{"--fullscreen", "--size", "8x8"}, "--fullscreen"},
        {{"-size", "8"}, "-size"},
        {{"-fullscreen=1"}, "-fullscreen"},
        {{"---root"}, "---root"},
        {{"--window-id"}, "--window-id"},
        {{"--window-id", "0"}, "--window-id"},
        {{"--window-id", "0x"}, "--window-id"},
        {{"--window-id", "0x1g"}, "--window-id"},
        {{"--window-id", "0x100000000"}, "--window-id"},
        {{"--window-id", "4294967296"}, "--window-id"},
        {{"--window-id", "-5"}, "--window-id"},
        {{"--delay", "10000001"}, "--delay"},
        {{"--scale", "0.5"}, "--scale"},
        {{"--scale", "4.01"}, "--scale"},
        {{"--scale", "1.5x"}, "--scale"},
        {{"--scale", "nan"}, "--scale"},
        {{"--scale", "1e0"}, "--scale"},
        {{"--scale", ""}, "--scale"},
        {{"-delay", "-1"}, "-delay"},
        {{"--root", "--fullscreen"}, "--root"},
        {{"--window-id", "7", "--size", "8x8"}, "--window-id"},
        {{"--window", "--root"}, "--root"},
        {{"--render", "a.png", "--root"}, "--root"},
        {{"--render", "a.png", "--fps"}, "--fps"},
        {{"--render", "a.png", "--delay", "5"}, "--delay"},
        {{"--render", "a.png", "--wallpaper"}, "--wallpaper"},
        {{"--wallpaper", "--fullscreen"}, "--fullscreen"},
        {{"--wallpaper", "--root"}, "--root"},
        {{"--wallpaper", "--size", "8x8"}, "--size"},
        {{"--wallpaper", "--x11"}, "--x11"},
        {{"--settings", "--x11"}, "--settings"},
        {{"--power", "half"}, "--power 'half': want auto, save or full"},
        {{"--settings", "--power", "full"}, "--settings"},
        {{"--record", "a.mov"}, "one of .mp4, .webm, .webp, .gif or .mkv"},
        {{"--record", "mp4"}, "'mp4'"},
        {{"--record", "a.mp4", "--fullscreen"}, "--fullscreen needs a window; it cannot go with --record"},
        {{"--record", "a.mp4", "--render", "a.png"}, "--render and --record"},
        {{"--record", "a.mp4", "--delay", "0"}, "--delay 0"},
        {{"--record", "a.mp4", "--quality", "6"}, "--quality"},
        {{"--render", "a.png", "--quality", "2"}, "--quality goes with --record"},
        {{"--record", "a.gif", "--frames", "5", "--seconds", "2"}, "--frames and --seconds"},
        {{"--seconds", "0"}, "--seconds"},
        {{"--seconds", "1e3"}, "--seconds"},
        {{"--seconds", "inf"}, "--seconds"},
        {{"--delay", "0", "--seconds", "3"}, "--delay 0"},
        {{"--settings", "--record", "a.mkv"}, "--settings"},
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

TEST(Options, EveryOptionTakesOneDashOrTwo) {
    const Options one = parsed({"-render", "a.png", "-size", "32x16", "-frames=3", "-seed", "9",
                                "-mode", "2", "-preview", "-prefs", "p.ini", "-dump-motes", "d"});
    const Options two = parsed({"--render", "a.png", "--size", "32x16", "--frames=3", "--seed", "9",
                                "--mode", "2", "--preview", "--prefs", "p.ini", "--dump-motes", "d"});
    EXPECT_EQ(one.action, Options::Action::Render);
    EXPECT_EQ(one.renderPath, two.renderPath);
    EXPECT_EQ(one.width, two.width);
    EXPECT_EQ(one.height, two.height);
    EXPECT_EQ(one.frames, two.frames);
    EXPECT_EQ(one.seed, two.seed);
    EXPECT_EQ(one.mode, two.mode);
    EXPECT_EQ(one.preview, two.preview);
    EXPECT_EQ(one.prefsFile, two.prefsFile);
    EXPECT_EQ(one.dumpPath, two.dumpPath);

    const Options w = parsed({"-fullscreen", "-fps", "-delay", "20000", "-window"});
    EXPECT_TRUE(w.fullscreen);
    EXPECT_TRUE(w.fps);
    EXPECT_EQ(w.delayMicros, 20000);
    EXPECT_EQ(w.target, Options::Target::OwnWindow);
    EXPECT_EQ(parsed({"-power", "save"}).power, Options::Power::Save);
    EXPECT_EQ(parsed({"--root", "--power=full"}).power, Options::Power::Full);
    EXPECT_EQ(parsed({"-help"}).action, Options::Action::Help);
    EXPECT_EQ(parsed({"-resources"}).action, Options::Action::Resources);
}

TEST(Options, DaemonAndPreviewWindows) {
    // The daemon's command line, and what its settings program appends for a preview.
    const Options root = parsed({"-root"});
    EXPECT_EQ(root.action, Options::Action::Window);
    EXPECT_EQ(root.target, Options::Target::Root);
    EXPECT_FALSE(root.preview);

    const Options preview = parsed({"-root", "--window-id", "0x2a00007"});
    EXPECT_EQ(preview.target, Options::Target::WindowId);
    EXPECT_EQ(preview.windowId, 0x2a00007ul);
    EXPECT_TRUE(preview.preview);

    EXPECT_EQ(parsed({"-window-id", "44040199"}).windowId, 44040199ul);
    EXPECT_EQ(parsed({"--window-id=0XFFFFFFFF"}).windowId, 0xFFFFFFFFul);
    EXPECT_EQ(parsed({"--root", "--frames", "5", "--delay", "0", "--fps"}).delayMicros, 0);
}

TEST(Options, WaylandForms) {
    const Options wallpaper = parsed({"--wallpaper", "--fps", "--delay", "20000"});
    EXPECT_TRUE(wallpaper.wallpaper);
    EXPECT_EQ(wallpaper.target, Options::Target::OwnWindow);
    EXPECT_TRUE(parsed({"--fullscreen", "--x11"}).x11);
    EXPECT_TRUE(parsed({"-root", "-x11"}).x11);
}

TEST(Options, HelpListsOptionsThatParse) {
    // Every option that --help shows is one the parser takes, with its sample value.
    const std::string text = zorvan::host::usage();
    size_t listed = 0, pos = 0;
    while ((pos = text.find("\n  -", pos)) != std::string::npos) {
        const size_t end = text.find('\n', pos + 1);
        const std::string line = text.substr(pos + 1, end - pos - 1);
        EXPECT_LE(line.size(), 80u) << line;
        const size_t at = line.find("--");
        std::string name = line.substr(at, line.find(' ', at) - at);
        const std::string rest = line.substr(at + name.size());
        const bool takesValue = rest.size() > 1 && rest[1] != ' ';
        const std::string sample = name == "--size" ? "8x8" : name == "--window-id" ? "0x10" : "1";
        std::vector<std::string> args = {name};
        if (takesValue) args.push_back(sample);
        const auto result = parseOptions(args);
        EXPECT_EQ(result.error.find("unknown"), std::string::npos) << line << ": " << result.error;
        EXPECT_EQ(result.error.find("value"), std::string::npos) << line << ": " << result.error;
        ++listed;
        pos = end;
    }
    EXPECT_GE(listed, 16u);
}

TEST(Options, SettingsBecomeStoreValuesAndVersionIsAnAction) {
    using Value = zorvan::ScreenSaverDefaults::Value;
    const Options o = parsed({"-count=5", "--shape", "diamond", "--tails", "--count", "6"});
    const zorvan::ScreenSaverDefaults::Dictionary want = {{"numMotes", Value(5)},
                                                           {"moteShape", Value(1)},
                                                           {"drawMode", Value(1)},
                                                           {"numMotes", Value(6)}};
    EXPECT_EQ(o.settings, want);
    // Default colours bring the default colours, unless a later choice replaces them.
    const auto defaults = parsed({"--bg", "red", "--colours", "default"}).settings;
    ASSERT_EQ(defaults.size(), 9u + 3u + 1u);
    EXPECT_EQ(defaults[0], (std::pair<std::string, Value>{"bgR", Value(0.0f)}));
    EXPECT_EQ(defaults[9], (std::pair<std::string, Value>{"bgR", Value(1.0f)}));
    EXPECT_EQ(parsed({"--colours", "default", "--colours", "custom"}).settings.size(), 2u);
    EXPECT_EQ(parsed({"--render", "a.png", "--version"}).action, Options::Action::Version);
    EXPECT_EQ(zorvan::host::versionText().rfind("zorvan ", 0), 0u);
    EXPECT_EQ(parsed({"--lock"}).action, Options::Action::Lock);
    EXPECT_EQ(parsed({"-lock"}).action, Options::Action::Lock);
    EXPECT_FALSE(parseOptions({"--lock", "--help"}).options) << "--lock takes nothing with it, not even --help";
}

// The idle daemon's command lines: times as people write them, each error one line, the
// settings with --daemon only, exactly one of the three actions.
TEST(Options, IdleDaemonCommandLines) {
    using namespace zorvan::daemon;
    const auto command = [](std::vector<std::string> args) { return parseDaemonCommandLine(args); };
    EXPECT_EQ(parsed({"--daemon"}).action, Options::Action::Daemon);
    EXPECT_EQ(parsed({"-activate"}).action, Options::Action::Daemon);
    for (const auto& [text, seconds] : std::vector<std::pair<std::string, int>>{
             {"5", 300}, {"90s", 90}, {"5m", 300}, {"1h", 3600}, {"24h", 86400}, {"1s", 1}}) {
        const auto c = command({"--daemon", "--saver-after", text});
        ASSERT_TRUE(c.command) << text << ": " << c.error;
        EXPECT_EQ(c.command->saverAfter, seconds) << text;
        EXPECT_EQ(parseDuration(formatDuration(seconds), false), seconds) << "written back and read again";
    }
    EXPECT_EQ(command({"--daemon", "--lock-after=never"}).command->lockAfter, 0);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--daemon", "--saver-after", "0"}, {"--daemon", "--saver-after", "never"},
          {"--daemon", "--saver-after", "25h"}, {"--daemon", "--saver-after", "5x"},
          {"--daemon", "--saver-after", "-5"}, {"--daemon", "--lock-after", "1\n2"}, {"--saver-after", "5"},
          {"--activate", "--span"}, {"--daemon", "--deactivate"}, {"--daemon", "--fps"},
          {"--daemon", "--\x1b[2J"}, {"--daemon", "--lock-command"}}) {
        const auto result = parseOptions(bad);
        EXPECT_FALSE(result.options) << bad.back();
        EXPECT_EQ(result.error.find('\n'), std::string::npos) << result.error;
        EXPECT_EQ(result.error.find('\x1b'), std::string::npos) << result.error;
    }
    EXPECT_EQ(parseOptions({"--saver-after", "5"}).error, "--saver-after goes with --daemon only");
}
