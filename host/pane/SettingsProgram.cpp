// zorvan-settings: the settings pane, the one Zorvan program that loads GTK. `zorvan
// --settings` runs it with its own arguments.
#include "host/cli/CommandLine.h"
#include "host/driver/ErrorLine.h"
#include "host/pane/SettingsPane.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace zorvan::host;
    const std::optional<Options> options = parseCommandLine(argc, argv);
    if (!options) return 2;
    if (options->action != Options::Action::Settings) {
        reportError("zorvan-settings is the settings pane: run it as zorvan --settings");
        return 2;
    }
    prepareProcess(*options);
    return runSettings(*options);
}
