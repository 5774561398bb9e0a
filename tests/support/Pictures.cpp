#include "support/Pictures.h"

#include <Magick++.h>

#include <algorithm>

namespace zorvan::test {

Shot readShot(const std::string& picture) {
    Shot shot;
    try {
        Magick::Image image(picture);
        shot.width = image.columns();
        shot.height = image.rows();
        shot.rgb.resize(shot.width * shot.height * 3);
        image.write(0, 0, shot.width, shot.height, "RGB", Magick::CharPixel, shot.rgb.data());
    } catch (const Magick::Exception&) {
        return {};
    }
    return shot;
}

void writeShot(const Shot& shot, const std::string& picture) {
    Magick::Image(shot.width, shot.height, "RGB", Magick::CharPixel, shot.rgb.data()).write(picture);
}

long litPixels(const Shot& shot) {
    long lit = 0;
    for (size_t i = 0; i < shot.rgb.size(); i += 3) lit += isLit(&shot.rgb[i]);
    return lit;
}

long litPixels(const std::string& picture) {
    const Shot shot = readShot(picture);
    return shot.rgb.empty() ? -1 : litPixels(shot);
}

long mixedBlocks(const Shot& shot) {
    long mixed = 0;
    for (size_t y = 0; y + 1 < shot.height; y += 2)
        for (size_t x = 0; x + 1 < shot.width; x += 2) {
            const unsigned char* p = shot.at(x, y);
            for (const unsigned char* q : {shot.at(x + 1, y), shot.at(x, y + 1), shot.at(x + 1, y + 1)})
                if (!std::equal(p, p + 3, q)) {
                    ++mixed;
                    break;
                }
        }
    return mixed;
}

long softPixels(const Shot& shot) {
    auto bright = [&](size_t x, size_t y) {
        const unsigned char* p = shot.at(x, y);
        return std::max({p[0], p[1], p[2]});
    };
    long soft = 0;
    for (size_t y = 1; y + 1 < shot.height; ++y)
        for (size_t x = 1; x + 1 < shot.width; ++x) {
            const int b = bright(x, y);
            if (b == 0) continue;
            int around = 0;
            for (size_t v = y - 1; v <= y + 1; ++v)
                for (size_t u = x - 1; u <= x + 1; ++u) around = std::max<int>(around, bright(u, v));
            soft += 2 * b < around;
        }
    return soft;
}

bool reachesEveryEdge(const Shot& shot) {
    size_t left = shot.width, right = 0, top = shot.height, bottom = 0;
    for (size_t y = 0; y < shot.height; ++y)
        for (size_t x = 0; x < shot.width; ++x)
            if (isLit(shot.at(x, y))) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    return 20 * left < shot.width && 20 * right >= 19 * shot.width && 20 * top < shot.height &&
           20 * bottom >= 19 * shot.height;
}

}  // namespace zorvan::test
