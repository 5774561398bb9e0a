// A private headless sway for the Wayland tests: HEADLESS-1 of 1280x720 at scale 1 at the
// origin, and HEADLESS-2 of 800x600 at scale 2 (400x300 logical) to its right, both black,
// with no input devices but the ones the tests make. Sway refuses to run as root, so
// under root it runs as nobody. Its runtime folder, home and files live in a fresh
// temporary folder of its own, so that tests can run side by side; the folder, sway and
// every process started through the object go when the object goes.
#pragma once

#include "host/Process.h"

#include <string>
#include <utility>
#include <vector>

namespace zorvan::test {

class HeadlessSway {
public:
    // What sway says of one output (swaymsg -t get_outputs).
    struct Output {
        std::string name;
        int x = 0, y = 0;                  // position in the layout, logical pixels
        int modeWidth = 0, modeHeight = 0;  // size in real pixels
        double scale = 0;
        bool focused = false;
        int width() const { return int(modeWidth / scale); }  // logical size
        int height() const { return int(modeHeight / scale); }
    };
    static constexpr int LAYOUT_WIDTH = 1280 + 400, LAYOUT_HEIGHT = 720;  // logical

    HeadlessSway();   // starts sway and waits until both outputs show black; see available()
    ~HeadlessSway();  // ends sway, what sway started and what was started through the object
    HeadlessSway(const HeadlessSway&) = delete;
    HeadlessSway& operator=(const HeadlessSway&) = delete;

    // False, with why() saying what is missing or went wrong, when there is no sway to use.
    bool available() const { return why_.empty(); }
    const std::string& why() const { return why_; }
    // What sway has written so far, for failure messages.
    std::string log() const;
    // Why the last helper below that failed did.
    const std::string& error() const { return error_; }

    // ChildSetup::env entries that put a client on this sway: WAYLAND_DISPLAY,
    // XDG_RUNTIME_DIR and SWAYSOCK set, DISPLAY unset (no falling back to X).
    std::vector<std::string> clientEnv() const;
    // Starts a client with clientEnv() added to setup.env; its pid, or -1. A client still
    // running when the object goes is killed (with its group, when it has its own).
    int startClient(const std::string& program, const std::vector<std::string>& args, ChildSetup setup = {});

    // Runs swaymsg with `args` against this sway.
    ProcessResult swaymsg(const std::vector<std::string>& args) const;
    // The outputs as sway reports them now, in its order.
    std::vector<Output> outputs() const;
    // The focused output's name; empty when none.
    std::string focusedOutput() const;

    // A grim shot of one output, in real pixels, cursor included (the headless backend
    // draws it into the picture). With a name it is kept as test-shots/<name>.png in the
    // build tree for people to look at, else it goes with the object. Its path, or empty.
    std::string screenshot(const std::string& output, const std::string& name = "");
    // The lit pixels of a fresh shot of `output`; -1 when it cannot be taken.
    long litPixels(const std::string& output);
    // Waits up to `seconds` for at least `count` lit pixels on `output`.
    bool waitForLit(const std::string& output, long count, double seconds);

    // Types one key, an xkb keysym name such as "space" or "Escape", through wtype, after
    // `delayMs` in which clients bind the new keyboard; true when wtype managed it.
    bool key(const std::string& name, int delayMs = 500);

    // The virtual pointer, made on first use; each call returns once sway has taken the
    // event (true), or false. Motion is in logical pixels; moveTo goes to a point of the
    // layout. Once there is a pointer, sway draws its cursor into the output under it
    // (lit in shots: about 130 pixels at scale 1, 470 at scale 2) unless a client under
    // it hides it.
    bool move(double dx, double dy);
    bool moveTo(int x, int y);
    bool click();  // left button pressed and released

private:
    bool start();
    bool waitUntilBlack(double seconds);
    bool pointer(const std::string& command);
    std::string pointerLine();  // the pointer's next line, or empty after 5 s
    ProcessResult run(const std::string& program, const std::vector<std::string>& args,
                      double seconds = 10) const;

    std::string dir_, runtime_, display_, socket_, why_, error_;
    int sway_ = -1, pointer_ = -1, pointerSocket_ = -1;
    std::string pointerText_;                     // what the pointer said that is not read yet
    std::vector<std::pair<int, bool>> clients_;  // pid, and whether it leads its own group
    mutable int runs_ = 0;
};

// A picture file's pixels, three bytes (RGB) each, rows top down; empty when it cannot
// be read.
struct Shot {
    size_t width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(size_t x, size_t y) const { return &rgb[(y * width + x) * 3]; }
};
Shot readShot(const std::string& picture);

// The pixels of a picture file that are not black; -1 when it cannot be read.
long litPixels(const std::string& picture);

}  // namespace zorvan::test
