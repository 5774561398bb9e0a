#include "support/HeadlessSway.h"

#include <Magick++.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace zorvan::test {

namespace {

#ifdef ZORVAN_TEST_POINTER
const char POINTER[] = ZORVAN_TEST_POINTER;
#else
const char POINTER[] = "";
#endif

const char SETPRIV[] = "/usr/bin/setpriv";

// HEADLESS-2 only comes with create_output, and takes its settings from here then.
// Without a background sway paints the outputs grey; swaynag would open on errors.
const char CONFIG[] =
    "xwayland disable\n"
    "swaynag_command -\n"
    "output * bg #000000 solid_color\n"
    "output HEADLESS-1 mode 1280x720 position 0 0 scale 1\n"
    "output HEADLESS-2 mode 800x600 position 1280 0 scale 2\n";

std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    return "";
}

Clock::time_point after(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

}  // namespace

Shot readShot(const std::string& picture) {
    Shot shot;
    try {
        Magick::Image image(picture);
        shot.width = image.columns();
        shot.height = image.rows();
        shot.rgb.resize(shot.width * shot.height * 3);
        image.write(0, 0, shot.width, shot.height, "RGB", Magick::CharPixel, shot.rgb.data());
    } catch (const Magick::Exception&) {
        return {};
    }
    return shot;
}

long litPixels(const std::string& picture) {
    const Shot shot = readShot(picture);
    if (shot.rgb.empty()) return -1;
    long lit = 0;
    for (size_t i = 0; i < shot.rgb.size(); i += 3) lit += shot.rgb[i] || shot.rgb[i + 1] || shot.rgb[i + 2];
    return lit;
}

HeadlessSway::HeadlessSway() {
    if (!start() && why_.empty()) why_ = "sway did not start";
    if (!why_.empty() && sway_ > 0) why_ += "\n" + log();
}

bool HeadlessSway::start() {
    for (const char* tool : {"sway", "swaymsg", "swaybg", "grim", "wtype"})
        if (onPath(tool).empty()) {
            why_ = std::string(tool) + " is not installed";
            return false;
        }
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (uid == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody || access(SETPRIV, X_OK) != 0) {
            why_ = "running as root without a nobody user or setpriv to drop to";
            return false;
        }
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
    }

    std::string pattern = (fs::temp_directory_path() / "zorvan-sway-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        why_ = "no temporary folder";
        return false;
    }
    dir_ = pattern;
    runtime_ = dir_ + "/runtime";
    const std::string home = dir_ + "/home", config = dir_ + "/config";
    std::ofstream(config) << CONFIG;
    if (mkdir(runtime_.c_str(), 0700) != 0 || mkdir(home.c_str(), 0700) != 0 ||
        (uid != getuid() && (chown(dir_.c_str(), uid, gid) != 0 || chown(runtime_.c_str(), uid, gid) != 0 ||
                             chown(home.c_str(), uid, gid) != 0 || chown(config.c_str(), uid, gid) != 0))) {
        why_ = "cannot set up " + dir_;
        return false;
    }

    ChildSetup setup;
    setup.ownGroup = true;  // sway and the swaybg it starts end together
    setup.outPath = setup.errPath = dir_ + "/sway.log";
    setup.emptyEnv = true;
    const char* path = std::getenv("PATH");
    setup.env = {"PATH=" + std::string(path ? path : "/usr/bin:/bin"), "HOME=" + home,
                 "XDG_CONFIG_HOME=" + home + "/.config", "XDG_RUNTIME_DIR=" + runtime_,
                 "WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"};
    if (uid != getuid())
        // A change of user clears the parent death signal: setpriv sets it again.
        sway_ = spawnProcess(SETPRIV, {"--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid),
                                       "--clear-groups", "--pdeathsig=KILL", "sway", "-c", config},
                             setup);
    else
        sway_ = spawnProcess("sway", {"-c", config}, setup);
    if (sway_ < 0) return false;

    // The Wayland socket comes first, the IPC one once sway has read its config.
    const auto deadline = after(15);
    while (socket_.empty()) {
        if (waitpid(sway_, nullptr, WNOHANG) == sway_) {
            sway_ = -1;
            why_ = "sway ended at once:\n" + log();
            return false;
        }
        if (Clock::now() > deadline) return false;
        pause();
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(runtime_, ec)) {
            const std::string name = entry.path().filename();
            if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) display_ = name;
            if (name.rfind("sway-ipc.", 0) == 0) socket_ = entry.path();
        }
    }
    if (display_.empty()) return false;
    // The IPC socket is there a moment before sway listens on it.
    ProcessResult made = swaymsg({"create_output"});
    while (made.exitCode != 0 && made.err.find("Unable to connect") != std::string::npos &&
           Clock::now() < deadline) {
        pause();
        made = swaymsg({"create_output"});
    }
    if (made.exitCode != 0) {
        why_ = "swaymsg create_output failed: " + made.out + made.err;
        return false;
    }
    for (;;) {
        const auto all = outputs();
        if (all.size() == 2 && all[0].modeWidth == 1280 && all[1].modeWidth == 800 && all[1].scale == 2) break;
        if (Clock::now() > deadline) {
            why_ = "the outputs are not as configured:\n" + swaymsg({"-t", "get_outputs"}).out;
            return false;
        }
        pause();
    }
    // swaybg paints black a moment after the outputs appear.
    if (!waitUntilBlack(std::chrono::duration<double>(deadline - Clock::now()).count())) {
        why_ = "the outputs did not turn black";
        return false;
    }
    return true;
}

