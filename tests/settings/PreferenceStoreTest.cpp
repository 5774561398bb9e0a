// The key-file preference store: typed values, defaults, the file's location and
// format, atomic saves and the handling of a damaged file.
#include "settings/StoreFixture.h"

#include <glib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>

namespace zorvan::test {
namespace {

namespace fs = std::filesystem;
using Value = ScreenSaverDefaults::Value;

TEST_F(StoreTest, DefaultsAnswerUntilWrittenAndWritesPersistAsEditableText) {
    ScreenSaverDefaults* s = store();
    EXPECT_EQ(s, ScreenSaverDefaults::defaultsForModuleWithName("Zorvan"));
    EXPECT_EQ(s->path(), file.string());
    s->registerDefaults({{"count", Value(1500)}, {"on", Value(true)}, {"speed", Value(0.8f)},
                         {"name", Value(std::string("pict"))}});
    EXPECT_EQ(s->integerForKey("count"), 1500);
    EXPECT_TRUE(s->boolForKey("on"));
    EXPECT_EQ(s->floatForKey("speed"), 0.8f);
    EXPECT_EQ(s->stringForKey("name"), "pict");
    // Unregistered and absent: zero, no, 0.0, none.
    EXPECT_EQ(s->integerForKey("other"), 0);
    EXPECT_FALSE(s->boolForKey("other"));
    EXPECT_EQ(s->floatForKey("other"), 0.0f);
    EXPECT_EQ(s->stringForKey("other"), std::nullopt);

    s->setInteger(-42, "count");
    s->setBool(false, "on");
    s->setFloat(0.69f, "speed");
    s->setObject("/home/a b/ü=logo.png", "name");
    s->setString("gone", "extra");
    s->removeObjectForKey("extra");
    EXPECT_EQ(s->integerForKey("count"), -42);
    EXPECT_EQ(s->stringForKey("extra"), std::nullopt);
    EXPECT_FALSE(fs::exists(file)) << "nothing reaches the file before synchronize";
    ASSERT_TRUE(s->synchronize());

    EXPECT_EQ(fileText(),
              "[Zorvan]\ncount=-42\non=false\nspeed=0.69\nname=/home/a b/ü=logo.png\n");

    // A new run reads the file; the store object stays the same one.
    EXPECT_EQ(reload(), s);
    EXPECT_EQ(s->integerForKey("count"), -42);
    EXPECT_FALSE(s->boolForKey("on"));
    EXPECT_EQ(s->floatForKey("speed"), 0.69f);
    EXPECT_EQ(s->stringForKey("name"), "/home/a b/ü=logo.png");
    EXPECT_EQ(s->stringForKey("extra"), std::nullopt);
}

TEST_F(StoreTest, HandEditedFileKeepsCommentsAndOtherGroupsOnSave) {
    writeFile(file, "# mine\n[Other]\nx=1\n\n[Zorvan]\n# count of motes\ncount = 12\non=1\n");
    ScreenSaverDefaults* s = reload();
    EXPECT_EQ(s->integerForKey("count"), 12);
    EXPECT_TRUE(s->boolForKey("on"));
    s->setInteger(13, "count");
    ASSERT_TRUE(s->synchronize());
    const std::string text = fileText();
    EXPECT_EQ(text.rfind("# mine\n", 0), 0u) << text;
    EXPECT_TRUE(contains(text, "[Other]\nx=1\n")) << text;
    EXPECT_TRUE(contains(text, "# count of motes\ncount=13\n")) << text;
    EXPECT_FALSE(fs::exists(file.string() + ".bak"));
}

// The command line's settings for one run: read before the file, never written to it.
TEST_F(StoreTest, RunOnlyValuesAnswerFirstAndAreNeverSaved) {
    ScreenSaverDefaults* s = store();
    s->registerDefaults({{"count", Value(1500)}, {"speed", Value(0.8f)}});
    s->setInteger(40, "count");
    s->setBool(false, "on");
    ASSERT_TRUE(s->synchronize());
    const std::string saved = fileText();

    s->setRunOnlyValues({{"count", Value(7)}, {"on", Value(true)}, {"speed", Value(2.5f)},
                         {"name", Value(std::string("/pictures/a.png"))}});
    s->setRunOnlyValues({{"count", Value(8)}});  // a later value replaces an earlier one
    EXPECT_EQ(s->integerForKey("count"), 8);
    EXPECT_TRUE(s->boolForKey("on"));
    EXPECT_EQ(s->floatForKey("speed"), 2.5f);
    EXPECT_EQ(s->stringForKey("name"), "/pictures/a.png");
    ASSERT_TRUE(s->synchronize());
    EXPECT_EQ(fileText(), saved);

    // What is written afterwards (the settings sheet closing) is the user's choice again.
    s->setInteger(9, "count");
    s->removeObjectForKey("speed");
    EXPECT_EQ(s->integerForKey("count"), 9);
    EXPECT_EQ(s->floatForKey("speed"), 0.8f);
    // Nothing of this run is left for the next test in this process.
    s->removeObjectForKey("on");
    s->removeObjectForKey("name");
    EXPECT_EQ(s->stringForKey("name"), std::nullopt);
}

TEST(FloatFormat, EveryFloatReadsBackAsTheSameFloat) {
    std::vector<float> values = {0.0f, -0.0f, 0.2f, 0.69f, 0.8f, 0.99f, 1.0f, 0.1f, 1e-45f,
                                 FLT_MIN, FLT_MAX, -FLT_MAX, 16777217.0f, 3.4e38f, 1.17549e-38f};
    std::mt19937 gen(7);
    for (int i = 0; i < 200000; ++i) {
        uint32_t bits = gen();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        if (std::isfinite(f)) values.push_back(f);
    }
    for (float f : values) {
        const std::string text = ScreenSaverDefaults::formatFloat(f);
        const float back = float(g_ascii_strtod(text.c_str(), nullptr));
        ASSERT_EQ(std::memcmp(&back, &f, sizeof f), 0) << text;
        ASSERT_LE(text.size(), 16u) << text;
    }
    EXPECT_EQ(ScreenSaverDefaults::formatFloat(0.2f), "0.2");
    EXPECT_EQ(ScreenSaverDefaults::formatFloat(1.0f), "1");
}

TEST_F(StoreTest, DefaultLocationIsTheUserConfigFolderCreatedOnSave) {
    EnvVar xdg("XDG_CONFIG_HOME"), home("HOME");
    xdg.set((dir / "cfg").string());
    home.set((dir / "home").string());
    ScreenSaverDefaults::setStorePathOverride(std::nullopt);
    ScreenSaverDefaults* s = store();
    EXPECT_EQ(s->path(), (dir / "cfg" / "zorvan" / "Zorvan.conf").string());
    s->setInteger(3, "n");
    ASSERT_TRUE(s->synchronize());
    EXPECT_EQ(readFile(dir / "cfg" / "zorvan" / "Zorvan.conf"), "[Zorvan]\nn=3\n");

    // Without XDG_CONFIG_HOME, or with a relative one, it lives under $HOME/.config.
    xdg.unset();
    ScreenSaverDefaults::setStorePathOverride(std::nullopt);
    EXPECT_EQ(s->path(), (dir / "home" / ".config" / "zorvan" / "Zorvan.conf").string());
    EXPECT_EQ(s->integerForKey("n"), 0);
    xdg.set("relative/cfg");
    ScreenSaverDefaults::setStorePathOverride(std::nullopt);
    EXPECT_EQ(s->path(), (dir / "home" / ".config" / "zorvan" / "Zorvan.conf").string());
}

TEST_F(StoreTest, SaveThroughASymbolicLinkKeepsTheLink) {
    const fs::path real = dir / "real.conf";
    writeFile(real, "[Zorvan]\nn=1\n");
    fs::create_symlink(real, file);
    ScreenSaverDefaults* s = reload();
    EXPECT_EQ(s->integerForKey("n"), 1);
    s->setInteger(2, "n");
    ASSERT_TRUE(s->synchronize());
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(readFile(real), "[Zorvan]\nn=2\n");
}

// A file that does not parse: defaults, one warning naming it, the file untouched until
// a save, which keeps the old bytes as <file>.bak.
TEST_F(StoreTest, UnparsableFileIsKeptAndBackedUpOnSave) {
    const std::string garbage = "numMotes=5\n[Zorvan\n\x01\x02 not a key file";
    writeFile(file, garbage);
    ::testing::internal::CaptureStderr();
    ScreenSaverDefaults* s = reload();
    s->registerDefaults({{"numMotes", Value(1500)}});
    EXPECT_EQ(s->integerForKey("numMotes"), 1500);
    EXPECT_EQ(s->integerForKey("numMotes"), 1500);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines(err, true), 1) << err;
    EXPECT_TRUE(contains(err, file.string())) << err;
    EXPECT_EQ(readFile(file), garbage);
    EXPECT_EQ(entriesOf(dir).size(), 1u);

