#include "support/HeadlessKwin.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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

}  // namespace

HeadlessKwin::HeadlessKwin(int width, int height, double scale) {
    if (!start(width, height, scale) && why_.empty()) why_ = "kwin did not start";
}

bool HeadlessKwin::start(int width, int height, double scale) {
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
    std::ostringstream size;
    size << scale;
    if (!launchOnBus({copy, "--virtual", "--width", std::to_string(width), "--height", std::to_string(height),
                      "--scale", size.str(), "--socket", "wayland-kwin", "--no-lockscreen", "--no-global-shortcuts",
                      "--no-kactivities"},
                     {"KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1"}, 20, "wayland-kwin"))
        return false;
    // The screenshot interface comes with the compositing, a moment after the socket.
    if (!waitFor([](const Shot&) { return true; }, 20)) {
        why_ = "kwin takes no pictures: " + error_ + "\n" + log();
        return false;
    }
    return true;
}

Shot HeadlessKwin::screenshot(const std::string& name) {
    return capture("CaptureActiveScreen", "{'native-resolution': <true>}", name);
}

Shot HeadlessKwin::windowShot(bool decoration, const std::string& name) {
    return capture("CaptureActiveWindow",
                   std::string("{'native-resolution': <true>, 'include-decoration': <") +
                       (decoration ? "true" : "false") + ">}",
                   name);
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
