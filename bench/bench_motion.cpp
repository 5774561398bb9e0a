// One frame of the simulation (advanceMotes + advanceFields) in each motion mode, for
// the default 1,500 motes and for large swarms. Reports the time per mote.
//
// The view has no GL: it is built with an empty factory and its fields are set by hand,
// as the sizing of a real view would set them.
#include "saver/Zorvan.h"
#include "tests/support/ViewState.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace zorvan;

namespace {

std::unique_ptr<Zorvan> makeSwarm(int count) {
    auto view = std::make_unique<Zorvan>(OpenGLViewFactory{});
    test::state(view).swarm.displayWidth = 1920;
    test::state(view).swarm.displayHeight = 1080;
    test::state(view).swarm.fieldWidth = 1920 / 3;
    test::state(view).swarm.fieldHeight = 1080 / 3;
    test::state(view).settings.speed = 0.8f;
    test::state(view).settings.smoothness = 0.99f;
    test::state(view).settings.light = LIGHT;
    test::state(view).settings.heavy = HEAVY;
    test::state(view).picture.logoWidth = 60;
    test::state(view).picture.logoHeight = 100;
    test::state(view).settings.numMotes = count;
    srandom(1);
    view->initVectorField();
    view->allocateMotes();
    for (int i = 0; i < test::state(view).settings.numMotes; ++i) view->initMote(i);
    return view;
}

void BM_Frame(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    const int count = static_cast<int>(state.range(1));
    auto view = makeSwarm(count);
    test::state(view).mode = mode;
    // A mode runs a few hundred frames at a time; far longer, gathered or coasting motes
    // slow to subnormal speeds that the saver never meets. Start again from the seeded
    // swarm every 256 frames.
    std::vector<Mote> seeded(test::state(view).swarm.motes, test::state(view).swarm.motes + count);
    int frame = 0;
    for (auto _ : state) {
        if (++frame == 256) {
            state.PauseTiming();
            std::memcpy(test::state(view).swarm.motes, seeded.data(), sizeof(Mote) * seeded.size());
            frame = 0;
            state.ResumeTiming();
        }
        view->advanceMotes();
        view->advanceFields();
        benchmark::DoNotOptimize(test::state(view).swarm.motes);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["ns_per_mote"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * count,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    static const char* const NAMES[] = {"flow", "three_leaders", "gather", "coast",
                                        "swirl", "scatter", "two_leaders"};
    state.SetLabel(NAMES[mode]);
}

}  // namespace

BENCHMARK(BM_Frame)
    ->ArgNames({"mode", "motes"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {1500, 100000, 1000000}})
    ->Unit(benchmark::kMicrosecond);
