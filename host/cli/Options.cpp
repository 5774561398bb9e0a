#include "host/cli/Options.h"

#include "host/cli/ColourText.h"
#include "host/record/VideoFormats.h"
#include "host/cli/OptionName.h"
#include "host/daemon/DaemonSettings.h"
#include "settings/SettingsTable.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace zorvan::host {

namespace {

// The longest --seconds: over eleven days of frames.
constexpr double MAX_SECONDS = 1000000.0;
// How long a recording runs when not told.
constexpr double DEFAULT_RECORD_SECONDS = 5.0;

// A plain decimal number of digits only (no sign, no blanks) up to `max`.
std::optional<uint64_t> parseCount(const std::string& text, uint64_t max) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}

// What the parse gathers besides the options themselves.
struct ParseState {
    Options options;
    bool render = false, record = false, quality = false, resources = false, help = false, version = false, settingsPane = false;
    bool ownWindow = false, root = false, windowId = false, power = false;
};

// Applies an option with its value (empty for a flag) as spelled on the command line;
// returns an error line, or nothing on success.
using Apply = std::optional<std::string> (*)(ParseState&, const std::string& spelled,
                                             const std::string& value);

// One option: its names without dashes, the placeholder of its value (null for a
// flag), the --help text (a '\n' starts a further line) and what it does: `apply`, or
// for a setting its row of the settings table (`off`: the flag that clears it).
struct OptionSpec {
    const char* name;
    const char* alias;  // a second name, or null
    const char* value;
    const char* help;
    Apply apply;
    const Setting* setting = nullptr;
    bool off = false;
};

// A flag that sets `Field` of the options.
template <bool Options::*Field>
std::optional<std::string> setFlag(ParseState& s, const std::string&, const std::string&) {
    s.options.*Field = true;
    return std::nullopt;
}

// Whole numbers from `min` (0 unless given) up to `max`, for the option spelled `spelled`.
std::optional<std::string> number(const std::string& spelled, const std::string& text,
                                  uint64_t max, uint64_t& out, uint64_t min = 0) {
    auto n = parseCount(text, max);
    if (!n || *n < min)
        return "bad " + spelled + " " + quoted(text) + ": want a whole number " + std::to_string(min) +
               ".." + std::to_string(max);
    out = *n;
    return std::nullopt;
}

using Value = ScreenSaverDefaults::Value;

// Which of `words` the value is (its index); an error line naming them otherwise.
std::optional<std::string> choice(const std::string& spelled, const std::string& text,
                                  const std::vector<const char*>& words, int& out) {
    int index = 0;
    std::string wanted;
    for (const char* word : words) {
        if (text == word) {
            out = index;
            return std::nullopt;
        }
        wanted += (index == 0 ? "" : index + 1 == int(words.size()) ? " or " : ", ");
        wanted += word;
        ++index;
    }
    return "bad " + spelled + " " + quoted(text) + ": want " + wanted;
}

