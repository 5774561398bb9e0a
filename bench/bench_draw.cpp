// Drawing one frame on a 1920 x 1080 offscreen buffer, for each shape variant, at the
// default swarm size and at a very large one. Mesa renders in software here, so the
// time includes rasterising on its worker threads; the frame is finished (glFinish)
// inside each iteration, so wall time is what counts.
#include "platform/gl/OffscreenView.h"
#include "saver/Zorvan.h"
#include "tests/support/ViewState.h"

#include <benchmark/benchmark.h>

#include <cstdint>

using namespace zorvan;

namespace {

constexpr double WIDTH = 1920, HEIGHT = 1080;

// A fixed spread of motes, independent of the seeding: same frame every run.
class Swarm {
public:
    explicit Swarm(int count) : view_(OffscreenView::factory()) {
        ZorvanState& s = test::state(view_);
        if (!view_.initWithFrame({0, 0, WIDTH, HEIGHT}, false) || !s._view) return;
        view_.setFrameSize({WIDTH, HEIGHT});
        view_.startAnimation();

        s.settings.numMotes = count;
        view_.allocateMotes();
        if (view_.liveMotes() != count) return;
        for (int i = 0; i < count; ++i) {
            Mote& m = s.swarm.motes[i];
            m.vel = {next() * 10.0f - 5.0f, next() * 10.0f - 5.0f};
            m.pos = {next() * static_cast<float>(WIDTH), next() * static_cast<float>(HEIGHT)};
            m.lastPos = {m.pos.x - m.vel.x, m.pos.y - m.vel.y};
            m.weight = MIN_WEIGHT + next() * WEIGHT_RANGE;
            m.home = m.pos;
            const float t = (m.weight - MIN_WEIGHT) / WEIGHT_RANGE;
            m.colour = {LIGHT.r + (HEAVY.r - LIGHT.r) * t, LIGHT.g + (HEAVY.g - LIGHT.g) * t,
                        LIGHT.b + (HEAVY.b - LIGHT.b) * t};
        }
        s.settings.bg = {0.0f, 0.0f, 0.0f};
        s.settings.moteSize = 10;
        s.settings.drawMode = 0;
        ready_ = true;
    }

    bool ready() const { return ready_; }
    Zorvan& view() { return view_; }

    void drawFrame() {
        view_.glView()->lockFocus();
        view_.drawMotes();
        view_.glView()->unlockFocus();
    }

private:
    // A small linear congruential generator: fractions in [0, 1).
    float next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<float>(state_ >> 40) / static_cast<float>(1 << 24);
    }

    Zorvan view_;
    uint64_t state_ = 12345;
    bool ready_ = false;
};

const char* const SHAPE_NAMES[] = {"square", "diamond", "hexagon"};

void drawLoop(benchmark::State& state, int drawMode) {
    const int count = static_cast<int>(state.range(0));
    const int shape = static_cast<int>(state.range(1));
    const bool directional = state.range(2) != 0;
    Swarm swarm(count);
    if (!swarm.ready()) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    ZorvanState& s = test::state(swarm.view());
    s.settings.moteShape = shape;
    s.settings.directional = directional;
    s.settings.drawMode = drawMode;
    swarm.drawFrame();  // warm up
    for (auto _ : state) swarm.drawFrame();
    state.SetItemsProcessed(state.iterations() * count);
    state.SetLabel(std::string(SHAPE_NAMES[shape]) + (directional ? ", directional" : ""));
}

void BM_DrawMotes(benchmark::State& state) { drawLoop(state, 0); }
void BM_DrawMotesWithTails(benchmark::State& state) { drawLoop(state, 1); }

}  // namespace

BENCHMARK(BM_DrawMotes)
    ->ArgNames({"motes", "shape", "directional"})
    ->ArgsProduct({{1500, 100000}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_DrawMotesWithTails)
    ->ArgNames({"motes", "shape", "directional"})
    ->ArgsProduct({{1500, 100000}, {1}, {1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
