// Feeds arbitrary byte streams to the CD+G machine as packets and checks the
// machine's invariants afterwards: every memory cell and picture index
// within 0-15, the spare memory column and row untouched, the ring origin on the
// tile grid, the fine offsets in their ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "playback/cdg/cdg_machine.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// Coverage of the checks themselves tells the fuzzer nothing and costs most of
// the time per input.
__attribute__((no_sanitize("coverage"))) void checkInvariants(const lyrvox::CdgMachine& m,
                                                              bool sessionStarted) {
    // Scan the raw arrays: an OR over all cells tells whether any has a bit above 3.
    uint8_t any = 0;
    for (uint8_t cell : m.screenMemory) any |= cell;
    check(any < 16);
    for (int x = 0; x < lyrvox::kMemoryWidth; ++x)
        check(m.memoryCell(x, lyrvox::kScreenHeight) == 0);
    for (int y = 0; y < lyrvox::kMemoryHeight; ++y)
        check(m.memoryCell(lyrvox::kScreenWidth, y) == 0);
    // Before any session start, undrawn pixels keep the "no index, white" marker.
    uint8_t highest = 0;
    for (uint8_t index : m.picture.index) highest = index > highest ? index : highest;
    check(highest < 16 || (!sessionStarted && highest == lyrvox::kUndrawnIndex));
    check(m.XOff >= 0 && m.XOff <= 294 && m.XOff % 6 == 0);
    check(m.YOff >= 0 && m.YOff <= 204 && m.YOff % 12 == 0);
    check(m.HOffset >= 0 && m.HOffset <= 7);
    check(m.VOffset >= 0 && m.VOffset <= 15);
    check(m.currentColour >= 0 && m.currentColour <= 15);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // One machine per input, like one program run; the first byte chooses whether
    // the input starts with a session start (as the player does) or on the
    // machine as created (as the command-line tool's first packets could).
    static lyrvox::CdgMachine fresh;
    static lyrvox::CdgMachine machine;
    machine = fresh;
    const bool sessionStarted = size > 0 && (data[0] & 1);
    if (sessionStarted) machine.beginSession();
    const std::size_t packets = lyrvox::interpretPackets(machine, data, size);
    check(machine.PacketCount == static_cast<int32_t>(packets));
    checkInvariants(machine, sessionStarted);
    if (size > 0 && (data[0] & 6) == 6) {
        static uint8_t rgb[lyrvox::kScreenWidth * lyrvox::kScreenHeight * 3];
        machine.renderRgb24(rgb);
    }
    return 0;
}
