// What the tests of the program on the Wayland compositors check alike: a stop signal
// ends a run at once with 0, the compositor going away ends it with 1 and one line.
#pragma once

#include "support/HeadlessCompositor.h"
#include "support/HeadlessWlroots.h"

#include <string>
#include <vector>

namespace zorvan::test {

// How soon SIGTERM ends a run. At rest it takes 10 to 60 ms; beside compositors drawing
// through llvmpipe on two busy cores it has taken up to 0.19 s.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
constexpr double STOP_LIMIT = 1.0;  // the leak check at exit alone takes a few tenths
#else
constexpr double STOP_LIMIT = 0.25;
#endif
// Lit pixels that show motes on an output (the swarm lights thousands).
constexpr long MOTES = 1000;

void settle(double seconds);
// Whether the child `pid` has not ended (one that has is left to be waited for).
bool running(int pid);

// The program where the compositor's user may run it (as the clients of its session bus
// do): zorvan, the idle daemon and the resources copied into the compositor's own folder
// (the build tree may be closed to that user), laid out as installed; the program's path.
std::string installedIn(HeadlessCompositor& compositor);

// Starts the program with `args` and a fixed seed on `compositor`, its stderr in the file
// `err` of the compositor's folder when named.
int startZorvan(HeadlessCompositor& compositor, std::vector<std::string> args, const std::string& err = "");
// The compositor offers no idle protocol: swayidle, which would start the saver, quits.
void expectNoIdleProtocol(HeadlessCompositor& compositor);
// SIGTERM ends run `pid` at once with status 0.
void expectPromptStop(int pid, const std::string& form = "");
// Killing `compositor` under run `pid` ends it at once with 1 and one line on its
// stderr, the file `err` of the compositor's folder.
void expectEndsWithCompositor(HeadlessCompositor& compositor, int pid, const std::string& err);

// On a wlroots desktop: the saver covers both outputs, the scale-2 one at its full
// resolution (kept as test-shots/<name>-1.png and -2.png); a key, pointer motion beyond
// the slack (not within it) and a click each end it with 0, SIGTERM at once.
void expectSaverOnEveryOutputEndedByInput(HeadlessWlroots& desktop, const std::string& name);

}  // namespace zorvan::test
