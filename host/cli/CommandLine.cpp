#include "host/cli/CommandLine.h"

#include "host/driver/ErrorLine.h"
#include "platform/prefs/ScreenSaverDefaults.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace zorvan::host {

std::optional<Options> parseCommandLine(int argc, char** argv) {
    ParseResult parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) reportError(parsed.error);
    return std::move(parsed.options);
}

void prepareProcess(const Options& options) {
    if (options.prefsFile) ScreenSaverDefaults::setStorePathOverride(*options.prefsFile);
    if (!options.settings.empty())
        ScreenSaverDefaults::defaultsForModuleWithName("Zorvan")->setRunOnlyValues(options.settings);
    if (options.seed) {
        srandom(*options.seed);
    } else {
        // The module never seeds random(): without --seed every run differs.
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        srandom(static_cast<unsigned int>(now.tv_sec) ^ static_cast<unsigned int>(now.tv_nsec) ^
                (static_cast<unsigned int>(getpid()) << 16));
    }
}

}  // namespace zorvan::host
