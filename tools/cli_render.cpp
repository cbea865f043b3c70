// lyrvox-cdg render and info: the CD+G machine on the command line.
//
// Exit status: 0 done, 1 the file could not be read or the picture not written,
// 2 the command line itself was wrong. Files are read in blocks of packets, never
// loaded whole.
#include <QImage>
#include <QString>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "playback/cdg_machine.h"
#include "tools/cli_commands.h"
#include "util/sha256.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

constexpr int kPacketsPerSecond = 300;
constexpr std::size_t kBlockPackets = 4096;  // 96 KiB per read
// Far beyond any real song (about 97 years of packets) yet safe in every integer used.
constexpr long long kMaxPackets = 1LL << 40;

// Reads a CD+G file packet by packet in blocks. The tail of a file whose length
// is not a multiple of 24 is counted but never handed out.
class PacketReader {
  public:
    // Empty message = opened; otherwise a sentence for the user.
    std::string open(const std::string& path) {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::file_status st = fs::status(path, ec);
        if (ec || !fs::exists(st)) return "'" + path + "': no such file";
        if (fs::is_directory(st)) return "'" + path + "' is a folder, not a CD+G file";
        if (!fs::is_regular_file(st)) return "'" + path + "' is not an ordinary file";
        in_.open(path, std::ios::binary);
        if (!in_) return "'" + path + "' cannot be read (permission denied?)";
        return {};
    }

    // Next block of whole packets (0 at the end). `error` is set on a read failure.
    // A block is filled completely unless the file ends, so a partial packet can
    // only be the file's tail.
    std::size_t next(std::vector<uint8_t>& buffer, bool& error) {
        buffer.resize(kBlockPackets * kPacketSize);
        std::size_t filled = 0;
        while (filled < buffer.size() && in_) {
            in_.read(reinterpret_cast<char*>(buffer.data() + filled),
                     static_cast<std::streamsize>(buffer.size() - filled));
            const auto got = static_cast<std::size_t>(in_.gcount());
            filled += got;
            bytes_ += got;
            if (got == 0) break;
        }
        if (in_.bad()) {
            error = true;
            return 0;
        }
        if (filled % kPacketSize != 0) tail_ = filled % kPacketSize;
        return filled / kPacketSize;
    }

    unsigned long long bytes() const { return bytes_; }
    std::size_t tail() const { return tail_; }

  private:
    std::ifstream in_;
    unsigned long long bytes_ = 0;
    std::size_t tail_ = 0;
};

std::optional<long long> parseCount(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || value < 0 || value > kMaxPackets)
        return std::nullopt;
    return value;
}

// Seconds to packets, rounded to the nearest packet (halves to even).
std::optional<long long> parseSeconds(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    const double packets = std::nearbyint(value * kPacketsPerSecond);
    if (packets > static_cast<double>(kMaxPackets)) return std::nullopt;
    return static_cast<long long>(packets);
}

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

const char* instructionName(int instruction) {
    switch (instruction) {
        case 0:
            return "no graphics";
        case 1:
            return "memory preset";
        case 2:
            return "border preset";
        case 6:
            return "tile block";
        case 20:
            return "scroll preset";
        case 24:
            return "scroll copy";
        case 28:
            return "define transparent colour";
        case 30:
            return "load colours 0-7";
        case 31:
            return "load colours 8-15";
        case 38:
            return "tile block XOR";
        default:
            return "unknown, ignored";
    }
}

struct RenderOptions {
    std::string file;
    std::optional<long long> packets;  // all when empty
    std::string output;
    bool sha256 = false;
};

// Empty result = parsed; otherwise the message for the user.
std::string parseRenderArgs(const std::vector<std::string>& args, RenderOptions& opts) {
    bool limitGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) -> bool {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "--packets" || a == "--time") {
            if (limitGiven) return "give only one of --packets and --time";
            limitGiven = true;
            if (!value(v)) return a + " needs a value";
            opts.packets = a == "--packets" ? parseCount(v) : parseSeconds(v);
            if (!opts.packets)
                return a == "--packets"
                           ? "bad packet count '" + v + "': expected a whole number from 0 up"
                           : "bad time '" + v + "': expected seconds from 0 up, such as 12.5";
        } else if (a == "-o" || a == "--output") {
            if (!value(opts.output)) return a + " needs a file name";
            const std::string ext = lowerExtension(opts.output);
            if (ext != ".bmp" && ext != ".png")
                return "cannot tell the picture format of '" + opts.output +
                       "': name it .bmp or .png";
        } else if (a == "--sha256") {
            opts.sha256 = true;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return "unknown option '" + a + "'";
        } else if (opts.file.empty()) {
            opts.file = a;
        } else {
            return "more than one FILE given ('" + opts.file + "' and '" + a + "')";
        }
    }
    if (opts.file.empty()) return "no FILE given";
    if (opts.output.empty() && !opts.sha256) return "nothing to do: give -o OUT and/or --sha256";
    return {};
}

