// Module resources are found beside the program, in the build tree and after install.
#include "host/Process.h"
#include "settings/StoreFixture.h"

#include "platform/bundle/Bundle.h"

namespace zorvan::test {
namespace {

namespace fs = std::filesystem;

TEST(Bundle, ResourcesLieInShareZorvanBesideTheProgram) {
    const Bundle& bundle = Bundle::bundleForClass();
    EXPECT_EQ(&bundle, &Bundle::bundleForClass());
    ASSERT_TRUE(bundle.resourcePath().has_value());
    const fs::path expected = fs::path(ZORVAN_BIN_DIR) / ".." / "share" / "zorvan";
    EXPECT_TRUE(fs::equivalent(*bundle.resourcePath(), expected));

    const auto nib = bundle.pathForResource("Zorvan.nib");
    ASSERT_TRUE(nib.has_value());
    EXPECT_TRUE(fs::equivalent(*nib, expected / "Zorvan.nib"));
    EXPECT_EQ(bundle.pathForImageResource("zorvan.pict").has_value(),
              fs::exists(expected / "zorvan.pict"));

    EXPECT_EQ(bundle.pathForResource("missing.pict"), std::nullopt);
    EXPECT_EQ(bundle.pathForImageResource("missing.pict"), std::nullopt);
    EXPECT_EQ(bundle.pathForResource(""), std::nullopt);
    EXPECT_EQ(bundle.pathForResource(".."), std::nullopt);
    EXPECT_EQ(bundle.pathForResource("../zorvan/Zorvan.nib"), std::nullopt);
}

struct Spawned {
    int status = -1;
    std::string out;  // and its stderr
};

Spawned spawn(const std::vector<std::string>& argv, const std::string& cwd) {
    ChildSetup setup;
    setup.cwd = cwd;
    const ProcessResult r = runChild(argv[0], {argv.begin() + 1, argv.end()}, setup, 120);
    return {r.exitCode, r.out + r.err};
}

// Installs the build into a fresh prefix and asks the installed program, started from
// elsewhere, where its resources are.
TEST_F(StoreTest, InstalledProgramFindsItsOwnResources) {
    const fs::path prefix = fs::canonical(dir) / "prefix";
    const std::string build = (fs::path(ZORVAN_BIN_DIR) / "..").lexically_normal().string();
    Spawned install = spawn({ZORVAN_CMAKE_COMMAND, "--install", build, "--prefix", prefix.string()},
                      dir.string());
    ASSERT_EQ(install.status, 0) << install.out;
    ASSERT_TRUE(fs::exists(prefix / "bin" / "zorvan"));
    EXPECT_TRUE(fs::exists(prefix / "share" / "zorvan" / "Zorvan.nib"));

    Spawned where = spawn({(prefix / "bin" / "zorvan").string(), "--resources"}, "/");
    EXPECT_EQ(where.status, 0) << where.out;
    const std::string share = (prefix / "share" / "zorvan").string() + "/";
    EXPECT_TRUE(contains(where.out, share + "Zorvan.nib")) << where.out;
    if (fs::exists(prefix / "share" / "zorvan" / "zorvan.pict")) {
        EXPECT_TRUE(contains(where.out, share + "zorvan.pict")) << where.out;
    }
    EXPECT_FALSE(contains(where.out, build + "/share")) << "found the build tree: " << where.out;
}

}  // namespace
}  // namespace zorvan::test
