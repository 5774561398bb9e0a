// Settings on the command line: each takes effect for the run, is checked as the stored
// value would be, and never reaches the settings file.
#include "host/cli/Options.h"
#include "host/Process.h"

#include "saver/Zorvan.h"

#include <Magick++.h>
#include <gtest/gtest.h>

#include <chrono>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

using namespace zorvan;
using test::runProcess;
using test::writeFile;
using test::zorvanPath;

namespace {

namespace fs = std::filesystem;

// How much longer than a run on the module's own picture a run on a sparse picture may
// take: decoding the bigger file, on a machine that may be busy (the fault it guards
// against took hours).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
constexpr double SLOWDOWN = 6.0;
#else
constexpr double SLOWDOWN = 3.0;
#endif

const std::string LOGO_PNG = ZORVAN_SOURCE_DIR "/resources/zorvan-logo.png";

// The settings line of a mote dump: each name with the words after it.
std::map<std::string, std::vector<std::string>> settingsOf(const std::string& dump) {
    std::istringstream lines(dump);
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    std::map<std::string, std::vector<std::string>> out;
    const size_t logo = line.find(" logoFile ");
    if (logo != std::string::npos) {
        out["logoFile"] = {line.substr(logo + 10)};
        line.resize(logo);
    }
    std::istringstream words(line);
    std::string word, name;
    words >> word;
    EXPECT_EQ(word, "settings");
    while (words >> word) {
        if (std::isalpha(static_cast<unsigned char>(word[0]))) name = word, out[name];
        else out[name].push_back(word);
    }
    return out;
}

float floatOf(const std::string& hex) { return std::strtof(hex.c_str(), nullptr); }

std::vector<float> colourOf(const std::map<std::string, std::vector<std::string>>& s,
                            const std::string& name) {
    std::vector<float> c;
    for (const char* channel : {"R", "G", "B"})
        for (const auto& w : s.at(name + channel)) c.push_back(floatOf(w));
    return c;
}

// A render with the store `conf` and the given settings; the dump's settings.
struct RenderRun {
    test::TempDir dir;
    std::string conf = dir.file("Zorvan.conf");
    test::ProcessResult result;
    std::map<std::string, std::vector<std::string>> settings;
    size_t motes = 0;

    RenderRun(const std::string& stored, std::vector<std::string> args) {
        writeFile(conf, stored);
        std::vector<std::string> all = {"--prefs", conf, "--render", dir.file("out.png"),
                                        "--size", "96x64", "--frames", "3",
                                        "--dump-motes", dir.file("dump")};
        all.insert(all.end(), args.begin(), args.end());
        result = runProcess(zorvanPath(), all);
        const std::string dump = test::readFile(dir.file("dump"));
        settings = settingsOf(dump);
        motes = size_t(test::lines(dump)) - 12;
    }
    std::string word(const std::string& name) const {
        auto it = settings.find(name);
        return it == settings.end() || it->second.empty() ? "?" : it->second[0];
    }
};

const char STORED_OFF[] =
    "[Zorvan]\nnumMotes=40\nmoteSize=4\nmainScreenOnly=false\nlogoMode=1\ndrawMode=0\n"
    "colourMode=0\ncontrastCheck=false\nmoteShape=0\ndirectional=true\nbgR=0.5\nbgG=0.5\n"
    "bgB=0.5\nspeed=0.5\n";
const char STORED_ON[] =
    "[Zorvan]\nmainScreenOnly=true\nlogoMode=2\nlogoFile=/nowhere/logo.png\ndrawMode=1\n"
    "colourMode=1\ncontrastCheck=true\nmoteShape=2\ndirectional=false\nbgR=0.5\nlightR=0\n"
    "heavyG=0\n";

}  // namespace

