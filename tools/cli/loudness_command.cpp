// lyrvox-cdg loudness: each song's integrated loudness (EBU R128) and true peak;
// with --update, the library's songs not yet measured, kept for the player.
#include <QCommandLineParser>
#include <atomic>
#include <cmath>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "library/library_index.h"
#include "playback/archive/scratch_space.h"
#include "playback/media/loudness_meter.h"
#include "playback/media/loudness_updater.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/command_line.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

const char kUsage[] =
    "usage: lyrvox-cdg loudness SONG...\n"
    "       lyrvox-cdg loudness --update [--db FILE]\n";

// One decimal, as loudness meters show it; "-inf" where there is nothing above the
// gate (silence).
std::string decibels(double value) {
    if (!std::isfinite(value)) return "-inf";
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << (std::abs(value) < 0.05 ? 0.0 : value);
    return text.str();
}

// Measures the library's songs that have no reading for their present version.
int updateLibrary(const std::string& path, std::ostream& out, std::ostream& err) {
    LibraryIndex::Options options;
    options.recovery = LibraryIndex::Recovery::None;  // the player deals with a damaged file
    LibraryIndex index(path, options);
    if (!index.notice().empty()) err << "lyrvox-cdg loudness: " << index.notice() << "\n";
    if (!index.isOpen()) return 1;
    const std::atomic<bool> stop{false};
    const LoudnessUpdate done = updateLibraryLoudness(index, ScratchSpace::defaultRoot(), stop);
    out << done.measured << " measured, " << done.failed << " without audio, " << done.known
        << " already known\n";
    if (!index.error().empty()) {
        err << "lyrvox-cdg loudness: " << index.error() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int runLoudness(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    const QCommandLineOption db(QStringLiteral("db"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption update(QStringLiteral("update"));
    parser.addOptions({db, update});
    const bool parsed = parseArguments(parser, args).kind == ParseProblem::None;
    const QStringList songs = parser.positionalArguments();
    if (!parsed || (parser.isSet(update) ? !songs.isEmpty() : songs.isEmpty()) ||
        (parser.isSet(db) && !parser.isSet(update))) {
        err << kUsage;
        return 2;
    }
    if (parser.isSet(update))
        return updateLibrary(parser.isSet(db) ? toStd(parser.value(db)) : playerLibraryFile(), out,
                             err);

    const std::string scratch = ScratchSpace::defaultRoot();
    int status = 0;
    for (const QString& name : songs) {
        const std::string song = toStd(name);
        const LoudnessReading reading = measureSongLoudness(song, scratch);
        if (!reading.ok()) {
            err << "lyrvox-cdg: " << escapeForTerminal(song) << ": " << reading.error << "\n";
            status = 1;
            continue;
        }
        out << decibels(reading.integratedLufs.value_or(-INFINITY)) << "\t"
            << decibels(reading.truePeakDbtp) << "\t" << escapeForTerminal(song) << "\n";
    }
    return status;
}

}  // namespace lyrvox
