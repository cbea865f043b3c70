// Full decode of a real song to its final picture: packets per second.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "playback/cdg/cdg_machine.h"

namespace {

std::vector<uint8_t> loadSong(const std::string& name) {
    std::ifstream in(std::string(LYRVOX_CORPUS_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void decodeSong(benchmark::State& state, const std::string& name) {
    const std::vector<uint8_t> song = loadSong(name);
    const std::size_t packets = song.size() / lyrvox::kPacketSize;
    if (packets == 0) {
        state.SkipWithError(("cannot read " + name).c_str());
        return;
    }
    auto machine = std::make_unique<lyrvox::CdgMachine>();
    std::vector<uint8_t> rgb(lyrvox::kScreenWidth * lyrvox::kScreenHeight * 3);
    for (auto _ : state) {
        machine->beginSession();
        lyrvox::interpretPackets(*machine, song.data(), song.size());
        machine->renderRgb24(rgb.data());
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * packets));
}

void BM_DecodeDemokar(benchmark::State& state) {
    decodeSong(state, "demokar.cdg");
}
void BM_DecodeComposer04(benchmark::State& state) {
    decodeSong(state, "composer04.cdg");
}

BENCHMARK(BM_DecodeDemokar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeComposer04)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
