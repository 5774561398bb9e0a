#include "support/HeadlessCompositor.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace zorvan::test {

bool HeadlessCompositor::prepare(const std::string& prefix, std::initializer_list<const char*> tools) {
    if (const std::string tool = missing(tools); !tool.empty()) {
        why_ = tool + " is not installed";
        return false;
    }
    if (!user_.why.empty()) {
        why_ = user_.why;
        return false;
    }
    dir_ = folder_.emplace(prefix).path();
    if (dir_.empty()) {
        why_ = "no temporary folder";
        return false;
    }
    runtime_ = dir_ + "/runtime";
    home_ = dir_ + "/home";
    const uid_t uid = user_.uid;
    const gid_t gid = user_.gid;
    if (mkdir(runtime_.c_str(), 0700) != 0 || mkdir(home_.c_str(), 0700) != 0 ||
        (uid != getuid() && (chown(dir_.c_str(), uid, gid) != 0 || chown(runtime_.c_str(), uid, gid) != 0 ||
                             chown(home_.c_str(), uid, gid) != 0))) {
        why_ = "cannot set up " + dir_;
        return false;
    }
    return true;
}

std::string HeadlessCompositor::writeFile(const std::string& name, const std::string& text) {
    const std::string path = file(name);
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
    if (user_.uid != getuid())
        for (fs::path p = path; p.string().size() > dir_.size(); p = p.parent_path())
            if (chown(p.c_str(), user_.uid, user_.gid) != 0) break;
    return path;
}

bool HeadlessCompositor::launch(const std::string& program, const std::vector<std::string>& args,
                                const std::vector<std::string>& env, double seconds, const std::string& socket) {
    ChildSetup setup;
    setup.ownGroup = true;  // the compositor and what it starts end together
    setup.outPath = setup.errPath = file("compositor.log");
    setup.emptyEnv = true;
    const char* path = std::getenv("PATH");
    setup.env = {"PATH=" + std::string(path ? path : "/usr/bin:/bin"), "HOME=" + home_,
                 "XDG_CONFIG_HOME=" + home_ + "/.config", "XDG_RUNTIME_DIR=" + runtime_};
    setup.env.insert(setup.env.end(), env.begin(), env.end());
    // A change of user clears the parent death signal: setpriv sets it again.
    compositor_ = user_.spawn(program, args, setup, {"--pdeathsig=KILL"});
    if (compositor_ < 0) {
        why_ = "cannot start " + program;
        return false;
    }
    const auto deadline = deadlineIn(seconds);
    while (display_.empty()) {
        if (waitpid(compositor_, nullptr, WNOHANG) == compositor_) {
            compositor_ = -1;
            why_ = program + " ended at once:\n" + log();
            return false;
        }
        if (Clock::now() > deadline) {
            why_ = program + " made no Wayland socket:\n" + log();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(runtime_, ec)) {
            const std::string name = entry.path().filename();
            if (socket.empty() ? name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos
                               : name == socket)
                display_ = name;
        }
    }
    return true;
}

bool HeadlessCompositor::launchOnBus(const std::vector<std::string>& command, const std::vector<std::string>& env,
                                     double seconds, const std::string& socket) {
    busFile_ = writeFile("bus", "");
    // The shell notes the session bus's address, then becomes the compositor.
    std::vector<std::string> args = {
        "--", "sh", "-c", "printf %s \"$DBUS_SESSION_BUS_ADDRESS\" > \"$1\" && shift && exec \"$@\"", "sh", busFile_};
    args.insert(args.end(), command.begin(), command.end());
    return launch("dbus-run-session", args, env, seconds, socket);
}

std::string HeadlessCompositor::bus() const { return busFile_.empty() ? "" : readFile(busFile_); }

int HeadlessCompositor::startBusCall(const std::vector<std::string>& args, ChildSetup& setup) const {
    const std::string address = bus();
    if (address.empty()) {
        error_ = "the compositor's session bus is not known yet";
        return -1;
    }
    std::vector<std::string> call = {"gdbus", "call", "--session"};
    call.insert(call.end(), args.begin(), args.end());
    setup.emptyEnv = true;
    setup.env.insert(setup.env.end(), {"PATH=/usr/bin:/bin", "HOME=" + home_, "DBUS_SESSION_BUS_ADDRESS=" + address});
    return user_.spawn(call[0], {call.begin() + 1, call.end()}, setup);
}

int HeadlessCompositor::startBusClient(const std::string& program, const std::vector<std::string>& args,
                                       ChildSetup setup) {
    const std::string address = bus();
    if (address.empty()) {
        error_ = "the compositor's session bus is not known yet";
        return -1;
    }
    std::vector<std::string> env = clientEnv();
    env.insert(env.end(), {"PATH=/usr/bin:/bin", "HOME=" + home_, "XDG_CONFIG_HOME=" + home_ + "/.config",
                           "DBUS_SESSION_BUS_ADDRESS=" + address});
    env.insert(env.end(), setup.env.begin(), setup.env.end());
    setup.env = env;
    setup.emptyEnv = true;
    const int pid = user_.spawn(program, args, setup);
    if (pid > 0) clients_.emplace_back(pid, setup.ownGroup);
    return pid;
}

