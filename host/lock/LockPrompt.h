// The lock screen's prompt: a dark translucent box in the middle of an output, white
// text in it through Pango over cairo, drawn at the output's full resolution into the
// pixels of a lock surface's buffer: a dot for each typed character, "Checking…", a wrong
// password, PAM's own messages and a Caps Lock warning. The text of the password itself
// never reaches it: only how many characters it has.
// Does not implement: what is behind the box (the buffer's own pixels stay), animation.
#pragma once

#include <cstddef>
#include <string>

namespace zorvan::lock {

struct PromptText {
    size_t dots = 0;       // characters typed
    bool checking = false;  // a check runs
    std::string message;   // PAM's message, or why the last check failed; may be empty
    bool capsLock = false;
};

// Draws the prompt over `pixels`, XRGB8888 rows of `stride` bytes, `width` x `height`
// pixels, for an output of `scale` buffer pixels per point.
void drawPrompt(unsigned char* pixels, int width, int height, int stride, int scale, const PromptText& text);

}  // namespace zorvan::lock
