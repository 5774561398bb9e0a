// Loading and saving the view's settings through the module's store.
#include "settings/StoreFixture.h"

#include "platform/bundle/Bundle.h"
#include "saver/Zorvan.h"

namespace zorvan::test {
namespace {

namespace fs = std::filesystem;

class PrefsTest : public StoreTest {
protected:
    // Writes the [Zorvan] group as a user would, then loads a fresh view from it.
    std::unique_ptr<Zorvan> loadFrom(const std::string& lines) {
        writeFile(file, "[Zorvan]\n" + lines);
        return load();
    }
    std::unique_ptr<Zorvan> load() {
        reload();
        auto v = std::make_unique<Zorvan>(OpenGLViewFactory{});
        v->loadPrefs();
        return v;
    }
    bool stored(const std::string& key) {
        return contains(fileText(), "\n" + key + "=");
    }
};

TEST_F(PrefsTest, EmptyStoreLoadsTheDefaults) {
    auto v = load();
    EXPECT_EQ(test::state(v).prefs, ScreenSaverDefaults::defaultsForModuleWithName("Zorvan"));
    EXPECT_EQ(test::state(v).settings.numMotes, 1500);
    EXPECT_EQ(test::state(v).settings.moteSize, 10);
    EXPECT_FALSE(test::state(v).settings.mainScreenOnly);
    EXPECT_EQ(test::state(v).settings.logoMode, 0);
    EXPECT_EQ(test::state(v).settings.logoFile, Bundle::bundleForClass().pathForImageResource("zorvan.pict"));
    if (fs::exists(fs::path(ZORVAN_BIN_DIR) / "../share/zorvan/zorvan.pict")) {
        ASSERT_TRUE(test::state(v).settings.logoFile.has_value());
        EXPECT_TRUE(fs::equivalent(*test::state(v).settings.logoFile,
                                   fs::path(ZORVAN_BIN_DIR) / "../share/zorvan/zorvan.pict"));
    }
    EXPECT_EQ(test::state(v).settings.drawMode, 0);
    EXPECT_EQ(test::state(v).settings.colourMode, 0);
    EXPECT_EQ(test::state(v).settings.minimumContrast, 0.0f);
    EXPECT_EQ(test::state(v).settings.moteShape, 1);
    EXPECT_TRUE(test::state(v).settings.directional);
    EXPECT_TRUE(sameBits(test::state(v).settings.bg, Colour{0.0f, 0.0f, 0.0f}));
    EXPECT_TRUE(sameBits(test::state(v).settings.light, LIGHT));
    EXPECT_TRUE(sameBits(test::state(v).settings.heavy, HEAVY));
    EXPECT_TRUE(sameBits(test::state(v).settings.speed, 0.8f));
    EXPECT_TRUE(sameBits(test::state(v).settings.smoothness, 0.99f));
    EXPECT_EQ(test::state(v).playListSize, 14);
    EXPECT_GT(test::state(v).frameLimit, 0);
    EXPECT_FALSE(fs::exists(file)) << "loading writes nothing";
}

TEST_F(PrefsTest, OutOfRangeCountSizeAndShapeFallBack) {
    struct Case { const char* lines; int numMotes, moteSize, moteShape; };
    const Case cases[] = {
        {"numMotes=0\nmoteSize=0\nmoteShape=3\n", 1500, 10, 0},
        {"numMotes=-5\nmoteSize=-3\nmoteShape=-1\n", 1500, 10, 0},
        {"numMotes=1\nmoteSize=1\nmoteShape=0\n", 1, 1, 0},
        {"numMotes=1000000\nmoteSize=19\nmoteShape=2\n", 1000000, 19, 2},
        {"numMotes=1000001\nmoteSize=25\n", 1500, 25, 1},
        // Too many to allocate; a huge divisor is harmless and kept.
        {"numMotes=2147483647\nmoteSize=2147483647\n", 1500, 2147483647, 1},
    };
    for (const Case& c : cases) {
        auto v = loadFrom(c.lines);
        EXPECT_EQ(test::state(v).settings.numMotes, c.numMotes) << c.lines;
        EXPECT_EQ(test::state(v).settings.moteSize, c.moteSize) << c.lines;
        EXPECT_EQ(test::state(v).settings.moteShape, c.moteShape) << c.lines;
    }
}

TEST_F(PrefsTest, UnusableSpeedLoadsAsTheDefault) {
    for (const char* speed : {"nan", "inf", "-inf", "1e40", "fast"}) {
        ::testing::internal::CaptureStderr();
        auto v = loadFrom(std::string("speed=") + speed + "\nlightG=0.5\n");
        EXPECT_EQ(lines(::testing::internal::GetCapturedStderr(), true), 1) << speed;
        EXPECT_TRUE(sameBits(test::state(v).settings.speed, 0.8f)) << speed;
        EXPECT_EQ(test::state(v).settings.light.g, 0.5f);
    }
    // In range, even unusual values load as they stand.
    EXPECT_EQ(test::state(loadFrom("speed=-2.5\n")).settings.speed, -2.5f);
    EXPECT_EQ(test::state(loadFrom("speed=0\n")).settings.speed, 0.0f);
}

TEST_F(PrefsTest, LogoFileFollowsTheLogoMode) {
    EXPECT_EQ(test::state(loadFrom("logoMode=2\nlogoFile=/pics/me.png\n")).settings.logoFile, "/pics/me.png");
    EXPECT_EQ(test::state(loadFrom("logoMode=2\n")).settings.logoFile, std::nullopt);
    EXPECT_EQ(test::state(loadFrom("logoMode=1\nlogoFile=/pics/me.png\n")).settings.logoFile, std::nullopt);
    EXPECT_EQ(test::state(loadFrom("logoMode=7\nlogoFile=/pics/me.png\n")).settings.logoFile, std::nullopt);
    EXPECT_EQ(test::state(loadFrom("logoMode=0\nlogoFile=/pics/me.png\n")).settings.logoFile,
              Bundle::bundleForClass().pathForImageResource("zorvan.pict"));
}

TEST_F(PrefsTest, ContrastCheckRoundTrip) {
    auto v = load();
    test::state(v).settings.minimumContrast = 0.5f;
    v->savePrefs();
    EXPECT_TRUE(contains(fileText(), "\ncontrastCheck=true\n"));
    EXPECT_EQ(test::state(load()).settings.minimumContrast, 0.5f);

    v = load();
    test::state(v).settings.minimumContrast = 0.0f;
    v->savePrefs();
    EXPECT_TRUE(contains(fileText(), "\ncontrastCheck=false\n"));
    EXPECT_EQ(test::state(load()).settings.minimumContrast, 0.0f);
}

TEST_F(PrefsTest, LogoFileIsStoredOnlyForAUserPicture) {
    auto v = loadFrom("logoMode=2\nlogoFile=/pics/me.png\n");
    test::state(v).settings.logoMode = 0;
    test::state(v).settings.logoFile = "/somewhere/zorvan.pict";
    v->savePrefs();
    EXPECT_FALSE(stored("logoFile")) << fileText();

    v = loadFrom("logoMode=2\nlogoFile=/pics/me.png\n");
    test::state(v).settings.logoMode = 1;
    v->savePrefs();
    EXPECT_FALSE(stored("logoFile")) << fileText();

    v = loadFrom("logoMode=2\nlogoFile=/pics/me.png\n");
    test::state(v).settings.logoFile.reset();
    v->savePrefs();
    EXPECT_FALSE(stored("logoFile")) << fileText();

    test::state(v).settings.logoFile = "/pics/you.png";
    v->savePrefs();
    // Written last, after the speed.
    EXPECT_TRUE(contains(fileText(), "\nspeed=0.8\nlogoFile=/pics/you.png\n")) << fileText();
}

TEST_F(PrefsTest, SaveThenLoadGivesBackEveryField) {
    auto v = load();
    test::state(v).settings.numMotes = 777;
    test::state(v).settings.moteSize = 3;
    test::state(v).settings.mainScreenOnly = true;
    test::state(v).settings.logoMode = 2;
    test::state(v).settings.logoFile = "/pics/a b=c.png";
    test::state(v).settings.drawMode = 1;
    test::state(v).settings.colourMode = 2;
    test::state(v).settings.minimumContrast = 0.5f;
    test::state(v).settings.moteShape = 2;
    test::state(v).settings.directional = false;
    test::state(v).settings.bg = {0.1f, 0.123456789f, 1.0f};
    test::state(v).settings.light = {0.3f, 1e-7f, 0.0f};
    test::state(v).settings.heavy = {0.999f, 0.5f, 0.25f};
    test::state(v).settings.speed = 1.7f;
    v->savePrefs();
    EXPECT_EQ(fileText(),
              "[Zorvan]\nnumMotes=777\nmoteSize=3\nmainScreenOnly=true\nlogoMode=2\n"
              "drawMode=1\ncolourMode=2\ncontrastCheck=true\nmoteShape=2\ndirectional=false\n"
              "bgR=0.1\nbgG=0.12345679\nbgB=1\nlightR=0.3\nlightG=1e-07\nlightB=0\n"
              "heavyR=0.999\nheavyG=0.5\nheavyB=0.25\nspeed=1.7\nlogoFile=/pics/a b=c.png\n");

    auto w = load();
    EXPECT_EQ(test::state(w).settings.numMotes, 777);
    EXPECT_EQ(test::state(w).settings.moteSize, 3);
    EXPECT_TRUE(test::state(w).settings.mainScreenOnly);
    EXPECT_EQ(test::state(w).settings.logoMode, 2);
    EXPECT_EQ(test::state(w).settings.logoFile, "/pics/a b=c.png");
    EXPECT_EQ(test::state(w).settings.drawMode, 1);
    EXPECT_EQ(test::state(w).settings.colourMode, 2);
    EXPECT_EQ(test::state(w).settings.minimumContrast, 0.5f);
    EXPECT_EQ(test::state(w).settings.moteShape, 2);
    EXPECT_FALSE(test::state(w).settings.directional);
    EXPECT_TRUE(sameBits(test::state(w).settings.bg, test::state(v).settings.bg));
    EXPECT_TRUE(sameBits(test::state(w).settings.light, test::state(v).settings.light));
    EXPECT_TRUE(sameBits(test::state(w).settings.heavy, test::state(v).settings.heavy));
    EXPECT_TRUE(sameBits(test::state(w).settings.speed, test::state(v).settings.speed));

    // Out-of-range values are written as they stand; only loading checks them.
    test::state(w).settings.moteShape = 9;
    test::state(w).settings.numMotes = 0;
    w->savePrefs();
    EXPECT_TRUE(contains(fileText(), "\nnumMotes=0\n"));
    EXPECT_TRUE(contains(fileText(), "\nmoteShape=9\n"));
}

TEST_F(PrefsTest, SaveWithoutAStoreWritesNothing) {
    Zorvan v{OpenGLViewFactory{}};
    test::state(v).settings.numMotes = 5;
    v.savePrefs();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(test::state(v).prefs, nullptr);
}

// A damaged settings file starts the saver on defaults and survives as <file>.bak
// when the user next saves.
TEST_F(PrefsTest, DamagedFileLoadsDefaultsAndIsKeptUntilSaved) {
    const std::string damaged = "[Zorvan]\nnumMotes=12\nmoteSize=big\nspeed=0.5\n[broken";
    writeFile(file, damaged);
    ::testing::internal::CaptureStderr();
    auto v = load();
    auto second = std::make_unique<Zorvan>(OpenGLViewFactory{});
    second->loadPrefs();  // another screen of the same run: no second warning
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines(err, true), 1) << err;
    EXPECT_TRUE(contains(err, file.string())) << err;
    EXPECT_EQ(test::state(v).settings.numMotes, 1500);
    EXPECT_EQ(test::state(v).settings.moteSize, 10);
    EXPECT_EQ(test::state(v).settings.speed, 0.8f);
    EXPECT_EQ(fileText(), damaged);

    test::state(v).settings.numMotes = 40;
    v->savePrefs();
    EXPECT_EQ(readFile(file.string() + ".bak"), damaged);
    EXPECT_EQ(test::state(load()).settings.numMotes, 40);
}

TEST_F(PrefsTest, HugeStoredCountStartsANormalSwarm) {
    writeFile(file, "[Zorvan]\nnumMotes=2147483647\n");
    reload();
    Zorvan v{OpenGLViewFactory{}};
    ASSERT_EQ(v.initWithFrame(Rect{0, 0, 64, 48}, false), &v);
    EXPECT_EQ(test::state(v).settings.numMotes, 1500);
    v.allocateMotes();
    EXPECT_EQ(test::state(v).swarm.numMotesAllocated, 1500);
    EXPECT_NE(test::state(v).swarm.motes, nullptr);
}

}  // namespace
}  // namespace zorvan::test