// A setting for this run, read as if the store held it: the value as its row takes it.
std::optional<std::string> applySetting(ParseState& s, const OptionSpec& spec,
                                        const std::string& spelled, const std::string& text) {
    using namespace stored;
    const Setting& row = *spec.setting;
    const auto& k = row.keys;
    auto& out = s.options.settings;
    const auto bad = [&](const std::string& wanted) {
        return std::optional<std::string>("bad " + spelled + " " + quoted(text) + ": want " +
                                          wanted);
    };
    if (row.option.offName) {
        const bool on = !spec.off;
        const bool integer = std::holds_alternative<Integer>(row.stored);
        out.emplace_back(k[0], integer ? Value(int(on)) : Value(on));
        return std::nullopt;
    }
    if (!row.option.words.empty()) {
        int index = 0;
        if (auto error = choice(spelled, text, row.option.words, index)) return error;
        out.emplace_back(k[0], Value(index));
        return std::nullopt;
    }
    return std::visit(
        [&](const auto& stored) -> std::optional<std::string> {
            using Row = std::decay_t<decltype(stored)>;
            if constexpr (std::is_same_v<Row, Integer>) {
                // Held to the range that loading the store keeps.
                auto n = parseCount(text, uint64_t(INT_MAX));
                if (!n || static_cast<long long>(*n) < stored.min || *n > uint64_t(stored.max))
                    return bad("a whole number " + std::to_string(stored.min) + ".." +
                               std::to_string(stored.max));
                out.emplace_back(k[0], Value(static_cast<int>(*n)));
            } else if constexpr (std::is_same_v<Row, Float>) {
                float value = 0.0f;
                const char* end = text.data() + text.size();
                const auto [stop, ec] = std::from_chars(text.data(), end, value);
                if (ec != std::errc() || stop != end || !std::isfinite(value))
                    return bad("a decimal number such as " +
                               ScreenSaverDefaults::formatFloat(stored.byDefault));
                out.emplace_back(k[0], Value(value));
            } else if constexpr (std::is_same_v<Row, Rgb>) {
                auto c = parseColourText(text);
                if (!c) return bad("an opaque colour, #rrggbb or a name such as navy");
                out.emplace_back(k[0], Value(c->r));
                out.emplace_back(k[1], Value(c->g));
                out.emplace_back(k[2], Value(c->b));
            } else if constexpr (std::is_same_v<Row, Logo>) {
                if (text == "default" || text == "none") {
                    out.emplace_back(k[0], Value(text == "default" ? 0 : 1));
                    return std::nullopt;
                }
                // The file is not looked at here: one that has gone or is no picture warns
                // when the view loads it and the saver draws all the same, as for a stored one.
                namespace fs = std::filesystem;
                std::error_code ec;
                const fs::path path = text.empty() ? fs::path() : fs::absolute(text, ec);
                if (ec || path.empty()) return bad("default, none or a picture file");
                out.emplace_back(k[0], Value(2));
                out.emplace_back(k[1], Value(path.lexically_normal().string()));
            }
            // A bool is a pair of flags, taken above.
            return std::nullopt;
        },
        row.stored);
}

static_assert(MAX_SIDE == 16384 && MAX_DELAY_US == 10000000L, "the --help text names the limits");

