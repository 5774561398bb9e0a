#include "support/HeadlessKwin.h"

#include "support/XPixels.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace zorvan::test {

namespace {

const char SCREENSHOT[] = "org.kde.KWin.ScreenShot2";
const char SOCKET[] = "wayland-kwin";

// A number field of gdbus's printed reply, such as 'width': <uint32 1280>; -1 when absent.
long field(const std::string& reply, const std::string& name) {
    const std::string key = "'" + name + "': <";
    size_t at = reply.find(key);
    if (at == std::string::npos) return -1;
    at += key.size();
    if (reply.compare(at, 7, "uint32 ") == 0) at += 7;
    long value = -1;
    return std::sscanf(reply.c_str() + at, "%ld", &value) == 1 ? value : -1;
}

// An Xcursor file of one transparent pixel: a header, one table entry and one image.
std::string blankCursor() {
    std::string bytes = "Xcur";
    auto word = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes += char((v >> (8 * i)) & 0xff);
    };
    const uint32_t IMAGE = 0xfffd0002, SIZE = 24;
    for (uint32_t v : {16u, 0x10000u, 1u}) word(v);           // header size, version, entries
    for (uint32_t v : {IMAGE, SIZE, 28u}) word(v);            // the entry: type, size, position
    for (uint32_t v : {36u, IMAGE, SIZE, 1u, 1u, 1u, 0u, 0u, 0u, 0u}) word(v);  // the image, its pixel
    return bytes;
}

}  // namespace

HeadlessKwin::HeadlessKwin(int width, int height, double scale) : width_(width), height_(height), scale_(scale) {
    if (!start() && why_.empty()) why_ = "kwin did not start";
}

HeadlessKwin::~HeadlessKwin() {
    kill();  // KWin goes before its X server
}

bool HeadlessKwin::start() {
    const std::string kwin = onPath("kwin_wayland");
    if (!prepare("kwin", {"kwin_wayland", "dbus-run-session", "gdbus"})) return false;
    // Debian's binary carries a file capability, and exec fails with EPERM where the user
    // it runs as may not be granted it; a copy carries none.
    const std::string copy = file("kwin_wayland");
    std::error_code ec;
    if (!fs::copy_file(kwin, copy, ec) || chmod(copy.c_str(), 0755) != 0) {
        why_ = "cannot copy " + kwin + " to " + copy;
        return false;
    }
    if (!launchKwin()) return false;
    const std::string type = compositingType(20);
    if (type.empty()) {
        why_ = "kwin does not say how it composites: " + error_ + "\n" + log();
        return false;
    }
    if (type.rfind("gl", 0) == 0) {
        // The screenshot interface comes with the compositing, a moment after it.
        if (!waitFor([](const Shot&) { return true; }, 20)) {
            why_ = "kwin takes no pictures: " + error_ + "\n" + log();
            return false;
        }
        return true;
    }

    // No OpenGL, so no pictures from KWin: again, nested in an X server of the output's size.
    kill();
    display_.clear();
    for (const std::string& name : {std::string(SOCKET), std::string(SOCKET) + ".lock"}) fs::remove(runtime_ + "/" + name, ec);
    if (onPath("Xvfb").empty()) {
        why_ = "kwin composites with " + type + " here, so it takes no pictures, and Xvfb to nest it in is not installed";
        return false;
    }
    x_ = std::make_unique<TwoMonitorDisplay>(int(std::lround(width_ * scale_)), int(std::lround(height_ * scale_)));
    if (!x_->ok()) {
        why_ = x_->why();
        return false;
    }
    if (!launchKwin()) return false;
    if (compositingType(20).empty()) {
        why_ = "the nested kwin does not composite: " + error_ + "\n" + log();
        return false;
    }
    return true;
}

