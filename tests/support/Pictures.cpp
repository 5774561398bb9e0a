#include "support/Pictures.h"

#include "platform/image/MagickSetup.h"

#include <Magick++.h>

#include <algorithm>
#include <filesystem>

namespace zorvan::test {

Shot readShot(const std::string& picture) {
    magick::ensureStarted();
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

std::string shotFile(const std::string& name) {
    const std::string shots = ZORVAN_BIN_DIR "/../test-shots";
    std::filesystem::create_directories(shots);
    return shots + "/" + name + ".png";
}

Shot part(const Shot& shot, const Box& box) {
    Shot cut;
    if (box.right <= box.left || box.bottom <= box.top || box.right > shot.width || box.bottom > shot.height)
        return cut;
    cut.width = box.width();
    cut.height = box.height();
    for (size_t y = box.top; y < box.bottom; ++y)
        cut.rgb.insert(cut.rgb.end(), shot.at(box.left, y), shot.at(box.left, y) + cut.width * 3);
    return cut;
}

Box boxOf(const Shot& shot, const PixelTest& counts) {
    Box box{shot.width, shot.height, 0, 0};
    for (size_t y = 0; y < shot.height; ++y)
        for (size_t x = 0; x < shot.width; ++x)
            if (counts(shot.at(x, y))) {
                box.left = std::min(box.left, x), box.right = std::max(box.right, x + 1);
                box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y + 1);
            }
    return box.right ? box : Box{};
}

long countPixels(const Shot& shot, const PixelTest& counts) {
    return countPixels(shot, Box{0, 0, shot.width, shot.height}, counts);
}

long countPixels(const Shot& shot, const Box& area, const PixelTest& counts) {
    if (shot.rgb.empty()) return -1;
    long n = 0;
    for (size_t y = area.top; y < area.bottom && y < shot.height; ++y)
        for (size_t x = area.left; x < area.right && x < shot.width; ++x) n += counts(shot.at(x, y));
    return n;
}

long litPixels(const Shot& shot, int above) {
    return countPixels(shot, [above](const unsigned char* p) { return isLit(p, above); });
}

long litPixels(const Shot& shot, const Box& area) {
    return countPixels(shot, area, [](const unsigned char* p) { return isLit(p); });
}

long pixelsOf(const Shot& shot, unsigned long rgb) {
    return countPixels(shot,
                       [rgb](const unsigned char* p) { return (unsigned long)(p[0] << 16 | p[1] << 8 | p[2]) == rgb; });
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
    const Box lit = boxOf(shot, [](const unsigned char* p) { return isLit(p); });
    return lit.right && 20 * lit.left < shot.width && 20 * (lit.right - 1) >= 19 * shot.width &&
           20 * lit.top < shot.height && 20 * (lit.bottom - 1) >= 19 * shot.height;
}

Band titleBand(const Shot& shot) {
    Band band;
    for (size_t y = 0; y < shot.height; ++y) {
        size_t run = 0;
        for (size_t x = 0; x < shot.width && run < 100; ++x) {
            const unsigned char* p = shot.at(x, y);
            run = !isLit(p) ? 0 : x > 0 && std::equal(p, p + 3, shot.at(x - 1, y)) ? run + 1 : 1;
        }
        if (run < 100 && band.rows) break;  // below the bar: a window's bottom edge may be one colour too
        if (run < 100) continue;
        if (band.rows++ == 0) band.top = y;
        band.bottom = y + 1;
    }
    return band;
}

}  // namespace zorvan::test
