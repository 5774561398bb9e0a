// The lock screen's prompt: a dark translucent box with white text in it through Pango
// over cairo, drawn at the output's full resolution into a buffer of its own: a dot for
// each typed character, "Checking…", a wrong password, PAM's own messages and a Caps Lock
// warning. The text of the password itself never reaches it: only how many characters
// it has.
// Does not implement: where the box goes (the window system's), animation.
#pragma once

#include <cstddef>
#include <string>

namespace zorvan::lock {

struct PromptText {
    size_t dots = 0;       // characters typed
    bool checking = false;  // a check runs
    std::string message;   // PAM's message, or why the last check failed; may be empty
    bool capsLock = false;
    std::string layout;    // the keyboard layout's name where the keymap has several; else empty
};

// The box's size, in points.
inline constexpr int PROMPT_WIDTH = 360, PROMPT_HEIGHT = 140;

// Draws the prompt into `pixels`, premultiplied ARGB rows of `stride` bytes, `width` x
// `height` pixels (transparent where the box's corners are round), at `scale` pixels a point.
void drawPrompt(unsigned char* pixels, int width, int height, int stride, double scale, const PromptText& text);

}  // namespace zorvan::lock
