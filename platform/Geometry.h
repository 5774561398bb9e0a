// Rectangles and sizes in screen coordinates (doubles, y upward), as the host passes them.
#pragma once

namespace zorvan {

struct Size {
    double width = 0.0, height = 0.0;
};

struct Rect {
    double x = 0.0, y = 0.0, width = 0.0, height = 0.0;
    Size size() const { return {width, height}; }
};

}  // namespace zorvan