// The program's own options, in the order --help lists them; the settings for one run
// come from the settings table, in the place of the empty row.
const OptionSpec OPTIONS[] = {
    {"window", nullptr, nullptr, "draw in a window of its own (the default)",
     [](ParseState& s, const std::string&, const std::string&) -> std::optional<std::string> {
         s.ownWindow = true;
         return std::nullopt;
     }},
    {"root", nullptr, nullptr,
     "draw on the window that a screen-saver daemon hands over\n"
     "in XSCREENSAVER_WINDOW, else on the root window",
     [](ParseState& s, const std::string&, const std::string&) -> std::optional<std::string> {
         s.root = true;
         return std::nullopt;
     }},
    {"window-id", nullptr, "ID",
     "draw on the window ID (hex 0x... or decimal) as the small\n"
     "preview, as a settings program asks; wins over --root",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         auto id = parseWindowId(text);
         if (!id) return "bad " + spelled + " " + quoted(text) + ": want a window id, hex 0x... or decimal";
         s.windowId = true;
         s.options.windowId = *id;
         return std::nullopt;
     }},
    {"fullscreen", nullptr, nullptr,
     "cover every monitor, one borderless window and view each\n"
     "(on Wayland, an overlay surface); any key, button or pointer\n"
     "motion ends the run",
     setFlag<&Options::fullscreen>},
    {"wallpaper", nullptr, nullptr,
     "on Wayland, a live wallpaper under the windows on every\n"
     "output, taking no input, until a stop signal",
     setFlag<&Options::wallpaper>},
    {"span", nullptr, nullptr,
     "with --fullscreen, --wallpaper or --daemon: one scene over\n"
     "every monitor or output, each showing its part of the box\n"
     "around them all (--main-screen-only has no meaning with it)",
     setFlag<&Options::span>},
    {"x11", nullptr, nullptr, "use the X display even in a Wayland session",
     setFlag<&Options::x11>},
    {"fps", nullptr, nullptr, "show the frame rate and the CPU time per frame in a corner",
     setFlag<&Options::fps>},
    {"delay", nullptr, "N",
     "frame interval in microseconds, 0..10000000 (default: the\n"
     "view's own, 1/60 s)",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         uint64_t n = 0;
         if (auto error = number(spelled, text, MAX_DELAY_US, n)) return error;
         s.options.delayMicros = static_cast<long>(n);
         return std::nullopt;
     }},
    {"power", nullptr, "MODE",
     "auto: half the frame rate on battery or in power-saver\n"
     "mode, no new frames at a critical battery (the default);\n"
     "save: always half; full: never slower",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         int index = 0;
         if (auto error = choice(spelled, text, {"auto", "save", "full"}, index)) return error;
         s.power = true;
         s.options.power = static_cast<Options::Power>(index);
         return std::nullopt;
     }},
    {"render", nullptr, "FILE",
     "render offscreen (no display needed) and write the last\n"
     "frame to FILE as PNG",
     [](ParseState& s, const std::string&, const std::string& file) -> std::optional<std::string> {
         s.render = true;
         s.options.renderPath = file;
         return std::nullopt;
     }},
    {"record", nullptr, "FILE",
     "render offscreen and write every frame to FILE as a video;\n"
     "its extension picks the format: .mp4 (H.264), .webm (VP9),\n"
     ".webp (animated WebP), .gif or .mkv (FFV1, lossless). The\n"
     "frame rate is 60 a second, or 1000000 / --delay; 5 seconds\n"
     "unless --frames or --seconds say otherwise",
     [](ParseState& s, const std::string&, const std::string& file) -> std::optional<std::string> {
         if (!videoFormatFor(file))
             return "cannot record to " + quoted(file) + ": the extension picks the format, one of " +
                    videoExtensions();
         s.record = true;
         s.options.recordPath = file;
         return std::nullopt;
     }},
    {"quality", nullptr, "N",
     "with --record: 1 (smallest file) .. 5 (nearest the\n"
     "frames), 3 by default; .mkv is always lossless",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         uint64_t n = 0;
         if (auto error = number(spelled, text, MAX_QUALITY, n, MIN_QUALITY)) return error;
         s.quality = true;
         s.options.quality = static_cast<int>(n);
         return std::nullopt;
     }},
    {"size", nullptr, "WxH",
     "view size in pixels, each side 1..16384 (window 1280x720,\n"
     "--render and --record 800x600 by default)",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         const size_t x = text.find('x');
         std::optional<uint64_t> w, h;
         if (x != std::string::npos) {
             w = parseCount(text.substr(0, x), MAX_SIDE);
             h = parseCount(text.substr(x + 1), MAX_SIDE);
         }
         if (!w || !h || *w == 0 || *h == 0)
             return "bad " + spelled + " " + quoted(text) + ": want WxH with whole numbers 1.." +
                    std::to_string(MAX_SIDE);
         s.options.width = static_cast<int>(*w);
         s.options.height = static_cast<int>(*h);
         return std::nullopt;
     }},
    {"scale", nullptr, "N",
     "pixels per point, 1..4, whole or not (1.5): the scene of\n"
     "a screen 1/N the size at full resolution (default: 2 on\n"
     "windows over 2560 pixels wide or tall, else 1; on Wayland\n"
     "the output's scale; --render and previews 1)",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         double n = 0.0;
         const char* end = text.data() + text.size();
         const auto [stop, ec] = std::from_chars(text.data(), end, n, std::chars_format::fixed);
         if (ec != std::errc() || stop != end || !(n >= 1.0 && n <= 4.0))
             return "bad " + spelled + " " + quoted(text) + ": want a number 1..4 such as 2 or 1.5";
         s.options.scale = n;
         return std::nullopt;
     }},
    {"frames", nullptr, "N",
     "frames to run: with --render 1 by default; in a window,\n"
     "quit after N frames (default: run until closed)",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         uint64_t n = 0;
         if (auto error = number(spelled, text, MAX_FRAMES, n)) return error;
         s.options.frames = static_cast<long>(n);
         return std::nullopt;
     }},
    {"seconds", nullptr, "S",
     "as --frames, in seconds of frames at the frame rate: with\n"
     "--record 2.5 is 150 frames (a decimal number over 0)",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         double n = 0.0;
         const char* end = text.data() + text.size();
         const auto [stop, ec] = std::from_chars(text.data(), end, n, std::chars_format::fixed);
         if (ec != std::errc() || stop != end || !(n > 0.0 && n <= MAX_SECONDS))
             return "bad " + spelled + " " + quoted(text) + ": want a number of seconds over 0, up to 1000000";
         s.options.seconds = n;
         return std::nullopt;
     }},
    {"dump-motes", nullptr, "FILE",
     "write the motion mode, the schedule, the field vectors\n"
     "and every live mote after the last frame (of --render, or\n"
     "of --frames N in a window, full screen or wallpaper)",
     [](ParseState& s, const std::string&, const std::string& file) -> std::optional<std::string> {
         s.options.dumpPath = file;
         return std::nullopt;
     }},
    {"preview", nullptr, nullptr, "run as the small preview instance",
     setFlag<&Options::preview>},
    {"seed", nullptr, "N", "seed the random numbers with N (default: the clock)",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         uint64_t n = 0;
         if (auto error = number(spelled, text, UINT_MAX, n)) return error;
         s.options.seed = static_cast<unsigned int>(n);
         return std::nullopt;
     }},
    {"mode", nullptr, "N",
     "hold motion mode N (0 flow, 1 three leaders, 2 gather,\n"
     "3 coast, 4 swirl, 5 scatter, 6 two leaders); the mode\n"
     "schedule is switched off",
     [](ParseState& s, const std::string& spelled, const std::string& text) -> std::optional<std::string> {
         uint64_t n = 0;
         if (auto error = number(spelled, text, 6, n)) return error;
         s.options.mode = static_cast<int>(n);
         return std::nullopt;
     }},
    {"prefs", nullptr, "FILE", "read the settings from FILE instead of the usual place",
     [](ParseState& s, const std::string&, const std::string& file) -> std::optional<std::string> {
         s.options.prefsFile = file;
         return std::nullopt;
     }},
    // Here --help lists the settings for one run, from the settings table.
    {nullptr, nullptr, nullptr, nullptr, nullptr},
    {"resources", nullptr, nullptr,
     "print the paths of the picture \"zorvan.pict\" and the\n"
     "sheet \"Zorvan.nib\" (\"none\" when missing) and exit",
     [](ParseState& s, const std::string&, const std::string&) -> std::optional<std::string> {
         s.resources = true;
         return std::nullopt;
     }},
    {"settings", nullptr, nullptr,
     "open the settings pane: a live preview and the Options…\n"
     "button that edits the settings",
     [](ParseState& s, const std::string&, const std::string&) -> std::optional<std::string> {
         s.settingsPane = true;
         return std::nullopt;
     }},
    {"lock", nullptr, nullptr,
     "lock the session until the user's password is typed, where\n"
     "the Wayland compositor offers the session lock, the swarm\n"
     "behind the prompt; only --span goes with it",
     // Taken before the others are read (parseOptions).
     [](ParseState&, const std::string&, const std::string&) -> std::optional<std::string> { return std::nullopt; }},
    {"help", "h", nullptr, "show this help and exit",
     [](ParseState& s, const std::string&, const std::string&) -> std::optional<std::string> {
         s.help = true;
         return std::nullopt;
     }},
    {"version", nullptr, nullptr, "print the version and exit",
     [](ParseState& s, const std::string&, const std::string&) -> std::optional<std::string> {
         s.version = true;
         return std::nullopt;
     }},
};

