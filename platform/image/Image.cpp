// Pictures on Magick++. A file is read into memory by us (a regular file, of bounded
// size), its format is told from its first bytes and must be one of a short list of
// raster formats, and Magick decodes those bytes with that format named: neither the
// file's name nor its content can pick a coder that runs another program or reads
// another file. The decoder's resource limits bound what one file can cost; any
// failure, or damaged data, makes the file "not a picture".
#include "platform/image/Image.h"

#include "platform/image/MagickSetup.h"
#include "platform/image/MagickVersions.h"

#include <Magick++.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>

namespace zorvan {

namespace magick {

void ensureStarted() {
    static std::once_flag once;
    std::call_once(once, [] {
        Magick::InitializeMagick(nullptr);
        // A picture beyond these fails to decode rather than exhausting the machine.
        // No time limit: this ImageMagick counts it from the first decode of the
        // process and ends the whole process when it runs out.
        using R = Magick::ResourceLimits;
        R::width(16384);
        R::height(16384);
        R::area(64ull * 1000 * 1000);
        R::memory(256ull << 20);
        R::map(512ull << 20);
        R::disk(0);
        R::listLength(16);
        // The saver does all its work on one thread; so does its decoder.
        R::thread(1);
    });
}

}  // namespace magick

namespace {

// Files larger than this are not logo pictures.
constexpr off_t MAX_FILE_BYTES = 128 << 20;

struct Coder {
    const char* name;                         // Magick's coder
    std::vector<const char*> extensions;      // how the file chooser knows its files
};

// The raster formats that are read, and nothing else.
const std::vector<Coder>& coders() {
    static const std::vector<Coder> list = {
        {"PNG", {"png"}},
        {"JPEG", {"jpg", "jpeg", "jpe"}},
        {"GIF", {"gif"}},
        {"TIFF", {"tif", "tiff"}},
        {"BMP", {"bmp"}},
        {"PICT", {"pict", "pct", "pic"}},
        {"PNM", {"pnm", "ppm", "pgm", "pbm", "pam"}},
        {"TGA", {"tga"}},
        {"WEBP", {"webp"}},
        {"ICO", {"ico"}},
        {"XPM", {"xpm"}},
    };
    return list;
}

bool startsWith(const std::vector<uint8_t>& bytes, size_t offset, const char* magic, size_t n) {
    return bytes.size() >= offset + n && std::memcmp(bytes.data() + offset, magic, n) == 0;
}

std::string lowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// The format of a file from its first bytes; empty when it is none of ours. Targa
// files have no signature, so only their extension tells them.
std::string formatOf(const std::vector<uint8_t>& b, const std::string& path) {
    if (startsWith(b, 0, "\x89PNG\r\n\x1a\n", 8)) return "PNG";
    if (startsWith(b, 0, "\xff\xd8\xff", 3)) return "JPEG";
    if (startsWith(b, 0, "GIF87a", 6) || startsWith(b, 0, "GIF89a", 6)) return "GIF";
    if (startsWith(b, 0, "II*\0", 4) || startsWith(b, 0, "MM\0*", 4) ||
        startsWith(b, 0, "II+\0", 4) || startsWith(b, 0, "MM\0+", 4))
        return "TIFF";
    if (startsWith(b, 0, "BM", 2)) return "BMP";
    if (startsWith(b, 0, "RIFF", 4) && startsWith(b, 8, "WEBP", 4)) return "WEBP";
    if (startsWith(b, 0, "\0\0\1\0", 4)) return "ICO";
    if (startsWith(b, 0, "/* XPM */", 9)) return "XPM";
    if (b.size() >= 3 && b[0] == 'P' && b[1] >= '1' && b[1] <= '7' && std::isspace(b[2]))
        return "PNM";
    // A picture file: 512 bytes for the application, the picture's size and frame, then
    // the version opcode (0x1101 for version 1, 0x0011 0x02ff for version 2).
    if (startsWith(b, 522, "\x00\x11\x02\xff", 4) || startsWith(b, 522, "\x11\x01", 2)) return "PICT";
    const std::string ext = lowerExtension(path);
    if (ext == "tga") return "TGA";
    return {};
}

// Whether the first directory of a TIFF file stores its samples in planes.
bool tiffIsPlanar(const std::vector<uint8_t>& b) {
    if (b.size() < 8) return false;
    const bool little = b[0] == 'I';
    auto value = [&](size_t at, size_t n, uint64_t& out) {
        if (at > b.size() || b.size() - at < n) return false;
        out = 0;
        for (size_t i = 0; i < n; ++i)
            out |= static_cast<uint64_t>(b[at + i]) << (8 * (little ? i : n - 1 - i));
        return true;
    };
    uint64_t version = 0, dir = 0, count = 0;
    if (!value(2, 2, version)) return false;
    const bool big = version == 43;
    const size_t countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12, valueAt = big ? 12 : 8;
    if (!value(big ? 8 : 4, big ? 8 : 4, dir) || !value(dir, countBytes, count)) return false;
    for (uint64_t i = 0; i < count && i < 4096; ++i) {
        const uint64_t entry = dir + countBytes + i * entryBytes;
        uint64_t tag = 0, planar = 0;
        if (!value(entry, 2, tag)) return false;
        if (tag == 284) return value(entry + valueAt, 2, planar) && planar == 2;
    }
    return false;
}

// The whole file, when it is a regular file of bounded size.
std::optional<std::vector<uint8_t>> readFile(const std::string& path) {
    // Non-blocking, so that a fifo or a device cannot hold the caller up.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::vector<uint8_t>> result;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= MAX_FILE_BYTES) {
        std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        bytes.resize(got);
        if (got > 0) result = std::move(bytes);
    }
    ::close(fd);
    return result;
}

// A sample from 0 to 1 as the nearest 8-bit value.
uint8_t toChar(double sample) { return static_cast<uint8_t>(std::lround(sample * 255.0)); }

// Colour samples times alpha, rounded: the bitmap's samples are premultiplied.
template <typename Sample>
void premultiply(Sample* samples, size_t pixels, size_t spp, unsigned max) {
    for (size_t p = 0; p < pixels; ++p) {
        Sample* px = samples + p * spp;
        const uint32_t a = px[spp - 1];
        for (size_t s = 0; s + 1 < spp; ++s)
            px[s] = static_cast<Sample>((static_cast<uint32_t>(px[s]) * a + max / 2) / max);
    }
}

template <typename Sample>
void premultiplyPlanes(uint8_t* data, size_t pixels, size_t planes, unsigned max) {
    Sample* alpha = reinterpret_cast<Sample*>(data) + (planes - 1) * pixels;
    for (size_t s = 0; s + 1 < planes; ++s) {
        Sample* plane = reinterpret_cast<Sample*>(data) + s * pixels;
        for (size_t p = 0; p < pixels; ++p)
            plane[p] = static_cast<Sample>((static_cast<uint32_t>(plane[p]) * alpha[p] + max / 2) / max);
    }
}

}  // namespace

