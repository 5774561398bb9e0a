// What both programs (zorvan and zorvan-settings) do first: read the command line, and
// set the process up from it before the first view is made.
#pragma once

#include "host/cli/Options.h"

#include <optional>

namespace zorvan::host {

// The options of the command line `argv`; none, with the error reported, for a
// malformed one (exit status 2).
std::optional<Options> parseCommandLine(int argc, char** argv);

// Process set-up that must come before the first view: the preference file override,
// the settings given for this run, and the seed of random() (the given one, or one
// from the clock).
void prepareProcess(const Options& options);

}  // namespace zorvan::host
