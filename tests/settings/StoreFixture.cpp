#include "settings/StoreFixture.h"

#include <glib.h>

#include <fstream>
#include <sstream>

namespace zorvan::test {

namespace fs = std::filesystem;

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

int lineCount(const std::string& text) {
    int lines = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) ++lines;
    return lines;
}

void StoreTest::SetUp() {
    gchar* made = g_dir_make_tmp("zorvan-prefs-XXXXXX", nullptr);
    ASSERT_NE(made, nullptr);
    dir = made;
    g_free(made);
    file = dir / "Zorvan.conf";
    ScreenSaverDefaults::setStorePathOverride(file.string());
}

void StoreTest::TearDown() {
    ScreenSaverDefaults::setStorePathOverride(std::nullopt);
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
}

ScreenSaverDefaults* StoreTest::reload() {
    ScreenSaverDefaults::setStorePathOverride(file.string());
    return store();
}

}  // namespace zorvan::test
