// --fps: the frame rate and the CPU time per frame, drawn in the lower-left corner of
// every view, as X screen savers show them.
// Implements: a meter that the frame driver ticks around each frame (frames and the
// process's CPU time, GL driver threads included, summed over about a second), and the
// text that the driver draws over each view's frame before it is presented, whatever
// the window system, with the X server's "fixed" font on the view's context: its glyphs
// read back from the server become GL bitmaps, at a scale above 1 with each pixel a
// square of that many; without an X server, a monospaced font that ImageMagick draws.
// Does not implement: a font of its own, or a backing box behind the text.
#pragma once

#include <chrono>
#include <string>

typedef struct _XDisplay Display;

namespace zorvan::host {

class FpsMeter {
public:
    FpsMeter();
    // Around the frame calls of every view in one turn of the host's loop.
    void beginFrame();
    void endFrame();
    // A few words after the rate ("half rate: on battery"); empty for none.
    void setNote(const std::string& note);
    // "FPS: 59.8  CPU: 4.1 ms/frame", updated about once a second (empty at first),
    // and the note.
    const std::string& text() const { return shown_; }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point windowStart_;
    double cpuAtBegin_ = 0.0, cpuSum_ = 0.0;
    long frames_ = 0;
    std::string rate_, note_, shown_;
    void compose();
};

// The text on one GL context; made and used with that context current.
class FpsText {
public:
    // The text at `scale` times the size of the server's "fixed" font; without a display
    // (on Wayland), in a monospaced font from fontconfig drawn at that scale.
    // (A fractional scale draws at the nearest whole one.)
    FpsText(Display* display, double scale = 1.0);
    ~FpsText();
    FpsText(const FpsText&) = delete;
    FpsText& operator=(const FpsText&) = delete;

    void draw(const std::string& text);

private:
    Display* display_;
    int scale_;
    bool tried_ = false;      // the glyphs were asked for (once: a missing font stays missing)
    unsigned int lists_ = 0;  // display lists of the glyphs, 0 when they could not be made
    int descent_ = 0;         // of the glyphs, in pixels
};

}  // namespace zorvan::host
