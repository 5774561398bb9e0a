// The command line of `zorvan`.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zorvan::host {

// The largest side of a view, in window or offscreen.
inline constexpr int MAX_SIDE = 16384;

struct Options {
    enum class Action { Window, Render, Resources, Help, Settings };
    Action action = Action::Window;

    bool fullscreen = false;
    bool preview = false;
    std::optional<unsigned int> seed;  // srandom() before the view is made
    std::optional<int> mode;           // hold this motion mode, no schedule
    std::optional<std::string> prefsFile;

    // View size; nullopt means the default of the action (window 1280x720,
    // offscreen 800x600).
    std::optional<int> width, height;
    // Frames to run: offscreen 1 by default; in a window, quit after this many (none:
    // run until closed).
    std::optional<long> frames;

    std::string renderPath;                // --render
    std::optional<std::string> dumpPath;  // --dump-motes, with --render only
};

struct ParseResult {
    std::optional<Options> options;  // set on success
    std::string error;               // one line naming the problem, otherwise
};

// Parses the arguments after the program name. Never throws.
ParseResult parseOptions(const std::vector<std::string>& args);

// The text of --help.
std::string usage();

}  // namespace zorvan::host
