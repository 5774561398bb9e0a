// A long unattended run: a million frames offscreen at a small size with the mode
// schedule running, tails on, and every shape (plain and turned) in turn. Prints the
// time, the peak memory after the first 10,000 frames and at the end, and checks that
// the peak grew by no more than 1 MB and that every mote still holds finite numbers.
// Not a test: run it by hand (build/bin/soak [FRAMES] [MOTES]); exits 1 when a check
// fails. Tails dominate the time: with llvmpipe, LP_NUM_THREADS=0 suits this small size.
#include "platform/gl/OffscreenView.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "saver/Zorvan.h"
#include "tests/support/ViewState.h"

#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

using namespace zorvan;

namespace {

// The process's peak resident memory so far, in KiB (VmHWM).
long peakRssKiB() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
    std::fclose(f);
    return kib;
}

// Bytes the C allocator has handed out and not had back: grows with a leak, where the
// peak RSS also grows with the largest frame seen so far.
long heapInUseKiB() { return static_cast<long>(mallinfo2().uordblks / 1024); }

bool allFinite(const Zorvan& view) {
    for (int i = 0; i < view.liveMotes(); ++i) {
        const Mote& m = test::state(view).swarm.motes[i];
        for (float f : {m.pos.x, m.pos.y, m.lastPos.x, m.lastPos.y, m.vel.x, m.vel.y, m.weight,
                        m.home.x, m.home.y, m.colour.r, m.colour.g, m.colour.b})
            if (!std::isfinite(f)) return false;
    }
    for (const FieldVector& v : test::state(view).swarm.fields)
        if (!std::isfinite(v.x) || !std::isfinite(v.y)) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
    const long motes = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 1500;
    if (frames <= 0 || motes <= 0 || motes > 1000000) {
        std::fprintf(stderr, "usage: soak [FRAMES] [MOTES]\n");
        return 2;
    }
    const long warmUp = 10000;
    constexpr double W = 160, H = 120;

    // The defaults, never the user's settings.
    const auto scratch = std::filesystem::temp_directory_path() / "zorvan-soak.conf";
    std::filesystem::remove(scratch);
    ScreenSaverDefaults::setStorePathOverride(scratch.string());
    srandom(1);

    Zorvan view{OffscreenView::factory()};
    if (!view.initWithFrame({0, 0, W, H}, false) || !view.glView()) {
        std::fprintf(stderr, "soak: no offscreen view\n");
        return 1;
    }
    test::state(view).settings.drawMode = 1;
    test::state(view).settings.numMotes = static_cast<int>(motes);
    view.allocateMotes();
    view.setFrameSize({W, H});
    view.startAnimation();

    const auto start = std::chrono::steady_clock::now();
    long peakAfterWarmUp = -1, heapAfterWarmUp = -1;
    for (long i = 0; i < frames; ++i) {
        // A new shape every 1000 frames: square, diamond, hexagon, each turned and plain.
        if (i % 1000 == 0) {
            const long turn = i / 1000;
            test::state(view).settings.moteShape = static_cast<int>(turn % 3);
            test::state(view).settings.directional = (turn / 3) % 2 == 0;
        }
        view.animateOneFrame();
        if ((i + 1) % (frames / 10 > 0 ? frames / 10 : 1) == 0)
            std::printf("soak: frame %ld: peak RSS %ld KiB, heap in use %ld KiB\n", i + 1,
                        peakRssKiB(), heapInUseKiB());
        if (i + 1 == warmUp) {
            peakAfterWarmUp = peakRssKiB();
            heapAfterWarmUp = heapInUseKiB();
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long peakAtEnd = peakRssKiB();
    const bool finite = allFinite(view);
    std::filesystem::remove(scratch);

    std::printf("soak: %ld frames of %d motes at %gx%g in %.1f s (%.0f frames/s)\n", frames,
                view.liveMotes(), W, H, seconds, frames / seconds);
    std::printf("soak: peak RSS %ld KiB after %ld frames, %ld KiB at the end (+%ld KiB)\n",
                peakAfterWarmUp, warmUp, peakAtEnd, peakAtEnd - peakAfterWarmUp);
    std::printf("soak: heap in use %ld KiB after %ld frames, %ld KiB at the end\n", heapAfterWarmUp,
                warmUp, heapInUseKiB());
    std::printf("soak: final state %s\n", finite ? "finite" : "holds NaN or infinity");
    const bool grew = frames > warmUp && peakAtEnd - peakAfterWarmUp > 1024;
    return finite && !grew ? 0 : 1;
}
