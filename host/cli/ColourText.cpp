#include "host/cli/ColourText.h"

#include "platform/image/MagickSetup.h"

#include <Magick++.h>

namespace zorvan::host {

// MagickCore's query rather than Magick::Color: that constructor leaks its pixel when it
// throws for a name it does not know.
std::optional<Colour> parseColourText(const std::string& text) {
    magick::ensureStarted();
    if (text.empty()) return std::nullopt;
    MagickCore::PixelPacket pixel{};
    MagickCore::ExceptionInfo* exception = MagickCore::AcquireExceptionInfo();
    const bool known = MagickCore::QueryColorCompliance(text.c_str(), MagickCore::AllCompliance,
                                                        &pixel, exception) == MagickCore::MagickTrue;
    MagickCore::DestroyExceptionInfo(exception);
    // ImageMagick 6 keeps opacity taken away: 0 is fully opaque.
    if (!known || pixel.opacity != 0) return std::nullopt;
    using MagickCore::Quantum;  // QuantumRange is written in terms of it
    const double range = double(QuantumRange);
    return Colour{float(double(pixel.red) / range), float(double(pixel.green) / range),
                  float(double(pixel.blue) / range)};
}

}  // namespace zorvan::host