ProcessResult HeadlessCompositor::busCall(const std::vector<std::string>& args) const {
    ProcessResult result;
    ChildSetup setup;
    setup.outPath = file("gdbus.out");
    setup.errPath = file("gdbus.err");
    const int pid = startBusCall(args, setup);
    if (pid < 0) return result;
    result.exitCode = waitProcess(pid, 10);
    result.out = readFile(setup.outPath);
    result.err = readFile(setup.errPath);
    if (result.exitCode != 0) {
        const auto method = std::find(args.begin(), args.end(), "--method");
        error_ = (method != args.end() && method + 1 != args.end() ? method[1] : "a D-Bus call") + " failed: " +
                 result.out + result.err;
    }
    return result;
}

HeadlessCompositor::~HeadlessCompositor() {
    for (const auto& [pid, group] : clients_) {
        if (group) ::kill(-pid, SIGKILL);
        if (waitpid(pid, nullptr, WNOHANG) == 0) {  // still running (not ended, nor waited for)
            ::kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    if (compositor_ > 0) {
        ::kill(-compositor_, SIGTERM);
        waitProcess(compositor_, 3);
        ::kill(-compositor_, SIGKILL);
    }
}

std::string HeadlessCompositor::log() const { return dir_.empty() ? "" : readFile(file("compositor.log")); }

std::vector<std::string> HeadlessCompositor::clientEnv() const {
    std::vector<std::string> env = {"WAYLAND_DISPLAY=" + display_, "XDG_RUNTIME_DIR=" + runtime_, "DISPLAY"};
    env.insert(env.end(), clientEnv_.begin(), clientEnv_.end());
    return env;
}

int HeadlessCompositor::startClient(const std::string& program, const std::vector<std::string>& args,
                                    ChildSetup setup) {
    const auto env = clientEnv();
    setup.env.insert(setup.env.begin(), env.begin(), env.end());
    const int pid = spawnProcess(program, args, setup);
    if (pid > 0) clients_.emplace_back(pid, setup.ownGroup);
    return pid;
}

ProcessResult HeadlessCompositor::runClient(const std::string& program, const std::vector<std::string>& args,
                                            double seconds, const std::vector<std::string>& env) const {
    ChildSetup setup;
    setup.env = clientEnv();
    setup.env.insert(setup.env.end(), env.begin(), env.end());
    return runChild(program, args, setup, seconds);
}

// wtype uploads a keymap of its own with every call: the pause lets clients take it
// before the first key. `what` names the input in the error.
bool HeadlessCompositor::wtype(std::vector<std::string> args, const std::string& what) {
    args.insert(args.begin(), {"-s", "500"});
    const ProcessResult run = runClient("wtype", args);
    if (run.exitCode == 0) return true;
    error_ = "wtype of " + what + " failed: " + run.err;
    return false;
}

bool HeadlessCompositor::key(const std::string& name) { return wtype({"-k", name}, name); }

bool HeadlessCompositor::type(const std::string& text, bool enter) {
    std::vector<std::string> args = {text};
    if (enter) args.insert(args.end(), {"-k", "Return"});
    return wtype(args, std::to_string(text.size()) + " characters");
}

bool HeadlessCompositor::holdKey(const std::string& name, double seconds) {
    return wtype({"-P", name, "-s", std::to_string(int(seconds * 1000)), "-p", name}, name + " held");
}

void HeadlessCompositor::kill() {
    if (compositor_ <= 0) return;
    ::kill(-compositor_, SIGKILL);
    waitpid(compositor_, nullptr, 0);
    compositor_ = -1;
}

bool HeadlessCompositor::running() const { return compositor_ > 0 && waitpid(compositor_, nullptr, WNOHANG) == 0; }

bool HeadlessCompositor::waitFor(const std::function<bool(const Shot&)>& done, double seconds, Shot* last) {
    return waitUntil(
        [&] {
            Shot shot = screenshot();
            const bool accepted = !shot.rgb.empty() && done(shot);
            if (last) *last = std::move(shot);
            return accepted;
        },
        seconds, 0.05);
}

bool HeadlessCompositor::waitForLit(long count, double seconds) {
    return waitFor([count](const Shot& shot) { return litPixels(shot) >= count; }, seconds);
}

bool HeadlessCompositor::waitUntilBlack(double seconds) {
    return waitFor([](const Shot& shot) { return litPixels(shot) == 0; }, seconds);
}

std::string HeadlessCompositor::onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    return "";
}

std::string HeadlessCompositor::missing(std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        if (onPath(tool).empty()) return tool;
    return "";
}

std::string HeadlessCompositor::shotPath(const std::string& name) const {
    return name.empty() ? file("shot-" + std::to_string(runs_++) + ".png") : shotFile(name);
}

Shot HeadlessCompositor::grim(const std::vector<std::string>& where, const std::string& name) {
    const std::string path = shotPath(name);
    std::vector<std::string> args = where;
    args.push_back(path);
    const ProcessResult taken = runClient("grim", args);
    if (taken.exitCode != 0) {
        error_ = "grim failed: " + taken.err;
        return {};
    }
    Shot shot = readShot(path);
    if (name.empty()) std::remove(path.c_str());
    return shot;
}

}  // namespace zorvan::test