// The options in the order --help lists them: the settings from the table in the
// place of the empty row.
const std::vector<OptionSpec>& options() {
    static const std::vector<OptionSpec> all = [] {
        std::vector<OptionSpec> list;
        for (const OptionSpec& spec : OPTIONS) {
            if (spec.name) {
                list.push_back(spec);
                continue;
            }
            for (const Setting& row : settingsTable()) {
                const SettingOption& o = row.option;
                list.push_back({o.name, nullptr, o.value, o.help, nullptr, &row});
                if (o.offName) list.push_back({o.offName, nullptr, nullptr, o.offHelp, nullptr, &row, true});
            }
        }
        return list;
    }();
    return all;
}

// The option that `name` (dashes and any '=value' removed) names, or null.
const OptionSpec* findOption(const std::string& name) {
    for (const OptionSpec& spec : options())
        if (name == spec.name || (spec.alias && name == spec.alias)) return &spec;
    return nullptr;
}

// The checks between options, once all are read.
std::optional<std::string> checkCombination(ParseState& s) {
    Options& o = s.options;
    addDefaultColours(o.settings);
    if (s.windowId) o.target = Options::Target::WindowId;
    else if (s.root) o.target = Options::Target::Root;
    const char* given = s.windowId ? "--window-id" : s.root ? "--root" : nullptr;

    if (s.help) {
        o.action = Options::Action::Help;
        return std::nullopt;
    }
    if (s.version) {
        o.action = Options::Action::Version;
        return std::nullopt;
    }
    if (s.resources) {
        o.action = Options::Action::Resources;
        return std::nullopt;
    }
    if (s.settingsPane) {
        o.action = Options::Action::Settings;
        // The pane makes its own window and preview; only the settings file, the seed
        // and a held mode carry over.
        if (s.render || s.record || given || s.ownWindow || o.fullscreen || o.wallpaper || o.span || o.x11 ||
            o.fps || o.delayMicros || s.power || o.width || o.frames || o.seconds || o.dumpPath || s.quality)
            return std::string("--settings opens its own window; it takes only --prefs, --seed and --mode");
        // The pane edits and saves the stored settings: values for one run only would
        // end up saved by its sheet.
        if (!o.settings.empty())
            return std::string("--settings edits the stored settings; settings for one run cannot go with it");
        return std::nullopt;
    }
    if (o.frames && o.seconds) return "--frames and --seconds cannot go together: both say how long to run";
    if (o.seconds && o.delayMicros == 0L) return "--seconds needs a frame rate, which --delay 0 does not have";
    if (s.quality && !s.record) return "--quality goes with --record";
    if (s.render && s.record) return "--render and --record cannot go together";
    if (s.render || s.record) {
        o.action = Options::Action::Render;
        const char* offscreen = s.record ? "--record" : "--render";
        const char* windowOnly = o.fullscreen ? "--fullscreen" : o.wallpaper ? "--wallpaper"
                                 : o.span                          ? "--span"
                                 : o.x11                           ? "--x11"
                                 : given                           ? given
                                 : s.ownWindow                     ? "--window"
                                 : o.fps                           ? "--fps"
                                 : o.delayMicros && !s.record      ? "--delay"
                                                                   : nullptr;
        if (windowOnly) return std::string(windowOnly) + " needs a window; it cannot go with " + offscreen;
        if (s.record && !o.frames && !o.seconds) o.seconds = DEFAULT_RECORD_SECONDS;
        // A recording's frame rate is 1000000 / --delay.
        if (o.delayMicros == 0L) return std::string("--delay 0 gives a recording no frame rate: want 1..") +
                                        std::to_string(MAX_DELAY_US);
        return std::nullopt;
    }
    o.action = Options::Action::Window;
    if (o.dumpPath && !o.frames && !o.seconds)
        return "--dump-motes in a window needs --frames N or --seconds S: it is written after the last frame";
    // Under a screen-saver daemon each monitor's window gets a process of its own.
    if (o.span && given)
        return std::string("--span cannot go with ") + given +
               (s.windowId ? ": that window is one view" : ": under a screen-saver daemon each monitor has a process of its own");
    if (o.span && !o.fullscreen && !o.wallpaper) return "--span needs --fullscreen or --wallpaper";
    if (given && s.ownWindow) return std::string("--window and ") + given + " cannot go together";
    if (given && o.fullscreen) return std::string("--fullscreen and ") + given + " cannot go together";
    if (given && o.width)
        return std::string("--size cannot go with ") + given + ": that window has its own size";
    if (o.fullscreen && o.width) return "--size and --fullscreen cannot go together";
    if (o.wallpaper) {
        const char* other = o.fullscreen ? "--fullscreen" : given ? given : s.ownWindow ? "--window"
                            : o.width ? "--size" : o.x11 ? "--x11" : nullptr;
        if (other) return std::string("--wallpaper and ") + other + " cannot go together";
    }
    // A window handed over by id is a settings program's preview.
    if (s.windowId) o.preview = true;
    return std::nullopt;
}

}  // namespace