bool HeadlessKwin::launchKwin() {
    std::ostringstream scale;
    scale << scale_;
    const std::string connector = x_ ? "X11-0" : "Virtual-0";
    const std::string mode = "{\"width\": " + std::to_string(std::lround(width_ * scale_)) +
                             ", \"height\": " + std::to_string(std::lround(height_ * scale_)) +
                             ", \"refreshRate\": 60000}";
    // KWin 6 sets its outputs from this file alone; KWin 5 reads none.
    writeFile("home/.config/kwinoutputconfig.json",
              "[{\"name\": \"outputs\", \"data\": [{\"connectorName\": \"" + connector + "\", \"mode\": " + mode +
                  ", \"scale\": " + scale.str() +
                  "}]},\n"
                  " {\"name\": \"setups\", \"data\": [{\"lidClosed\": false, \"outputs\": [{\"enabled\": true, "
                  "\"outputIndex\": 0, \"position\": {\"x\": 0, \"y\": 0}, \"priority\": 0}]}]}]\n");
    // An invisible pointer: KWin 6.7 draws the pointer into its pictures whatever they
    // ask, and at scales above 1 stretched over much of the output.
    for (const char* name : {"default", "left_ptr"})
        writeFile(std::string("home/.local/share/icons/zorvan-blank/cursors/") + name, blankCursor());
    writeFile("home/.local/share/icons/zorvan-blank/index.theme", "[Icon Theme]\nName=zorvan-blank\n");
    writeFile("home/.config/kcminputrc", "[Mouse]\ncursorTheme=zorvan-blank\n");
    std::vector<std::string> command = {file("kwin_wayland")};
    if (x_) command.insert(command.end(), {"--x11-display", x_->name()});
    else command.push_back("--virtual");
    command.insert(command.end(), {"--width", std::to_string(width_), "--height", std::to_string(height_), "--scale",
                                   scale.str(), "--socket", SOCKET, "--no-lockscreen", "--no-global-shortcuts",
                                   "--no-kactivities"});
    // The scripts' print() goes to KWin's log, where activeWindow() reads it.
    std::vector<std::string> env = {"KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1", "QT_LOGGING_RULES=kwin_scripting=true",
                                    "XCURSOR_THEME=zorvan-blank", "XCURSOR_PATH=" + file("home/.local/share/icons")};
    if (x_) env.push_back("DISPLAY=" + x_->name());
    return launchOnBus(command, env, 20, SOCKET);
}

std::string HeadlessKwin::compositingType(double seconds) {
    std::string type;
    waitUntil(
        [&] {
            // "(<'gl2'>,)"
            const ProcessResult got = busCall({"--dest", "org.kde.KWin", "--object-path", "/Compositor", "--method",
                                               "org.freedesktop.DBus.Properties.Get", "org.kde.kwin.Compositing",
                                               "compositingType"});
            const size_t begin = got.out.find("<'"), end = got.out.find("'>");
            if (got.exitCode == 0 && begin != std::string::npos && end > begin)
                type = got.out.substr(begin + 2, end - begin - 2);
            if (type == "none") type.clear();
            return !type.empty() || !running();
        },
        seconds, 0.1);
    return type;
}

Shot HeadlessKwin::screenshot(const std::string& name) {
    if (!x_) return capture("CaptureActiveScreen", "{'native-resolution': <true>, 'include-cursor': <false>}", name);
    const Shot shot = readScreen(x_->display());
    if (shot.rgb.empty()) error_ = "cannot read the X server's screen";
    else if (!name.empty()) writeShot(shot, shotPath(name));
    return shot;
}

Shot HeadlessKwin::windowShot(bool decoration, const std::string& name) {
    if (!x_)
        return capture("CaptureActiveWindow",
                       std::string("{'native-resolution': <true>, 'include-cursor': <false>, 'include-decoration': <") +
                           (decoration ? "true" : "false") + ">}",
                       name);
    Box box;
    if (!activeWindow(decoration, box)) return {};
    const Shot window = part(screenshot(), box);
    if (window.rgb.empty()) error_ = "the active window is not on the output";
    else if (!name.empty()) writeShot(window, shotPath(name));
    return window;
}

