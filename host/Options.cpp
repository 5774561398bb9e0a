#include "host/Options.h"

#include <climits>
#include <cstdint>

namespace zorvan::host {

namespace {

constexpr long MAX_FRAMES = 1000000000L;

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

// An argument quoted for an error line; control characters (a newline, an escape) are
// shown as \xNN so the message stays one plain line.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "'";
}

}  // namespace

std::string usage() {
    return "Usage: zorvan [OPTION]...\n"
           "Shows the Zorvan mote swarm in a window, or renders it to a PNG picture.\n"
           "\n"
           "  --fullscreen        cover the whole screen with a borderless window\n"
           "  --render FILE       render offscreen (no display needed) and write the last\n"
           "                      frame to FILE as PNG\n"
           "  --size WxH          view size in pixels, each side 1.." +
           std::to_string(MAX_SIDE) +
           " (window 1280x720,\n"
           "                      --render 800x600 by default)\n"
           "  --frames N          frames to run: with --render 1 by default; in a window,\n"
           "                      quit after N frames (default: run until closed)\n"
           "  --dump-motes FILE   with --render: write the motion mode, the schedule, the\n"
           "                      field vectors and every live mote after the last frame\n"
           "  --preview           run as the small preview instance\n"
           "  --seed N            seed the random numbers with N (default: the clock)\n"
           "  --mode N            hold motion mode N (0 flow, 1 three leaders, 2 gather,\n"
           "                      3 coast, 4 swirl, 5 scatter, 6 two leaders); the mode\n"
           "                      schedule is switched off\n"
           "  --prefs FILE        read the settings from FILE instead of the usual place\n"
           "  --resources         print the paths of the picture \"zorvan.pict\" and the\n"
           "                      sheet \"Zorvan.nib\" (\"none\" when missing) and exit\n"
           "  --help              show this help and exit\n"
           "\n"
           "In a window, Esc or q quits. Exit status: 0 done, 1 failure while running,\n"
           "2 bad arguments or no display.\n";
}

ParseResult parseOptions(const std::vector<std::string>& args) {
    Options options;
    bool render = false, resources = false, help = false;
    auto fail = [](std::string message) { return ParseResult{std::nullopt, std::move(message)}; };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) == 0) {
            const size_t eq = name.find('=');
            if (eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
            }
        }

        auto flag = [&](bool& target) -> bool {
            if (inlineValue) return false;
            target = true;
            return true;
        };
        // The option's value: after '=' or the next argument (never another option).
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) return args[++i];
            return std::nullopt;
        };

        if (name == "--help" || name == "-h") {
            if (!flag(help)) return fail(name + " takes no value");
        } else if (name == "--fullscreen") {
            if (!flag(options.fullscreen)) return fail(name + " takes no value");
        } else if (name == "--preview") {
            if (!flag(options.preview)) return fail(name + " takes no value");
        } else if (name == "--resources") {
            if (!flag(resources)) return fail(name + " takes no value");
        } else if (name == "--render" || name == "--dump-motes" || name == "--prefs") {
            auto file = value();
            if (!file || file->empty()) return fail(name + " needs a file name");
            if (name == "--render") {
                render = true;
                options.renderPath = *file;
            } else if (name == "--dump-motes") {
                options.dumpPath = *file;
            } else {
                options.prefsFile = *file;
            }
        } else if (name == "--size") {
            auto text = value();
            if (!text) return fail("--size needs a value WxH, e.g. 800x600");
            const size_t x = text->find('x');
            std::optional<uint64_t> w, h;
            if (x != std::string::npos) {
                w = parseCount(text->substr(0, x), MAX_SIDE);
                h = parseCount(text->substr(x + 1), MAX_SIDE);
            }
            if (!w || !h || *w == 0 || *h == 0)
                return fail("bad --size " + quoted(*text) + ": want WxH with whole numbers 1.." +
                            std::to_string(MAX_SIDE));
            options.width = static_cast<int>(*w);
            options.height = static_cast<int>(*h);
        } else if (name == "--frames" || name == "--seed" || name == "--mode") {
            // Whole numbers from 0 up to each option's own limit.
            const uint64_t max = name == "--frames" ? MAX_FRAMES : name == "--seed" ? UINT_MAX : 6;
            auto text = value();
            if (!text) return fail(name + " needs a number 0.." + std::to_string(max));
            auto n = parseCount(*text, max);
            if (!n)
                return fail("bad " + name + " " + quoted(*text) + ": want a whole number 0.." +
                            std::to_string(max));
            if (name == "--frames") options.frames = static_cast<long>(*n);
            else if (name == "--seed") options.seed = static_cast<unsigned int>(*n);
            else options.mode = static_cast<int>(*n);
        } else if (name.rfind("-", 0) == 0) {
            return fail("unknown option " + quoted(args[i]) + " (see --help)");
        } else {
            return fail("unexpected argument " + quoted(args[i]) + " (see --help)");
        }
    }

    if (help) {
        options.action = Options::Action::Help;
    } else if (resources) {
        options.action = Options::Action::Resources;
    } else if (render) {
        options.action = Options::Action::Render;
        if (options.fullscreen) return fail("--fullscreen needs a window; it cannot go with --render");
    } else {
        options.action = Options::Action::Window;
        if (options.dumpPath) return fail("--dump-motes needs --render");
        if (options.fullscreen && options.width)
            return fail("--size and --fullscreen cannot go together");
    }
    return ParseResult{options, {}};
}

}  // namespace zorvan::host
