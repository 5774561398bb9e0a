// The decoder's one-time set-up, shared by the picture and bitmap backends.
#pragma once

namespace zorvan::magick {

// Starts ImageMagick once per process and caps what one decode may take: size in
// pixels, pixel-cache memory and no disk, one worker thread. Safe to call often.
void ensureStarted();

}  // namespace zorvan::magick