bool HeadlessKwin::activeWindow(bool decoration, Box& box) {
    const std::string tag = "zorvan-window-" + std::to_string(++scripts_);
    const std::string script = writeFile(
        // Zorvan's window by its app id; else the active one (KWin 6.7 nested in an X server
        // leaves a new window inactive).
        tag + ".js", "const all = workspace.windowList ? workspace.windowList() : workspace.clientList();\n"
                     "const w = all.find(c => String(c.resourceClass) == 'zorvan') ||\n"
                     "          workspace.activeWindow || workspace.activeClient;\n"
                     "if (w) print('" + tag + "', w.frameGeometry.x, w.frameGeometry.y, w.frameGeometry.width,\n"
                     "              w.frameGeometry.height, w.clientGeometry.x, w.clientGeometry.y,\n"
                     "              w.clientGeometry.width, w.clientGeometry.height);\n"
                     "else print('" + tag + "', 'none');\n");
    const std::string scripting = "org.kde.kwin.Scripting";
    if (busCall({"--dest", "org.kde.KWin", "--object-path", "/Scripting", "--method", scripting + ".loadScript", script,
                 tag}).exitCode != 0 ||
        busCall({"--dest", "org.kde.KWin", "--object-path", "/Scripting", "--method", scripting + ".start"}).exitCode != 0)
        return false;
    // Its line in KWin's log: "js: zorvan-window-N x y width height x y width height".
    std::string line;
    waitUntil(
        [&] {
            const std::string said = log();
            const size_t at = said.find("js: " + tag + " ");
            if (at == std::string::npos) return false;
            line = said.substr(at, said.find('\n', at) - at);
            return true;
        },
        5, 0.05);
    busCall({"--dest", "org.kde.KWin", "--object-path", "/Scripting", "--method", scripting + ".unloadScript", tag});
    std::istringstream numbers(line.substr(line.find(tag) + tag.size()));
    double frame[4], client[4];
    for (double& v : frame) numbers >> v;
    for (double& v : client) numbers >> v;
    if (!numbers) {
        error_ = "kwin did not tell the active window's place: \"" + line + "\"";
        return false;
    }
    const double* r = decoration ? frame : client;
    auto pixel = [this](double v) { return size_t(std::lround(std::max(v, 0.0) * scale_)); };
    box = {pixel(r[0]), pixel(r[1]), pixel(r[0] + r[2]), pixel(r[1] + r[3])};
    return true;
}

Shot HeadlessKwin::capture(const std::string& method, const std::string& options, const std::string& name) {
    // KWin writes the raw pixels into a pipe whose end gdbus passes it by its number
    // (a handle argument), and answers with their size and layout.
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0) return {};
    fcntl(pipe[1], F_SETFD, 0);  // the write end goes with gdbus through exec
    ChildSetup setup;
    setup.outPath = file("gdbus.out");
    setup.errPath = file("gdbus.err");
    const int pid = startBusCall({"--dest", "org.kde.KWin", "--object-path", "/org/kde/KWin/ScreenShot2", "--method",
                                  std::string(SCREENSHOT) + "." + method, options, std::to_string(pipe[1])},
                                 setup);
    close(pipe[1]);
    std::string data;
    const auto deadline = deadlineIn(10);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{pipe[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) break;
        char buffer[1 << 16];
        const ssize_t n = read(pipe[0], buffer, sizeof buffer);
        if (n <= 0) break;  // the end: KWin and gdbus have both closed theirs
        data.append(buffer, size_t(n));
    }
    close(pipe[0]);
    const int status = pid > 0 ? waitProcess(pid, 10) : -1;
    const std::string reply = readFile(setup.outPath);
    const long width = field(reply, "width"), height = field(reply, "height"), stride = field(reply, "stride"),
               format = field(reply, "format");
    if (status != 0 || width <= 0 || height <= 0 || stride < width * 4 || size_t(stride * height) > data.size()) {
        error_ = method + " gave " + std::to_string(data.size()) + " bytes and: " + reply + readFile(setup.errPath);
        return {};
    }
    // QImage's 32-bit formats (RGB32, ARGB32 and its premultiplied form): B, G, R, A in
    // memory on a little-endian machine.
    if (format < 4 || format > 6) {
        error_ = method + " gave a picture of QImage format " + std::to_string(format);
        return {};
    }
    Shot shot;
    shot.width = size_t(width);
    shot.height = size_t(height);
    shot.rgb.resize(shot.width * shot.height * 3);
    for (size_t y = 0; y < shot.height; ++y)
        for (size_t x = 0; x < shot.width; ++x) {
            const auto* p = reinterpret_cast<const unsigned char*>(&data[y * size_t(stride) + x * 4]);
            unsigned char* q = &shot.rgb[(y * shot.width + x) * 3];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
    if (!name.empty()) writeShot(shot, shotPath(name));
    return shot;
}

}  // namespace zorvan::test
