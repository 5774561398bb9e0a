#include "support/HeadlessWeston.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace zorvan::test {

namespace {

// No panel, a black background, nothing that fades or slides, no on-screen keyboard
// (the input method weston would start); the idle fade is off on the command line.
const char CONFIG[] =
    "[shell]\n"
    "background-color=0xff000000\n"
    "panel-position=none\n"
    "locking=false\n"
    "animation=none\n"
    "close-animation=none\n"
    "startup-animation=none\n"
    "focus-animation=none\n"
    "[input-method]\n"
    "path=\n";

const char SOCKET[] = "wayland-weston";

}  // namespace

HeadlessWeston::HeadlessWeston(int width, int height, int scale) {
    if (!start(width, height, scale) && why_.empty()) why_ = "weston did not start";
}

bool HeadlessWeston::start(int width, int height, int scale) {
    if (!prepare("weston", {"weston", "weston-screenshooter"})) return false;
    const std::string config = writeFile("weston.ini", CONFIG);
    if (!launch("weston",
                {"--backend=headless-backend.so", "--use-pixman", "--width=" + std::to_string(width),
                 "--height=" + std::to_string(height), "--scale=" + std::to_string(scale), "--debug",
                 std::string("--socket=") + SOCKET, "--idle-time=0", "--config=" + config},
                {}, 15, SOCKET))
        return false;
    // The desktop shell's client paints the background a moment after the socket is there.
    if (!waitUntilBlack(15)) {
        why_ = "weston's output did not turn black: " + error_ + "\n" + log();
        return false;
    }
    return true;
}

Shot HeadlessWeston::screenshot(const std::string& name) {
    // The screenshooter names its file by the time, in XDG_PICTURES_DIR: one fresh folder
    // a picture, so that the file found is this one.
    const std::string pictures = file("pictures");
    std::error_code ec;
    fs::remove_all(pictures, ec);
    fs::create_directories(pictures);
    const ProcessResult shooter = runClient("weston-screenshooter", {}, 10, {"XDG_PICTURES_DIR=" + pictures});
    std::string taken;
    for (const auto& entry : fs::directory_iterator(pictures, ec)) taken = entry.path();
    if (shooter.exitCode != 0 || taken.empty()) {
        error_ = "weston-screenshooter failed (" + std::to_string(shooter.exitCode) + "): " + shooter.err;
        return {};
    }
    // Kept without the alpha, as the output shows it (a viewer shows 0,0,0,0 as white).
    const Shot shot = readShot(taken);
    if (!name.empty()) writeShot(shot, shotPath(name));
    return shot;
}

}  // namespace zorvan::test
