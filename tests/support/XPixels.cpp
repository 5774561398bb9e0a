#include "support/XPixels.h"

#include <X11/Xutil.h>

namespace zorvan::test {

long countPixels(Display* display, Drawable drawable, int x, int y, int width, int height,
                 const std::function<bool(unsigned long rgb)>& counts) {
    XImage* image = XGetImage(display, drawable, x, y, unsigned(width), unsigned(height), AllPlanes,
                              ZPixmap);
    if (!image) return -1;
    long n = 0;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            if (counts(XGetPixel(image, i, j) & 0xFFFFFF)) ++n;
    XDestroyImage(image);
    return n;
}

long litPixels(Display* display, Drawable drawable, int x, int y, int width, int height) {
    return countPixels(display, drawable, x, y, width, height, [](unsigned long rgb) { return rgb != 0; });
}

}  // namespace zorvan::test