    s->setInteger(20, "numMotes");
    ASSERT_TRUE(s->synchronize());
    EXPECT_EQ(readFile(file.string() + ".bak"), garbage);
    EXPECT_EQ(fileText(), "[Zorvan]\nnumMotes=20\n");

    // The saved file is sound again: a later save keeps no further copy.
    reload();
    fs::remove(file.string() + ".bak");
    ASSERT_TRUE(s->synchronize());
    EXPECT_FALSE(fs::exists(file.string() + ".bak"));
}

TEST_F(StoreTest, WrongTypedValuesReadAsDefaultsWhileGoodKeysStillRead) {
    const std::string text =
        "[Zorvan]\nnumMotes=lots\nmoteSize=7\non=maybe\nspeed=nan\nbgR=inf\nbgG=1e300\n"
        "big=99999999999\nlightR=0.25\n";
    writeFile(file, text);
    ::testing::internal::CaptureStderr();
    ScreenSaverDefaults* s = reload();
    s->registerDefaults({{"numMotes", Value(1500)}, {"moteSize", Value(10)}, {"on", Value(true)},
                         {"speed", Value(0.8f)}, {"bgR", Value(0.0f)}, {"bgG", Value(0.5f)},
                         {"big", Value(4)}});
    EXPECT_EQ(s->integerForKey("numMotes"), 1500);
    EXPECT_EQ(s->integerForKey("moteSize"), 7);
    EXPECT_TRUE(s->boolForKey("on"));
    EXPECT_EQ(s->floatForKey("speed"), 0.8f);
    EXPECT_EQ(s->floatForKey("bgR"), 0.0f);
    EXPECT_EQ(s->floatForKey("bgG"), 0.5f);
    EXPECT_EQ(s->integerForKey("big"), 4);
    EXPECT_EQ(s->floatForKey("lightR"), 0.25f);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines(err, true), 1) << err;
    EXPECT_TRUE(contains(err, file.string())) << err;
    EXPECT_EQ(fileText(), text);

