// Logo work: loading the default picture (decode, bitmap, table), building the pixel
// table of a full-screen bitmap, and redrawing a 16-bit greyscale bitmap into RGBA.
#include "platform/bundle/Bundle.h"
#include "platform/image/Image.h"
#include "saver/Zorvan.h"
#include "tests/support/ViewState.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

using namespace zorvan;

namespace {

void BM_LoadDefaultLogo(benchmark::State& state) {
    const auto path = Bundle::bundleForClass().pathForImageResource("zorvan.pict");
    if (!path) {
        state.SkipWithError("the default picture is missing");
        return;
    }
    Zorvan view{OpenGLViewFactory{}};
    test::state(view).settings.logoFile = path;
    test::state(view).settings.minimumContrast = 0.5f;
    for (auto _ : state) {
        view.loadLogo();
        benchmark::DoNotOptimize(test::state(view).picture.logo);
    }
    state.counters["pictured"] = test::state(view).picture.numNonBGPixels;
}
BENCHMARK(BM_LoadDefaultLogo)->Unit(benchmark::kMillisecond);

void BM_PixelTable1080p(benchmark::State& state) {
    constexpr int W = 1920, H = 1080;
    std::vector<uint8_t> bytes(static_cast<size_t>(W) * H * 4);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
    const BitmapImageRep rep({W, H, 8, 4, true, false, NSCalibratedRGBColorSpace, W * 4, 32}, std::move(bytes));
    Zorvan view{OpenGLViewFactory{}};
    test::state(view).picture.logoWidth = W;
    test::state(view).picture.logoHeight = H;
    test::state(view).settings.minimumContrast = 0.5f;
    for (auto _ : state) {
        Colour* table = view.getPixelColoursFromBitmapRep(rep);
        benchmark::DoNotOptimize(table);
        std::free(table);
    }
    state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_PixelTable1080p)->Unit(benchmark::kMillisecond);

void BM_RedrawGrey16(benchmark::State& state) {
    constexpr int W = 400, H = 200;
    std::vector<uint8_t> bytes(static_cast<size_t>(W) * H * 2, 0x5A);
    const BitmapImageRep grey({W, H, 16, 1, false, false, NSCalibratedWhiteColorSpace, W * 2, 16}, std::move(bytes));
    auto target = BitmapImageRep::initWithBitmapDataPlanes(nullptr, W, H, 8, 4, true, false,
                                                           NSCalibratedRGBColorSpace, 0, 0);
    GraphicsContext::setCurrentContext(GraphicsContext::graphicsContextWithBitmapImageRep(*target));
    for (auto _ : state) benchmark::DoNotOptimize(grey.drawInRect({0, 0, W, H}));
    GraphicsContext::setCurrentContext(nullptr);
    state.SetItemsProcessed(state.iterations() * W * H);
}
BENCHMARK(BM_RedrawGrey16)->Unit(benchmark::kMillisecond);

}  // namespace
