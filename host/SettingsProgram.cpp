// zorvan-settings: the settings pane, the one Zorvan program that loads GTK. `zorvan
// --settings` runs it with its own arguments.
#include "host/Host.h"
#include "host/Options.h"
#include "host/SettingsPane.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace zorvan::host;
    const ParseResult parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        reportError(parsed.error);
        return 2;
    }
    if (parsed.options->action != Options::Action::Settings) {
        reportError("zorvan-settings is the settings pane: run it as zorvan --settings");
        return 2;
    }
    prepareProcess(*parsed.options);
    return runSettings(*parsed.options);
}
