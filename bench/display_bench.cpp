// One picture copy per display frame: at 15 frames per second a copy of the
// largest zoom step (882 x 612) should stay far below a millisecond, and a full
// 1920 x 1080 screen (stretched, or 1556 x 1080 with the shape kept) under one.
#include <benchmark/benchmark.h>

#include <vector>

#include "display/picture_copy.h"

namespace {

lyrvox::CdgMachine busyPicture() {
    lyrvox::CdgMachine m;
    for (int k = 0; k < 16; ++k)
        m.colourTable[static_cast<std::size_t>(k)] = 0x00102030u * static_cast<uint32_t>(k);
    for (std::size_t i = 0; i < m.picture.index.size(); ++i)
        m.picture.index[i] = static_cast<uint8_t>((i * 7) % 16);
    m.picture.blank = false;
    m.HOffset = 3;
    m.VOffset = 5;
    return m;
}

void BM_StretchVisibleWindow(benchmark::State& state) {
    const auto w = static_cast<int>(state.range(0));
    const auto h = static_cast<int>(state.range(1));
    const lyrvox::CdgMachine m = busyPicture();
    std::vector<uint32_t> frame(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (auto _ : state) {
        lyrvox::stretchVisibleWindow(m, w, h, frame.data(), w);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_StretchVisibleWindow)
    ->Args({294, 204})
    ->Args({441, 306})
    ->Args({588, 408})
    ->Args({882, 612})
    ->Args({1556, 1080})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
