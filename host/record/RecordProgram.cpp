// zorvan-record: `zorvan --record` becomes this program, so that only a recording loads
// FFmpeg's libraries (and what they load: cairo, pango and more); the saver stays lean.
// The command line is zorvan's own.
#include "host/cli/CommandLine.h"
#include "host/driver/ErrorLine.h"
#include "host/driver/FrameDriver.h"
#include "host/driver/StopSignals.h"
#include "host/record/RecordBackend.h"

using namespace zorvan::host;

int main(int argc, char** argv) {
    // Until the view is made (the logo decoding among it) a stop signal ends the process
    // at once: nothing is written yet.
    StopSignals stop;
    stop.setExitAtOnce(true);
    const std::optional<Options> parsed = parseCommandLine(argc, argv);
    if (!parsed) return 2;
    const Options& options = *parsed;
    if (options.action != Options::Action::Render || !options.recordPath) {
        reportError("zorvan-record writes videos: it takes zorvan's command line with --record FILE");
        return 2;
    }
    prepareProcess(options);
    std::unique_ptr<WindowSystem> system = makeRecordBackend(options);
    return FrameDriver(*system, options, &stop).run();
}
