// STUB: replaced by the settings work.
#include "platform/prefs/ScreenSaverDefaults.h"
namespace zorvan {
ScreenSaverDefaults* ScreenSaverDefaults::defaultsForModuleWithName(const std::string&) {
    static ScreenSaverDefaults store;
    return &store;
}
void ScreenSaverDefaults::setStorePathOverride(std::optional<std::string>) {}
}  // namespace zorvan
