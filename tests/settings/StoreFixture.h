// A private settings file per test: the process-wide store is pointed at a fresh
// temporary folder, so no test sees another's settings or the user's.
#pragma once

#include "platform/prefs/ScreenSaverDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace zorvan::test {

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(prefs_.dir.path().empty()); }

    // Points the store at `file` again, as a new run of the program would read it.
    ScreenSaverDefaults* reload() {
        prefs_.reload();
        return store();
    }
    ScreenSaverDefaults* store() { return ScreenSaverDefaults::defaultsForModuleWithName("Zorvan"); }
    // The file's contents as a string ("" when missing).
    std::string fileText() const { return readFile(file); }

    StoreFile prefs_;
    std::filesystem::path dir = prefs_.dir.path();  // a fresh folder
    std::filesystem::path file = prefs_.path;       // dir / "Zorvan.conf", the store's file
};

}  // namespace zorvan::test
