// lyrvox-cdg render: the picture after N packets (or seconds) of a song, as an
// image file or its SHA-256.
#include <QBuffer>
#include <QImage>
#include <QString>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "display/picture_image.h"
#include "playback/cdg/cdg_machine.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/command_line.h"
#include "tools/cli/packet_reader.h"
#include "util/replacing_file.h"
#include "util/rounding.h"
#include "util/sha256.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

// Far beyond any real song (about 97 years of packets) yet safe in every integer used.
constexpr long long kMaxPackets = 1LL << 40;

const char kRenderUsage[] =
    "usage: lyrvox-cdg render FILE [--packets N | --time SECONDS] [-o OUT] [--sha256]\n";

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
    const double packets = roundHalfEven(value * kPacketsPerSecond);
    if (packets > static_cast<double>(kMaxPackets)) return std::nullopt;
    return static_cast<long long>(packets);
}

std::string lowerExtension(const std::string& path) {
    return toLowerAscii(std::filesystem::path(path).extension().string());
}

struct RenderOptions {
    std::string file;
    std::optional<long long> packets;  // all when empty
    std::string output;
    bool sha256 = false;
};

// Empty result = parsed; otherwise the message for the user.
std::string parseRenderArgs(const std::vector<std::string>& args, RenderOptions& opts) {
    QCommandLineParser parser;
    const QCommandLineOption packets(QStringLiteral("packets"), QString(), QStringLiteral("N"));
    const QCommandLineOption time(QStringLiteral("time"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    QString(), QStringLiteral("OUT"));
    const QCommandLineOption sha256(QStringLiteral("sha256"));
    parser.addOptions({packets, time, output, sha256});
    const ParseProblem problem = parseArguments(parser, args);
    if (problem.kind == ParseProblem::UnknownOption)
        return "unknown option '" + problem.argument + "'";
    if (problem.kind == ParseProblem::MissingValue)
        return problem.argument + (problem.argument == "-o" || problem.argument == "--output"
                                       ? " needs a file name"
                                       : " needs a value");

    if (parser.values(packets).size() + parser.values(time).size() > 1)
        return "give only one of --packets and --time";
    if (parser.isSet(packets)) {
        const std::string v = toStd(parser.value(packets));
        opts.packets = parseCount(v);
        if (!opts.packets) return "bad packet count '" + v + "': expected a whole number from 0 up";
    }
    if (parser.isSet(time)) {
        const std::string v = toStd(parser.value(time));
        opts.packets = parseSeconds(v);
        if (!opts.packets) return "bad time '" + v + "': expected seconds from 0 up, such as 12.5";
    }
    if (parser.isSet(output)) {
        opts.output = toStd(parser.value(output));
        const std::string ext = lowerExtension(opts.output);
        if (ext != ".bmp" && ext != ".png")
            return "cannot tell the picture format of '" + escapeForTerminal(opts.output) +
                   "': name it .bmp or .png";
    }
    opts.sha256 = parser.isSet(sha256);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return "more than one FILE given ('" + escapeForTerminal(toStd(files[0])) + "' and '" +
               escapeForTerminal(toStd(files[1])) + "')";
    if (files.isEmpty() || files[0].isEmpty()) return "no FILE given";
    opts.file = toStd(files[0]);
    if (opts.output.empty() && !opts.sha256) return "nothing to do: give -o OUT and/or --sha256";
    return {};
}

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
        err << "lyrvox-cdg render: the picture would overwrite the song '"
            << escapeForTerminal(opts.file) << "'; choose another OUT\n";
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
            err << "lyrvox-cdg render: reading '" << escapeForTerminal(opts.file)
                << "' failed after " << reader.bytes() << " bytes\n";
            return 1;
        }
        if (got == 0) break;
        const auto take = static_cast<std::size_t>(std::min<long long>(got, wanted - done));
        done +=
            static_cast<long long>(interpretPackets(*machine, buffer.data(), take * kPacketSize));
    }
    if (opts.packets && done < *opts.packets)
        err << "lyrvox-cdg render: note: '" << escapeForTerminal(opts.file) << "' holds only "
            << done << " packets; the picture is the one after all of them\n";

    if (opts.sha256) {
        std::vector<uint8_t> rgb(static_cast<std::size_t>(kScreenWidth) * kScreenHeight * 3);
        machine->renderRgb24(rgb.data());
        out << sha256Hex(rgb.data(), rgb.size()) << "\n";
    }
    if (!opts.output.empty()) {
        // Encoded in memory, then put in place whole: an earlier picture of that
        // name stays as it was until the new one is complete on the disk.
        const char* format = lowerExtension(opts.output) == ".png" ? "PNG" : "BMP";
        QByteArray bytes;
        QBuffer device(&bytes);
        device.open(QIODevice::WriteOnly);
        std::error_code error = std::make_error_code(std::errc::io_error);
        if (pictureImage(*machine).save(&device, format)) {
            ReplacingFile file(opts.output);
            error = file.open();
            if (!error) file.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
            if (!error) error = file.commit(true);
        }
        if (error) {
            err << "lyrvox-cdg render: cannot write '" << escapeForTerminal(opts.output)
                << "': " << error.message() << "\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace lyrvox
