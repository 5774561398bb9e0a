// zorvan: the mote swarm in a window, or rendered offscreen to a picture.
#include "host/cli/CommandLine.h"
#include "host/cli/Resources.h"
#include "host/cli/SettingsLauncher.h"
#include "host/driver/FrameDriver.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace zorvan::host;
    const std::optional<Options> parsed = parseCommandLine(argc, argv);
    if (!parsed) return 2;
    const Options& options = *parsed;
    switch (options.action) {
    case Options::Action::Help:
        std::fputs(usage().c_str(), stdout);
        return 0;
    case Options::Action::Version:
        std::fputs(versionText().c_str(), stdout);
        return 0;
    case Options::Action::Resources:
        return printResources();
    case Options::Action::Settings:
        return runSettingsProgram(argv);
    case Options::Action::Render:
    case Options::Action::Window:
        break;
    }
    prepareProcess(options);
    return runSaver(options);
}
