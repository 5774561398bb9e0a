// The window systems this build has, and which one draws a form of the saver.
#pragma once

#include "host/cli/Options.h"
#include "host/driver/WindowSystem.h"

#include <memory>

namespace zorvan::host {

class StopSignals;

// The backend for the form the options ask for: the first row of the table that
// accepts the options and makes one. Null when none does.
std::unique_ptr<WindowSystem> openWindowSystem(const Options& options, StopSignals& stop);

}  // namespace zorvan::host