    s->setInteger(1500, "numMotes");
    ASSERT_TRUE(s->synchronize());
    EXPECT_EQ(readFile(file.string() + ".bak"), text);
    EXPECT_TRUE(contains(fileText(), "numMotes=1500\nmoteSize=7\n")) << fileText();
}

// The write itself fails (the file size limit stops it, which binds root as well):
// reported once, false, the old file intact and no temporary file left behind.
TEST_F(StoreTest, FailedSaveIsReportedAndLeavesTheOldFile) {
    const std::string old = "[Zorvan]\nname=old\n";
    writeFile(file, old);
    ScreenSaverDefaults* s = reload();
    s->setObject(std::string(4096, 'x'), "name");

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ::testing::internal::CaptureStderr();
    const bool ok = s->synchronize();
    const std::string err = ::testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(lines(err, true), 1) << err;
    EXPECT_TRUE(contains(err, file.string())) << err;
    EXPECT_EQ(fileText(), old);
    EXPECT_EQ(entriesOf(dir).size(), 1u) << "no temporary file is left";

    // The unsaved value is still there, and a later save succeeds.
    EXPECT_EQ(s->stringForKey("name")->size(), 4096u);
    ASSERT_TRUE(s->synchronize());
    EXPECT_EQ(reload()->stringForKey("name")->size(), 4096u);
}

TEST_F(StoreTest, SaveIntoAReadOnlyFolderFails) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const std::string old = "[Zorvan]\nn=1\n";
    writeFile(file, old);
    ScreenSaverDefaults* s = reload();
    s->setInteger(2, "n");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(s->synchronize());
    EXPECT_EQ(lines(::testing::internal::GetCapturedStderr(), true), 1);
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(fileText(), old);
    EXPECT_EQ(entriesOf(dir).size(), 1u);
}

}  // namespace
// Two programs saving the same store at once (the settings pane and a second one):
// every reader, during and after, sees one whole version or the other, never a mixture.
TEST_F(StoreTest, ConcurrentSavesLeaveOneWholeVersion) {
    auto saver = [&](int count, float speed) {
        const pid_t pid = fork();
        if (pid != 0) return pid;
        ScreenSaverDefaults* s = store();
        for (int round = 0; round < 150; ++round) {
            s->setInteger(count, "numMotes");
            s->setFloat(speed, "speed");
            s->setObject(std::string(2000, char('a' + count % 26)), "logoFile");
            s->synchronize();
        }
        _exit(0);
    };
    const pid_t a = saver(111, 0.25f), b = saver(222, 2.5f);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);

    auto whole = [](const std::string& text) {
        GKeyFile* k = g_key_file_new();
        const bool parsed = g_key_file_load_from_data(k, text.data(), text.size(), G_KEY_FILE_NONE, nullptr);
        const int n = parsed ? g_key_file_get_integer(k, "Zorvan", "numMotes", nullptr) : -1;
        const double speed = parsed ? g_key_file_get_double(k, "Zorvan", "speed", nullptr) : -1;
        gchar* logo = parsed ? g_key_file_get_string(k, "Zorvan", "logoFile", nullptr) : nullptr;
        const std::string file = logo ? logo : "";
        g_free(logo);
        g_key_file_free(k);
        return (n == 111 && speed == 0.25 && file == std::string(2000, char('a' + 111 % 26))) ||
               (n == 222 && speed == 2.5 && file == std::string(2000, char('a' + 222 % 26)));
    };
    int reads = 0, torn = 0, status = 0;
    while (waitpid(a, &status, WNOHANG) == 0 || waitpid(b, &status, WNOHANG) == 0) {
        const std::string text = fileText();
        if (text.empty()) continue;  // not yet saved by either
        ++reads;
        torn += !whole(text);
    }
    waitpid(a, &status, 0);
    waitpid(b, &status, 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_TRUE(whole(fileText())) << fileText();
    // No temporary file is left beside the store.
    EXPECT_EQ(entriesOf(dir).size(), 1u);
}

}  // namespace zorvan::test
