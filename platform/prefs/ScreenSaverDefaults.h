// STUB interface: the per-module preference store. Replaced by the settings work;
// keep these two static calls (the host uses them).
#pragma once

#include <optional>
#include <string>

namespace zorvan {

class ScreenSaverDefaults {
public:
    // The one store of a module in this process.
    static ScreenSaverDefaults* defaultsForModuleWithName(const std::string& moduleName);
    // Makes every store read and write `path` instead of its default location; call
    // before the first store is made. nullopt restores the default location.
    static void setStorePathOverride(std::optional<std::string> path);
};

}  // namespace zorvan
