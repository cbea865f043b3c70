// lyrvox-cdg info: what a graphics file holds, instruction by instruction.
#include <array>
#include <iomanip>
#include <string>
#include <vector>

#include "playback/cdg/subcode_packet.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/command_line.h"
#include "tools/cli/packet_reader.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

const char* instructionName(Instruction instruction) {
    switch (instruction) {
        case Instruction::None:
            return "no graphics";
        case Instruction::MemoryPreset:
            return "memory preset";
        case Instruction::BorderPreset:
            return "border preset";
        case Instruction::TileBlock:
            return "tile block";
        case Instruction::ScrollPreset:
            return "scroll preset";
        case Instruction::ScrollCopy:
            return "scroll copy";
        case Instruction::DefineTransparentColour:
            return "define transparent colour";
        case Instruction::LoadColoursLow:
            return "load colours 0-7";
        case Instruction::LoadColoursHigh:
            return "load colours 8-15";
        case Instruction::TileBlockXor:
            return "tile block XOR";
    }
    return "unknown, ignored";
}

}  // namespace

int runInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    const bool parsed = parseArguments(parser, args).kind == ParseProblem::None;
    const QStringList files = parser.positionalArguments();
    if (!parsed || files.size() != 1) {
        err << "lyrvox-cdg info: give exactly one FILE\nusage: lyrvox-cdg info FILE\n";
        return 2;
    }
    const std::string file = toStd(files[0]);
    const std::string shown = escapeForTerminal(file);  // whole, whatever its bytes
    PacketReader reader;
    if (const std::string problem = reader.open(file); !problem.empty()) {
        err << "lyrvox-cdg info: " << problem << "\n";
        return 1;
    }
    std::array<unsigned long long, 64> perInstruction{};
    unsigned long long packets = 0;
    std::vector<uint8_t> buffer;
    for (;;) {
        bool readError = false;
        const std::size_t got = reader.next(buffer, readError);
        if (readError) {
            err << "lyrvox-cdg info: reading '" << shown << "' failed after " << reader.bytes()
                << " bytes\n";
            return 1;
        }
        if (got == 0) break;
        for (std::size_t i = 0; i < got; ++i) {
            ++perInstruction[static_cast<std::size_t>(
                instructionOf(packetFromBytes(buffer.data() + i * kPacketSize)))];
        }
        packets += got;
    }

    out << "file:      " << shown << "\n";
    out << "packets:   " << packets << "\n";
    out << "duration:  " << packetsToTime(static_cast<double>(packets)) << "\n";
    out << "instructions (low six bits of the instruction byte):\n";
    for (std::size_t i = 0; i < perInstruction.size(); ++i) {
        if (perInstruction[i] == 0) continue;
        std::string name = instructionName(static_cast<Instruction>(i));
        if (name.size() < 28) name.resize(28, ' ');
        out << "  " << std::setw(2) << i << "  " << name << perInstruction[i] << "\n";
    }
    if (reader.tail() != 0)
        err << "lyrvox-cdg info: warning: the length of '" << shown << "' (" << reader.bytes()
            << " bytes) is not a multiple of 24; the last " << reader.tail()
            << " bytes are never interpreted\n";
    return 0;
}

}  // namespace lyrvox
