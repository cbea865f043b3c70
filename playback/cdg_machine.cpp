#include "playback/cdg_machine.h"

namespace lyrvox {
// Placeholder bodies; the machine is filled in by its own change.
void CdgMachine::beginSession() { PacketCount = 0; }
void CdgMachine::InterpretPacket(const SubcodePacket&) {
    ++PacketCount;
    UFlag = BFlag;
}
void CdgMachine::PlotPixel(int, int, int) {}
void CdgMachine::FillArea(int, int, int, int, int) {}
void CdgMachine::ClearScreen() {}
void CdgMachine::MemoryPreset(const SubcodePacket&) {}
void CdgMachine::BorderPreset(const SubcodePacket&) {}
void CdgMachine::TileBlock(const SubcodePacket&, bool) {}
void CdgMachine::LoadColourTable(const SubcodePacket&, int) {}
void CdgMachine::ScrollScreen(const SubcodePacket&, int) {}
uint8_t CdgMachine::memoryAtPicture(int, int) const { return 0; }
PackedColour CdgMachine::pictureColour(int, int) const { return kWhite; }
void CdgMachine::renderRgb24(uint8_t*) const {}
void CdgMachine::renderArgb32(uint32_t*, int) const {}
}  // namespace lyrvox
