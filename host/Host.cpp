#include "host/Host.h"

#include "platform/bundle/Bundle.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "saver/Zorvan.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

namespace zorvan::host {

namespace fs = std::filesystem;

void reportError(const std::string& message) {
    std::string line = "zorvan: " + message;
    // One line, whatever the message carries.
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::optional<Options> parseCommandLine(int argc, char** argv) {
    ParseResult parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) reportError(parsed.error);
    return std::move(parsed.options);
}

std::string noDisplayMessage(const std::string& purpose) {
    const char* name = std::getenv("DISPLAY");
    return "no X display " + purpose +
           (name && *name ? std::string(" (DISPLAY=") + name + ")" : std::string(" (DISPLAY is not set)"));
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

std::unique_ptr<Zorvan> makeView(OpenGLViewFactory makeGLView, Rect frame, bool isPreview,
                                 const Options& options, std::string& error) {
    // A view that declines to draw never asks for a GL view; one that asked and got none
    // would stay blank for its whole life, which is a failure to report, not a decline.
    auto glFailed = std::make_shared<bool>(false);  // the view keeps its factory
    auto factory = [glFailed, makeGLView = std::move(makeGLView)](
                       Rect frame, const OpenGLPixelFormat& format) -> std::unique_ptr<OpenGLView> {
        auto glView = makeGLView ? makeGLView(frame, format) : nullptr;
        *glFailed = !glView;
        return glView;
    };
    auto view = std::make_unique<Zorvan>(factory);
    if (!view->initWithFrame(frame, isPreview)) {
        error = "cannot create the saver view";
        return nullptr;
    }
    if (*glFailed) {
        error = "cannot create an OpenGL context for the view";
        return nullptr;
    }
    if (options.mode) {
        view->holdMode(*options.mode);
    }
    return view;
}

int runSettingsProgram(char** argv) {
    std::error_code ec;
    const fs::path program =
        fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "libexec" / "zorvan" / "zorvan-settings";
    // A stop signal that comes before the settings program has its handlers waits for
    // them (a blocked signal stays pending across exec); they unblock it.
    sigset_t stops;
    sigemptyset(&stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, s);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    argv[0] = const_cast<char*>(program.c_str());
    execv(program.c_str(), argv);
    const int error = errno;
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    reportError("cannot run the settings program " + program.string() + ": " + std::strerror(error));
    return 1;
}

int printResources() {
    const Bundle& bundle = Bundle::bundleForClass();
    const auto picture = bundle.pathForImageResource("zorvan.pict");
    const auto sheet = bundle.pathForResource("Zorvan.nib");
    std::printf("%s\n%s\n", picture ? picture->c_str() : "none", sheet ? sheet->c_str() : "none");
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace zorvan::host