std::optional<unsigned long> parseWindowId(const std::string& text) {
    std::optional<uint64_t> id;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (text.size() > 2 + 8) return std::nullopt;
        uint64_t value = 0;
        for (size_t i = 2; i < text.size(); ++i) {
            const char c = text[i];
            int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<uint64_t>(digit);
        }
        id = value;
    } else {
        id = parseCount(text, UINT32_MAX);
    }
    if (!id || *id == 0) return std::nullopt;
    return static_cast<unsigned long>(*id);
}

std::string usage() {
    std::string text =
        "Usage: zorvan [OPTION]...\n"
        "Shows the Zorvan mote swarm in a window, on every monitor, on a window that a\n"
        "screen-saver daemon hands over, as a Wayland wallpaper, or renders it offscreen\n"
        "to a PNG picture or a video. In a Wayland session (WAYLAND_DISPLAY) it draws as\n"
        "a Wayland client.\n"
        "\n";
    // One option's lines: its spelling, then its help from COLUMN on.
    static constexpr size_t COLUMN = 22;
    const auto list = [&text](const char* name, const char* alias, const char* value, const char* help) {
        std::string head = "  --" + std::string(name);
        if (alias) head = "  -" + std::string(alias) + ", --" + name;
        if (value) head += " " + std::string(value);
        head.resize(std::max(head.size() + 2, COLUMN), ' ');
        text += head;
        for (const char* c = help; *c; ++c) {
            text += *c;
            if (*c == '\n') text += std::string(COLUMN, ' ');
        }
        text += '\n';
    };
    std::string firstSetting, lastSetting;
    for (const OptionSpec& spec : options()) {
        if (spec.setting) {
            if (firstSetting.empty()) firstSetting = spec.name;
            lastSetting = spec.name;
        }
        list(spec.name, spec.alias, spec.value, spec.help);
    }
    text += "\nZorvan as the session's screen saver (GNOME, KDE Plasma, sway, X11):\n";
    for (const daemon::DaemonOption& o : daemon::daemonOptions()) list(o.name, nullptr, o.value, o.help);
    text +=
        "The daemon keeps its settings beside the saver's; SIGHUP makes it read them again.\n";
    text +=
        "\nThe options from --" + firstSetting + " to --" + lastSetting +
        " change the saved settings for this\n"
        "run only; they are never saved. Every option may also be written with one\n"
        "dash (-root, -window-id 0x2a00007); a value may follow '=' (--size=800x600).\n"
        "In a window, Esc or q quits.\n"
        "SIGTERM, SIGINT and SIGHUP end a run; a recording keeps the frames so far.\n"
        "Exit status: 0 done, 1 failure while running, 2 bad arguments or no display.\n";
    return text;
}

