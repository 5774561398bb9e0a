// Output files are replaced whole or left as they were, and nothing but a regular file
// is ever written or removed.
#include "host/driver/FileOutput.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>

using namespace zorvan;
using host::writeWholeFile;
using test::entriesOf;
using test::writeFile;

TEST(FileOutput, ReplacesTheTargetWholeAndKeepsItsPermissions) {
    test::TempDir dir;
    const std::string path = dir.file("out.png");
    writeFile(path, "old picture");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    std::string error;
    ASSERT_TRUE(writeWholeFile(path, "new", 3, "", error)) << error;
    EXPECT_EQ(test::readFile(path), "new");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entriesOf(dir.path()).size(), 1u);
}

// A write that fails half-way (here: the file size limit, as on a full disk) leaves the
// picture that was there.
TEST(FileOutput, AFailedWriteKeepsWhatWasThere) {
    test::TempDir dir;
    const std::string path = dir.file("out.png");
    writeFile(path, "old picture");
    const std::string big(64 * 1024, 'x');

    rlimit saved{}, small{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    small = saved;
    small.rlim_cur = 4096;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = writeWholeFile(path, big.data(), big.size(), "the picture", error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(error.rfind("cannot write the picture " + path + ": ", 0), 0u) << error;
    EXPECT_EQ(test::readFile(path), "old picture");
    EXPECT_EQ(entriesOf(dir.path()).size(), 1u);
}

// A device, a FIFO or a folder is refused with one line and left in place. Writing to a
// FIFO with no reader would block, and removing the path would destroy the node.
TEST(FileOutput, OnlyRegularFilesAreWritten) {
    test::TempDir dir;
    const std::string fifo = dir.file("fifo"), folder = dir.file("folder"),
                      device = dir.file("full");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    // A second name for the device that always reports a full disk (root only).
    const bool haveDevice = mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0;

    for (const std::string& path : {fifo, folder, device}) {
        if (path == device && !haveDevice) continue;
        SCOPED_TRACE(path);
        std::string error;
        EXPECT_FALSE(writeWholeFile(path, "x", 1, "", error));
        EXPECT_EQ(error, "cannot write " + path + ": not a regular file");
        struct stat st {};
        EXPECT_EQ(lstat(path.c_str(), &st), 0);
    }
    EXPECT_EQ(entriesOf(dir.path()).size(), haveDevice ? 3u : 2u);
}
