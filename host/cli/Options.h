// The command line of `zorvan`.
#pragma once

#include "platform/prefs/ScreenSaverDefaults.h"

#include <optional>
#include <string>
#include <vector>

namespace zorvan::host {

// The largest side of a view, in window or offscreen.
inline constexpr int MAX_SIDE = 16384;
// The most frames that --frames (or --seconds) runs.
inline constexpr long MAX_FRAMES = 1000000000L;
// The longest frame interval that --delay accepts, in microseconds (10 s).
inline constexpr long MAX_DELAY_US = 10000000L;

struct Options {
    // Daemon: --daemon, --activate or --deactivate, for the idle daemon program.
    // Lock: --lock, for the lock screen's program.
    enum class Action { Window, Render, Resources, Help, Version, Settings, Daemon, Lock };
    Action action = Action::Window;

    // Where a window run draws: a window of its own (--window, the default), the window
    // that a screen-saver daemon hands over in XSCREENSAVER_WINDOW or else the root
    // window (--root), or a given window (--window-id, which wins over --root).
    enum class Target { OwnWindow, Root, WindowId };
    Target target = Target::OwnWindow;
    unsigned long windowId = 0;  // with Target::WindowId

    bool fullscreen = false;
    // A live wallpaper: a surface on the background layer of every Wayland output.
    bool wallpaper = false;
    // One scene over every monitor or output (with --fullscreen or --wallpaper).
    bool span = false;
    // X11 even where a Wayland compositor answers.
    bool x11 = false;
    bool preview = false;  // also set by --window-id: a settings program's preview
    bool fps = false;      // draw the frame rate in a corner
    // The host's frame interval in microseconds; none: the view's own.
    std::optional<long> delayMicros;
    // How the frame rate follows the machine's power: auto (half on battery or with the
    // power-saver profile, none at a critical battery), save (always half) or full.
    enum class Power { Auto, Save, Full };
    Power power = Power::Auto;
    std::optional<unsigned int> seed;  // srandom() before the view is made
    std::optional<int> mode;           // hold this motion mode, no schedule
    std::optional<std::string> prefsFile;
    // Settings given for this run, as the store's keys and values, in the order given
    // (a later one replaces an earlier one). Read as if stored; never saved.
    ScreenSaverDefaults::Dictionary settings;

    // View size; nullopt means the default of the action (window 1280x720,
    // offscreen 800x600).
    std::optional<int> width, height;
    // Pixels per point of every view (--scale); none: each window chooses.
    std::optional<double> scale;
    // Frames to run: offscreen 1 by default; in a window, quit after this many (none:
    // run until closed).
    std::optional<long> frames;

    // --seconds: the frames to run as seconds of frames at the frame rate (as --frames).
    std::optional<double> seconds;

    std::string renderPath;                 // --render
    std::optional<std::string> recordPath;  // --record (then the action is Render too)
    int quality = 3;                        // --record's --quality, 1..5
    std::optional<std::string> dumpPath;    // --dump-motes, after the last frame
};

struct ParseResult {
    std::optional<Options> options;  // set on success
    std::string error;               // one line naming the problem, otherwise
};

// Parses the arguments after the program name. Every option may be written with one
// dash or two (-root, --root); a value follows as the next argument or after '='.
// Never throws.
ParseResult parseOptions(const std::vector<std::string>& args);

// Parses a window id as X programs write it: hex with 0x, or decimal. Zero is no
// window and is refused.
std::optional<unsigned long> parseWindowId(const std::string& text);

// The text of --help.
std::string usage();

// The text of --version.
std::string versionText();

}  // namespace zorvan::host