std::string versionText() { return std::string("zorvan ") + ZORVAN_VERSION + "\n"; }

ParseResult parseOptions(const std::vector<std::string>& args) {
    ParseState state;
    auto fail = [](std::string message) { return ParseResult{std::nullopt, std::move(message)}; };

    // The idle daemon's command lines are the daemon program's to read; checked here too,
    // so that a mistake is told before the program changes.
    for (const std::string& arg : args) {
        if (!daemon::namesDaemonAction(optionName(arg))) continue;
        const daemon::DaemonParse daemonParse = daemon::parseDaemonCommandLine(args);
        if (!daemonParse.command) return fail(daemonParse.error);
        state.options.action = Options::Action::Daemon;
        return ParseResult{state.options, {}};
    }

    // The lock screen is a program of its own, and nothing changes how it locks: it
    // draws the stored settings, over every output or (--span) as one scene.
    for (const std::string& arg : args) {
        if (optionName(arg) != "lock") continue;
        const auto spans = std::count_if(args.begin(), args.end(), [](const std::string& other) {
            return optionName(other) == "span" && other.find('=') == std::string::npos;
        });
        if (spans > 1 || args.size() != size_t(1 + spans))
            return fail("--lock goes alone (or with --span): the lock screen takes no other option");
        state.options.action = Options::Action::Lock;
        state.options.span = spans == 1;
        return ParseResult{state.options, {}};
    }

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::string name = optionName(arg);
        if (name.empty()) return fail("unexpected argument " + quoted(arg) + " (see --help)");
        const OptionSpec* spec = findOption(name);
        if (!spec && daemon::isDaemonOption(name)) return fail(arg.substr(0, arg.find('=')) + " goes with --daemon only");
        if (!spec) return fail("unknown option " + quoted(arg) + " (see --help)");

        const size_t eq = arg.find('=');
        const std::string spelled = arg.substr(0, eq);
        std::string value;
        if (!spec->value) {
            if (eq != std::string::npos) return fail(spelled + " takes no value");
        } else if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size() && !findOption(optionName(args[i + 1]))) {
            // The next argument, unless it is itself an option.
            value = args[++i];
        } else {
            return fail(spelled + " needs a value " + spec->value);
        }
        if (spec->value && value.empty()) return fail(spelled + " needs a value " + spec->value);
        auto error = spec->setting ? applySetting(state, *spec, spelled, value)
                                   : spec->apply(state, spelled, value);
        if (error) return fail(*error);
    }

    if (auto error = checkCombination(state)) return fail(*error);
    return ParseResult{state.options, {}};
}

}  // namespace zorvan::host