TEST(SettingOptions, EachTakesEffectAndTheStoreIsUntouched) {
    const RenderRun a(STORED_OFF, {"--count", "7", "--mote-size", "13", "--speed", "1.25", "--shape",
                             "hexagon", "--no-directional", "--tails", "--colours", "custom",
                             "--bg", "#336699", "--light", "navy", "-heavy=rgb(255,0,0)",
                             "--logo", LOGO_PNG, "--contrast", "--main-screen-only"});
    ASSERT_EQ(a.result.exitCode, 0) << a.result.err;
    EXPECT_EQ(a.result.err, "");
    EXPECT_EQ(test::readFile(a.conf), STORED_OFF);
    EXPECT_EQ(a.word("numMotes"), "7");
    EXPECT_EQ(a.motes, 7u);
    EXPECT_EQ(a.word("moteSize"), "13");
    EXPECT_EQ(floatOf(a.word("speed")), 1.25f);
    EXPECT_EQ(a.word("moteShape"), "2");
    EXPECT_EQ(a.word("directional"), "0");
    EXPECT_EQ(a.word("drawMode"), "1");
    EXPECT_EQ(a.word("colourMode"), "1");
    EXPECT_EQ(colourOf(a.settings, "bg"), (std::vector<float>{0.2f, 0.4f, 0.6f}));
    EXPECT_EQ(colourOf(a.settings, "light"), (std::vector<float>{0.0f, 0.0f, float(128 / 255.0)}));
    EXPECT_EQ(colourOf(a.settings, "heavy"), (std::vector<float>{1.0f, 0.0f, 0.0f}));
    EXPECT_EQ(a.word("logoMode"), "2");
    EXPECT_EQ(a.word("logoFile"), LOGO_PNG);
    EXPECT_EQ(floatOf(a.word("contrastCheck")), 0.5f);
    EXPECT_EQ(a.word("mainScreenOnly"), "1");

    // The other way round, over a store that holds the opposite. Default colours replace
    // the stored custom ones, as the sheet's button does.
    const RenderRun b(STORED_ON, {"--directional", "--no-tails", "--no-contrast", "--all-screens",
                            "--logo", "none", "--colours", "default", "--shape", "square"});
    ASSERT_EQ(b.result.exitCode, 0) << b.result.err;
    EXPECT_EQ(test::readFile(b.conf), STORED_ON);
    EXPECT_EQ(b.word("directional"), "1");
    EXPECT_EQ(b.word("drawMode"), "0");
    EXPECT_EQ(floatOf(b.word("contrastCheck")), 0.0f);
    EXPECT_EQ(b.word("mainScreenOnly"), "0");
    EXPECT_EQ(b.word("logoMode"), "1");
    EXPECT_EQ(b.word("logoFile"), "none");
    EXPECT_EQ(b.word("moteShape"), "0");
    EXPECT_EQ(b.word("colourMode"), "0");
    EXPECT_EQ(colourOf(b.settings, "bg"), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(colourOf(b.settings, "light"), (std::vector<float>{LIGHT.r, LIGHT.g, LIGHT.b}));
    EXPECT_EQ(colourOf(b.settings, "heavy"), (std::vector<float>{HEAVY.r, HEAVY.g, HEAVY.b}));

    // A colour given anywhere wins over the default colours; the default logo is the
    // module's own picture.
    const RenderRun c(STORED_ON, {"--bg", "red", "--colours", "default", "--logo", "default"});
    ASSERT_EQ(c.result.exitCode, 0) << c.result.err;
    EXPECT_EQ(colourOf(c.settings, "bg"), (std::vector<float>{1, 0, 0}));
    EXPECT_EQ(c.word("logoMode"), "0");
    EXPECT_EQ(fs::path(c.word("logoFile")).filename(), "zorvan.pict");
}

TEST(SettingOptions, BadValuesExitTwoWithOneLineAndWriteNothing) {
    test::TempDir dir;
    const std::vector<std::vector<std::string>> cases = {
        {"--count", "0"},        {"--count", "1000001"},   {"--count", "12x"},
        {"--mote-size", "0"},    {"--mote-size", "-3"},    {"--speed", "inf"},
        {"--speed", "fast"},     {"--shape", "round"},     {"--colours", "rainbow"},
        {"--bg", "none"},        {"--light", "no-such"},   {"--heavy", "#12345"},
        {"--logo", ""},          {"--count"},              {"--tails=yes"},
    };
    for (const auto& args : cases) {
        std::vector<std::string> all = {"--prefs", dir.file("Zorvan.conf"), "--render",
                                        dir.file("out.png")};
        all.insert(all.end(), args.begin(), args.end());
        const auto r = runProcess(zorvanPath(), all);
        EXPECT_EQ(r.exitCode, 2) << args[0] << ": " << r.err;
        EXPECT_EQ(test::lines(r.err), 1) << r.err;
        EXPECT_EQ(r.err.rfind("zorvan: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(args[0].substr(0, args[0].find('='))), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir.file("Zorvan.conf")));
    EXPECT_FALSE(fs::exists(dir.file("out.png")));
}

// A logo file is not checked on the command line: the saver must draw even when the
// file has gone or changed since it was configured. One that cannot be read, or has so
// few pixels that finding homes among them would take hours, warns once and the run
// goes on as with the same stored file: the box at the centre, or the module's own
// picture, seeded exactly as that picture is.
TEST(SettingOptions, LogoFilesThatCannotBeUsedWarnAndTheRunGoesOn) {
    test::TempDir dir;
    fs::create_directory(dir.file("folder"));
    writeFile(dir.file("junk.png"), "this is not a picture");
    for (const std::string& path : {dir.file("missing.png"), dir.file("folder"), dir.file("junk.png")}) {
        const RenderRun r("", {"--logo", path, "--seed", "4"});
        EXPECT_EQ(r.result.exitCode, 0) << r.result.err;
        EXPECT_EQ(r.result.err, "zorvan: warning: cannot read the logo picture " + path +
                                    "; the motes gather at the centre instead\n");
        EXPECT_EQ(r.word("logoMode"), "2");
        EXPECT_EQ(r.motes, 1500u);
    }

    // One lit pixel in 4000 x 4000, given and stored.
    const std::string sparse = dir.file("sparse.png");
    {
        Magick::Image picture(Magick::Geometry(4000, 4000), Magick::Color("black"));
        picture.pixelColor(2000, 1000, Magick::Color("white"));
        picture.depth(8);
        picture.write("PNG24:" + sparse);
    }
    const auto start = std::chrono::steady_clock::now();
    const RenderRun ownPicture("", {"--logo", "default", "--seed", "4"});
    const double normal = test::secondsSince(start);
    ASSERT_EQ(ownPicture.result.exitCode, 0) << ownPicture.result.err;
    const std::string expected = test::readFile(ownPicture.dir.file("dump"));
    for (const bool stored : {false, true}) {
        SCOPED_TRACE(stored ? "stored" : "given");
        const auto t0 = std::chrono::steady_clock::now();
        const RenderRun r(stored ? "[Zorvan]\nlogoMode=2\nlogoFile=" + sparse + "\n" : "",
                          stored ? std::vector<std::string>{"--seed", "4"}
                                 : std::vector<std::string>{"--logo", sparse, "--seed", "4"});
        const double took = test::secondsSince(t0);
        EXPECT_EQ(r.result.exitCode, 0) << r.result.err;
        EXPECT_EQ(test::lines(r.result.err), 1) << r.result.err;
        EXPECT_EQ(r.result.err.rfind("zorvan: warning: the logo picture " + sparse, 0), 0u) << r.result.err;
        EXPECT_EQ(test::readFile(r.dir.file("dump")), expected) << "not seeded on the module's own picture";
        // A bound of a few seconds against hours; the sanitizers slow the decode.
        EXPECT_LT(took, normal + SLOWDOWN);
    }
}

// A count or size is refused on the command line exactly when loading the same value
// from the store would replace it.
TEST(SettingOptions, CommandLineAndStoreAgreeOnTheLoadTimeChecks) {
    const test::StoreFile store;
    struct Case {
        const char* option;
        const char* key;
        int Settings::*field;
    };
    for (const Case& c : {Case{"--count", "numMotes", &Settings::numMotes},
                          Case{"--mote-size", "moteSize", &Settings::moteSize}}) {
        for (const char* text : {"-5", "0", "1", "19", "1500", "1000000", "1000001",
                                 "2147483647", "2147483648"}) {
            store.reload(std::string("[Zorvan]\n") + c.key + "=" + text + "\n");
            Zorvan view(OpenGLViewFactory{});
            view.loadPrefs();
            const bool kept = std::to_string(test::state(view).settings.*c.field) == text;
            const bool accepted = host::parseOptions({c.option, text}).options.has_value();
            EXPECT_EQ(accepted, kept) << c.option << " " << text;
        }
    }
}
