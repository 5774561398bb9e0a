// zorvan: the mote swarm in a window, or rendered offscreen to a picture (or a video,
// through zorvan-record). The command line picks the form; the table of backends picks
// the window system that draws it; the frame driver runs the views on it.
#include "host/backends/Backends.h"
#include "host/cli/CommandLine.h"
#include "host/cli/Resources.h"
#include "host/cli/SettingsLauncher.h"
#include "host/driver/ErrorLine.h"
#include "host/driver/FrameDriver.h"
#include "host/driver/StopSignals.h"

#include <cstdio>

namespace {

using namespace zorvan::host;

// The form the options ask for, on the first backend that takes it. Returns the exit
// status.
int runSaver(const Options& options) {
    // Until the views are made (the logo decoding among it) nothing needs undoing: a stop
    // signal ends the process at once rather than after the start-up.
    StopSignals stop;
    stop.setExitAtOnce(true);
    std::unique_ptr<WindowSystem> system = openWindowSystem(options, stop);
    if (!system) {
        reportError("no window system for this form of the saver");
        return 2;
    }
    return FrameDriver(*system, options, &stop).run();
}

}  // namespace

int main(int argc, char** argv) {
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
    case Options::Action::Daemon:
        return runDaemonProgram(argv);
    case Options::Action::Lock:
        return runLockProgram(argv);
    case Options::Action::Render:
        if (options.recordPath) return runRecordProgram(argv);
        break;
    case Options::Action::Window:
        break;
    }
    prepareProcess(options);
    return runSaver(options);
}
