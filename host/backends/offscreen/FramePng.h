// A rendered frame as a PNG picture, for --render.
#pragma once

#include <string>

namespace zorvan {
class OffscreenView;
}

namespace zorvan::host {

// The frame of `gl` as an opaque PNG picture, top row first, written to `path`. On
// failure returns false with `error` set to one line; no partial file is left.
bool writeFramePng(const OffscreenView& gl, const std::string& path, std::string& error);

}  // namespace zorvan::host