const char kRenderUsage[] =
    "usage: lyrvox-cdg render FILE [--packets N | --time SECONDS] [-o OUT] [--sha256]\n";

}  // namespace

int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    RenderOptions opts;
    if (const std::string problem = parseRenderArgs(args, opts); !problem.empty()) {
        err << "lyrvox-cdg render: " << problem << "\n" << kRenderUsage;
        return 2;
    }
    PacketReader reader;
    if (const std::string problem = reader.open(opts.file); !problem.empty()) {
        err << "lyrvox-cdg render: " << problem << "\n";
        return 1;
    }

    std::error_code sameEc;
    if (!opts.output.empty() && std::filesystem::equivalent(opts.file, opts.output, sameEc)) {
        err << "lyrvox-cdg render: the picture would overwrite the song '" << opts.file
            << "'; choose another OUT\n";
        return 2;
    }

    auto machine = std::make_unique<CdgMachine>();  // ~200 KB: keep it off the stack
    machine->beginSession();
    const long long wanted = opts.packets.value_or(kMaxPackets);
    long long done = 0;
    std::vector<uint8_t> buffer;
    while (done < wanted) {
        bool readError = false;
        const std::size_t got = reader.next(buffer, readError);
        if (readError) {
            err << "lyrvox-cdg render: reading '" << opts.file << "' failed after "
                << reader.bytes() << " bytes\n";
            return 1;
        }
        if (got == 0) break;
        for (std::size_t i = 0; i < got && done < wanted; ++i, ++done)
            machine->InterpretPacket(packetFromBytes(buffer.data() + i * kPacketSize));
    }
    if (opts.packets && done < *opts.packets)
        err << "lyrvox-cdg render: note: '" << opts.file << "' holds only " << done
            << " packets; the picture is the one after all of them\n";

    if (opts.sha256) {
        std::vector<uint8_t> rgb(static_cast<std::size_t>(kScreenWidth) * kScreenHeight * 3);
        machine->renderRgb24(rgb.data());
        out << sha256Hex(rgb.data(), rgb.size()) << "\n";
    }
    if (!opts.output.empty()) {
        QImage image(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
        machine->renderArgb32(reinterpret_cast<uint32_t*>(image.bits()),
                              static_cast<int>(image.bytesPerLine() / 4));
        const char* format = lowerExtension(opts.output) == ".png" ? "PNG" : "BMP";
        if (!image.save(QString::fromStdString(opts.output), format)) {
            err << "lyrvox-cdg render: cannot write '" << opts.output
                << "' (does the folder exist, may it be written?)\n";
            return 1;
        }
    }
    return 0;
}

int runInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1 || (!args[0].empty() && args[0][0] == '-')) {
        err << "lyrvox-cdg info: give exactly one FILE\nusage: lyrvox-cdg info FILE\n";
        return 2;
    }
    const std::string& file = args[0];
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
            err << "lyrvox-cdg info: reading '" << file << "' failed after " << reader.bytes()
                << " bytes\n";
            return 1;
        }
        if (got == 0) break;
        for (std::size_t i = 0; i < got; ++i) ++perInstruction[buffer[i * kPacketSize + 1] & 0x3Fu];
        packets += got;
    }

    out << "file:      " << file << "\n";
    out << "packets:   " << packets << "\n";
    out << "duration:  " << PacketsToTime(static_cast<double>(packets)) << "\n";
    out << "instructions (low six bits of the instruction byte):\n";
    for (std::size_t i = 0; i < perInstruction.size(); ++i) {
        if (perInstruction[i] == 0) continue;
        std::string name = instructionName(static_cast<int>(i));
        if (name.size() < 28) name.resize(28, ' ');
        out << "  " << std::setw(2) << i << "  " << name << perInstruction[i] << "\n";
    }
    if (reader.tail() != 0)
        err << "lyrvox-cdg info: warning: the length of '" << file << "' (" << reader.bytes()
            << " bytes) is not a multiple of 24; the last " << reader.tail()
            << " bytes are never interpreted\n";
    return 0;
}

}  // namespace lyrvox