bool HeadlessSway::waitUntilBlack(double seconds) {
    const auto deadline = after(seconds);
    while (litPixels("HEADLESS-1") != 0 || litPixels("HEADLESS-2") != 0) {
        if (Clock::now() > deadline) return false;
        pause();
    }
    return true;
}

HeadlessSway::~HeadlessSway() {
    if (pointerSocket_ >= 0) close(pointerSocket_);  // the pointer ends at the end of its input
    if (pointer_ > 0) waitProcess(pointer_, 2);
    for (const auto& [pid, group] : clients_) {
        if (group) kill(-pid, SIGKILL);
        if (waitpid(pid, nullptr, WNOHANG) == 0) {  // still running (not ended, nor waited for)
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    if (sway_ > 0) {
        kill(-sway_, SIGTERM);
        waitProcess(sway_, 3);
        kill(-sway_, SIGKILL);
    }
    if (!dir_.empty()) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
}

std::string HeadlessSway::log() const { return dir_.empty() ? "" : readFile(dir_ + "/sway.log"); }

std::vector<std::string> HeadlessSway::clientEnv() const {
    return {"WAYLAND_DISPLAY=" + display_, "XDG_RUNTIME_DIR=" + runtime_, "SWAYSOCK=" + socket_, "DISPLAY"};
}

int HeadlessSway::startClient(const std::string& program, const std::vector<std::string>& args, ChildSetup setup) {
    const auto env = clientEnv();
    setup.env.insert(setup.env.begin(), env.begin(), env.end());
    const int pid = spawnProcess(program, args, setup);
    if (pid > 0) clients_.emplace_back(pid, setup.ownGroup);
    return pid;
}

ProcessResult HeadlessSway::run(const std::string& program, const std::vector<std::string>& args,
                                double seconds) const {
    ProcessResult result;
    const int n = runs_++;
    ChildSetup setup;
    setup.env = clientEnv();
    setup.outPath = dir_ + "/run-" + std::to_string(n) + ".out";
    setup.errPath = dir_ + "/run-" + std::to_string(n) + ".err";
    const int pid = spawnProcess(program, args, setup);
    if (pid < 0) return result;
    result.exitCode = waitProcess(pid, seconds);
    result.out = readFile(setup.outPath);
    result.err = readFile(setup.errPath);
    std::remove(setup.outPath.c_str());
    std::remove(setup.errPath.c_str());
    return result;
}

ProcessResult HeadlessSway::swaymsg(const std::vector<std::string>& args) const { return run("swaymsg", args); }

std::vector<HeadlessSway::Output> HeadlessSway::outputs() const {
    // The plain text form: "Output NAME 'description' (focused)", then indented fields.
    std::vector<Output> all;
    std::istringstream lines(swaymsg({"-p", "-t", "get_outputs"}).out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("Output ", 0) == 0) {
            Output o;
            o.name = line.substr(7, line.find(' ', 7) - 7);
            o.focused = line.find("(focused)") != std::string::npos;
            all.push_back(o);
        } else if (!all.empty()) {
            Output& o = all.back();
            std::sscanf(line.c_str(), " Current mode: %dx%d", &o.modeWidth, &o.modeHeight);
            std::sscanf(line.c_str(), " Position: %d,%d", &o.x, &o.y);
            std::sscanf(line.c_str(), " Scale factor: %lf", &o.scale);
        }
    }
    return all;
}

std::string HeadlessSway::focusedOutput() const {
    for (const auto& o : outputs())
        if (o.focused) return o.name;
    return "";
}

std::string HeadlessSway::screenshot(const std::string& output, const std::string& name) {
    std::string path;
    if (name.empty()) {
        path = dir_ + "/shot-" + std::to_string(runs_) + ".png";
    } else {
        const std::string shots = ZORVAN_BIN_DIR "/../test-shots";
        fs::create_directories(shots);
        path = shots + "/" + name + ".png";
    }
    const ProcessResult grim = run("grim", {"-o", output, path});
    if (grim.exitCode == 0) return path;
    error_ = "grim -o " + output + " failed: " + grim.err;
    return "";
}

long HeadlessSway::litPixels(const std::string& output) {
    const std::string shot = screenshot(output);
    if (shot.empty()) return -1;
    const long lit = test::litPixels(shot);
    std::remove(shot.c_str());
    return lit;
}

bool HeadlessSway::waitForLit(const std::string& output, long count, double seconds) {
    const auto deadline = after(seconds);
    do {
        if (litPixels(output) >= count) return true;
        pause();
    } while (Clock::now() < deadline);
    return false;
}

bool HeadlessSway::key(const std::string& name, int delayMs) {
    const ProcessResult wtype = run("wtype", {"-s", std::to_string(delayMs), "-k", name});
    if (wtype.exitCode == 0) return true;
    error_ = "wtype -k " + name + " failed: " + wtype.err;
    return false;
}

bool HeadlessSway::move(double dx, double dy) {
    std::ostringstream command;
    command << "move " << dx << ' ' << dy;
    return pointer(command.str());
}

bool HeadlessSway::moveTo(int x, int y) {
    return pointer("at " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(LAYOUT_WIDTH) + " " +
                   std::to_string(LAYOUT_HEIGHT));
}

bool HeadlessSway::click() { return pointer("button"); }

std::string HeadlessSway::pointerLine() {
    const auto deadline = after(5);
    for (;;) {
        const size_t end = pointerText_.find('\n');
        if (end != std::string::npos) {
            const std::string line = pointerText_.substr(0, end);
            pointerText_.erase(0, end + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{pointerSocket_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) return "";
        char buffer[256];
        const ssize_t n = read(pointerSocket_, buffer, sizeof buffer);
        if (n <= 0) return "";
        pointerText_.append(buffer, size_t(n));
    }
}

bool HeadlessSway::pointer(const std::string& command) {
    if (!available()) {
        error_ = why_;
        return false;
    }
    if (pointer_ < 0) {
        if (!*POINTER) {
            error_ = "zorvan-test-pointer was not built (no Wayland support)";
            return false;
        }
        // One socket both ways: a pointer that died is an error to report, not a SIGPIPE.
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
        fcntl(pair[1], F_SETFD, 0);  // the pointer's end goes with it through exec
        ChildSetup setup;
        setup.errPath = dir_ + "/pointer.log";
        setup.env = clientEnv();
        pointer_ = spawnProcess(POINTER, {std::to_string(pair[1])}, setup);
        close(pair[1]);
        pointerSocket_ = pair[0];
        if (pointer_ < 0 || pointerLine() != "ready") {
            error_ = "the virtual pointer did not start: " + readFile(dir_ + "/pointer.log");
            return false;
        }
    }
    const std::string line = command + "\n";
    if (send(pointerSocket_, line.data(), line.size(), MSG_NOSIGNAL) != ssize_t(line.size()) || pointerLine() != "ok") {
        error_ = "the virtual pointer did not take \"" + command + "\": " + readFile(dir_ + "/pointer.log");
        return false;
    }
    return true;
}

}  // namespace zorvan::test
