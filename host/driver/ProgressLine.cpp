#include "host/driver/ProgressLine.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zorvan::host {

namespace {

// The line first shows after this, then changes this often.
constexpr auto FIRST_SHOW = std::chrono::seconds(1);
constexpr auto REFRESH = std::chrono::milliseconds(250);

// "0:07", "12:34" or "1:02:03".
std::string clockText(double seconds) {
    const long s = std::lround(std::clamp(seconds, 0.0, 359999.0));
    char text[32];
    if (s >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

ProgressLine::ProgressLine(long total, int fd) : total_(total), next_(start_ + FIRST_SHOW) {
    if (::isatty(fd)) fd_ = fd;
}

ProgressLine::~ProgressLine() {
    if (shown_) show("");
}

std::string ProgressLine::text(long done, long total, double seconds) {
    const double rate = seconds > 0.0 ? double(done) / seconds : 0.0;
    const int percent = total > 0 ? int(100.0 * double(done) / double(total)) : 100;
    char line[128];
    std::snprintf(line, sizeof line, "frame %ld/%ld  %d%%  %.1f fps  %s left", done, total, percent, rate,
                  rate > 0.0 ? clockText(double(total - done) / rate).c_str() : "?");
    return line;
}

void ProgressLine::update(long done) {
    if (fd_ < 0) return;
    const Clock::time_point now = Clock::now();
    if (now < next_ || done >= total_) return;
    next_ = now + REFRESH;
    shown_ = true;
    show(text(done, total_, std::chrono::duration<double>(now - start_).count()));
}

// Back to the line's start, the text, and the rest of the line cleared.
void ProgressLine::show(const std::string& line) const {
    const std::string out = "\r" + line + "\033[K";
    if (::write(fd_, out.data(), out.size()) < 0) return;  // a terminal gone is no matter
}

}  // namespace zorvan::host
