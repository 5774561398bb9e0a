// Pictures: decoding a file, its bitmap, and redrawing a bitmap into 8-bit RGBA.
// (Placeholder: the real interface and its decoder come with the logo work.)
#pragma once

namespace zorvan {

class Image {
public:
    virtual ~Image() = default;
};

class BitmapImageRep {
public:
    virtual ~BitmapImageRep() = default;
};

}  // namespace zorvan
