#include "support/TestSupport.h"

#include "platform/prefs/ScreenSaverDefaults.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace zorvan::test {

namespace fs = std::filesystem;

std::unique_ptr<Zorvan> makeOffscreenView(double w, double h, bool isPreview) {
    auto view = std::make_unique<Zorvan>(OffscreenView::factory());
    if (!view->initWithFrame(Rect{0, 0, w, h}, isPreview)) return nullptr;
    return view;
}

OffscreenView* offscreenOf(Zorvan& view) { return dynamic_cast<OffscreenView*>(view.glView()); }

Shot frameOf(Zorvan& view) {
    Shot shot;
    const OffscreenView* gl = offscreenOf(view);
    if (!gl) return shot;
    shot.width = size_t(gl->width());
    shot.height = size_t(gl->height());
    // GL keeps the bottom row first.
    for (size_t y = shot.height; y-- > 0;)
        for (size_t x = 0; x < shot.width; ++x) {
            const uint8_t* p = &gl->pixels()[(y * shot.width + x) * 4];
            shot.rgb.insert(shot.rgb.end(), p, p + 3);
        }
    return shot;
}

uint32_t pixelOf(const Colour& c) {
    auto byte = [](float v) { return uint32_t(std::lround(v * 255.0f)); };
    return (byte(c.r) << 24) | (byte(c.g) << 16) | (byte(c.b) << 8) | 0xffu;
}

bool nearPixel(uint32_t a, uint32_t b, int tolerance) {
    for (int shift : {24, 16, 8})
        if (std::abs(int((a >> shift) & 0xff) - int((b >> shift) & 0xff)) > tolerance) return false;
    return true;
}

bool sameColour(const Colour& a, const Colour& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameBits(const Colour& a, const Colour& b) {
    return sameBits(a.r, b.r) && sameBits(a.g, b.g) && sameBits(a.b, b.b);
}

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = (fs::temp_directory_path() / ("zorvan-" + prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (path_.empty()) return;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

StoreFile::StoreFile(const std::optional<std::string>& contents) { reload(contents); }

StoreFile::~StoreFile() { ScreenSaverDefaults::setStorePathOverride(std::nullopt); }

void StoreFile::reload(const std::optional<std::string>& contents) const {
    if (contents) writeFile(path, *contents);
    ScreenSaverDefaults::setStorePathOverride(path);
}

EnvVar::EnvVar(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v;
}

EnvVar::~EnvVar() { old_ ? set(*old_) : unset(); }

void EnvVar::set(const std::string& value) const { setenv(name_, value.c_str(), 1); }

void EnvVar::unset() const { unsetenv(name_); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

long lines(const std::string& text, bool nonEmpty) {
    if (!nonEmpty) return std::count(text.begin(), text.end(), '\n');
    long n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) n += !line.empty();
    return n;
}

std::chrono::steady_clock::time_point deadlineIn(double seconds) {
    using Clock = std::chrono::steady_clock;
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool waitUntil(const std::function<bool()>& done, double seconds, double pause) {
    const auto deadline = deadlineIn(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::duration<double>(pause));
    }
    return true;
}

}  // namespace zorvan::test