struct Image::Impl {
    Magick::Image image;
    std::string format;
    bool planar = false;
    int pngColourType = -1;  // the colour type a PNG file stores, when it is one
};

Image::Image(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Image::~Image() = default;

std::shared_ptr<Image> Image::initWithContentsOfFile(const std::optional<std::string>& path) {
    if (!path || path->empty()) return nullptr;
    const auto bytes = readFile(*path);
    if (!bytes) return nullptr;
    const std::string format = formatOf(*bytes, *path);
    if (format.empty()) return nullptr;

    magick::ensureStarted();
    auto impl = std::make_unique<Impl>();
    impl->format = format;
    try {
        if (!Magick::CoderInfo(format).isReadable()) return nullptr;
        Magick::Blob blob(bytes->data(), bytes->size());
        impl->image.magick(format);
        impl->image.subImage(0);
        impl->image.subRange(1);
        try {
            impl->image.read(blob);
        } catch (const Magick::WarningCorruptImage&) {
            return nullptr;  // truncated or damaged data: the picture is not whole
        } catch (const Magick::WarningResourceLimit&) {
            return nullptr;
        } catch (const Magick::WarningCache&) {
            return nullptr;
        } catch (const Magick::Warning&) {
            // Something the decoder passed over (an unknown tag, a profile): the picture stands.
        }
        if (!impl->image.isValid() || impl->image.columns() == 0 || impl->image.rows() == 0)
            return nullptr;
        if (impl->image.columns() > INT32_MAX || impl->image.rows() > INT32_MAX) return nullptr;
        if (format == "TIFF") impl->planar = tiffIsPlanar(*bytes);
        if (format == "PNG") {
            const std::string type = impl->image.attribute("png:IHDR.color-type-orig");
            if (!type.empty() && std::isdigit(static_cast<unsigned char>(type[0])))
                impl->pngColourType = type[0] - '0';
        }
    } catch (const std::exception&) {
        return nullptr;
    }
    return std::shared_ptr<Image>(new Image(std::move(impl)));
}

int Image::pixelsWide() const { return static_cast<int>(impl_->image.columns()); }
int Image::pixelsHigh() const { return static_cast<int>(impl_->image.rows()); }
const std::string& Image::format() const { return impl_->format; }

Size Image::size() const {
    const Magick::Image& image = impl_->image;
    const Magick::ResolutionType units = image.resolutionUnits();
    // Pixels an inch, from the file's resolution when it gives one in real units.
    auto inch = [&](double resolution) {
        double perInch = 0.0;
        if (units == Magick::PixelsPerInchResolution) perInch = resolution;
        if (units == Magick::PixelsPerCentimeterResolution) perInch = resolution * 2.54;
        return std::isfinite(perInch) && perInch >= 1.0 && perInch <= 1e6 ? perInch : 72.0;
    };
    return {static_cast<double>(image.columns()) * 72.0 / inch(image.xResolution()),
            static_cast<double>(image.rows()) * 72.0 / inch(image.yResolution())};
}

std::unique_ptr<BitmapImageRep> Image::bitmapRepresentation() const {
    try {
        Magick::Image image = impl_->image;  // shares the pixels until changed
        enum class Kind { Grey, Palette, Colour } kind;
        const auto space = image.colorSpace();
        const bool pseudo = image.classType() == Magick::PseudoClass && image.colorMapSize() > 0 &&
                            image.colorMapSize() <= 256;
        switch (impl_->pngColourType) {
        case 0:
        case 4: kind = Kind::Grey; break;
        case 3: kind = pseudo ? Kind::Palette : Kind::Colour; break;
        case 2:
        case 6: kind = Kind::Colour; break;
        default:
            kind = space == Magick::GRAYColorspace ? Kind::Grey
                   : pseudo                        ? Kind::Palette
                                                   : Kind::Colour;
        }
        if (kind != Kind::Grey && space != Magick::sRGBColorspace &&
            space != Magick::RGBColorspace && space != Magick::TransparentColorspace) {
            // CMYK, YCbCr and the like are shown in sRGB.
            image.colorSpace(Magick::sRGBColorspace);
            if (kind == Kind::Palette) kind = Kind::Colour;
        }

        const size_t w = image.columns(), h = image.rows();
        BitmapImageRep::Layout l;
        l.pixelsWide = static_cast<int>(w);
        l.pixelsHigh = static_cast<int>(h);

        if (kind == Kind::Palette) {
            l.bitsPerSample = 8;
            l.samplesPerPixel = 1;
            l.bitsPerPixel = 8;
            l.bytesPerRow = l.pixelsWide;
            l.colorSpaceName = IndexedColorSpace;
            const bool alpha = magick::hasAlpha(image);
            const size_t colours = image.colorMapSize();
            std::vector<PaletteEntry> palette(256, PaletteEntry{0, 0, 0, 255});
            for (size_t i = 0; i < colours; ++i) {
                const Magick::ColorRGB c = image.colorMap(i);
                PaletteEntry e{toChar(c.red()), toChar(c.green()), toChar(c.blue()),
                               alpha ? toChar(magick::alphaOf(c)) : uint8_t{255}};
                if (alpha) {
                    uint8_t rgb[4] = {e.r, e.g, e.b, e.a};
                    premultiply(rgb, 1, 4, 255);
                    e = {rgb[0], rgb[1], rgb[2], rgb[3]};
                }
                palette[i] = e;
            }
            std::vector<uint8_t> indexes(w * h);
            std::vector<size_t> row(w);
            Magick::Pixels view(image);
            for (size_t y = 0; y < h; ++y) {
                if (!magick::readIndexRow(image, view, static_cast<ssize_t>(y), w, row.data())) return nullptr;
                for (size_t x = 0; x < w; ++x)
                    indexes[y * w + x] = static_cast<uint8_t>(std::min(row[x], colours - 1));
            }
            return std::make_unique<BitmapImageRep>(std::move(l), std::move(indexes), std::move(palette));
        }

        const bool alpha = magick::hasAlpha(image);
        const int bits = image.depth() > 8 ? 16 : 8;
        const size_t bytes = static_cast<size_t>(bits / 8);
        const std::string channels = std::string(kind == Kind::Grey ? "R" : "RGB") + (alpha ? "A" : "");
        const size_t spp = channels.size();
        const auto storage = bits == 16 ? Magick::ShortPixel : Magick::CharPixel;
        l.bitsPerSample = bits;
        l.samplesPerPixel = static_cast<int>(spp);
        l.hasAlpha = alpha;
        l.colorSpaceName = kind == Kind::Grey ? NSCalibratedWhiteColorSpace : NSCalibratedRGBColorSpace;
        l.isPlanar = impl_->planar;
        l.bitsPerPixel = l.isPlanar ? bits : bits * static_cast<int>(spp);
        l.bytesPerRow = static_cast<int>(w * (l.isPlanar ? bytes : bytes * spp));

        std::vector<uint8_t> data(w * h * bytes * spp);
        if (l.isPlanar) {
            for (size_t s = 0; s < spp; ++s)
                image.write(0, 0, w, h, std::string(1, channels[s]), storage, data.data() + s * w * h * bytes);
            if (alpha) {
                if (bits == 16) premultiplyPlanes<uint16_t>(data.data(), w * h, spp, 65535);
                else premultiplyPlanes<uint8_t>(data.data(), w * h, spp, 255);
            }
        } else {
            image.write(0, 0, w, h, channels, storage, data.data());
            if (alpha) {
                if (bits == 16) premultiply(reinterpret_cast<uint16_t*>(data.data()), w * h, spp, 65535);
                else premultiply(data.data(), w * h, spp, 255);
            }
        }
        return std::make_unique<BitmapImageRep>(std::move(l), std::move(data));
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::vector<std::string> Image::imageFileTypes() {
    magick::ensureStarted();
    std::vector<std::string> types;
    for (const Coder& coder : coders()) {
        try {
            if (!Magick::CoderInfo(coder.name).isReadable()) continue;
        } catch (const std::exception&) {
            continue;
        }
        types.insert(types.end(), coder.extensions.begin(), coder.extensions.end());
    }
    return types;
}

}  // namespace zorvan
