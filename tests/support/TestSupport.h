// Shared helpers for the test suites.
#pragma once

#include "platform/gl/OffscreenView.h"
#include "saver/Zorvan.h"
#include "support/Pictures.h"
#include "support/ViewState.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvan::test {

// A view created on a real offscreen context, with a frame of w x h at the origin.
// Returns null when the view cannot be made.
std::unique_ptr<Zorvan> makeOffscreenView(double w, double h, bool isPreview = false);

// The view's offscreen GL view, or null.
OffscreenView* offscreenOf(Zorvan& view);
// The view's offscreen frame as a shot, rows top down; empty without one.
Shot frameOf(Zorvan& view);

// A colour as an opaque pixel of an offscreen frame (0xRRGGBBAA), each channel rounded
// to 8 bits.
uint32_t pixelOf(const Colour& c);
// Whether two such pixels are within `tolerance` of each other in red, green and blue.
bool nearPixel(uint32_t a, uint32_t b, int tolerance);
// Colours equal channel by channel, as floats compare (0 and -0 alike).
bool sameColour(const Colour& a, const Colour& b);
// Floats, and colours, equal bit for bit (0 and -0 differ, a NaN equals itself).
bool sameBits(float a, float b);
bool sameBits(const Colour& a, const Colour& b);

// A fresh, empty folder for one test's files (zorvan-<prefix>-XXXXXX in the temporary
// folder), removed when the object goes, whatever a test did to its permissions. path()
// is empty when it could not be made.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The process-wide settings store pointed at `path`, Zorvan.conf in a fresh folder, while
// the object lives; the file holds `contents` when they are given.
struct StoreFile {
    explicit StoreFile(const std::optional<std::string>& contents = std::nullopt);
    ~StoreFile();
    // Points the store at the file again, as a new run would read it, with `contents`
    // written first when given.
    void reload(const std::optional<std::string>& contents = std::nullopt) const;

    TempDir dir{"prefs"};
    std::string path = dir.file("Zorvan.conf");
};

// A variable of the environment, set or unset for a while and put back as it was when
// the object goes.
class EnvVar {
public:
    explicit EnvVar(const char* name);
    ~EnvVar();
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;
    void set(const std::string& value) const;
    void unset() const;

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view bytes);
// The names in `folder`, sorted; none when it cannot be read.
std::vector<std::string> entriesOf(const std::string& folder);
// The lines of a text: its newlines, or with `nonEmpty` the lines that hold something
// (a last line without its newline counts).
long lines(const std::string& text, bool nonEmpty = false);

// Time: `seconds` from now, the seconds since `start`, and a wait that asks `done`
// every `pause` seconds until it says yes (true) or `seconds` have passed (false).
std::chrono::steady_clock::time_point deadlineIn(double seconds);
double secondsSince(std::chrono::steady_clock::time_point start);
bool waitUntil(const std::function<bool()>& done, double seconds, double pause);

}  // namespace zorvan::test
