// lyrvox-cdg library: the player's song library for scripts. "scan DIR..." adds
// the folders to the index and scans them (with --title-artist or --artist-title
// it first sets how the names below DIR read, also for a folder inside a library
// folder); "search WORDS" prints the matching songs one a line: artist, title,
// disc id, length, format and path, by tabs, each escaped for the terminal so
// that no name can break the line or the columns.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <atomic>

#include "library/library_scanner.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/command_line.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

const char kUsage[] =
    "usage: lyrvox-cdg library scan [--title-artist | --artist-title] DIR... [--db FILE]\n"
    "       lyrvox-cdg library search WORDS... [--db FILE]\n";
constexpr int kSearchLimit = 1000000;

// The file the player uses: its data folder under the player's own names.
std::string defaultDatabase() {
    QCoreApplication::setOrganizationName(QStringLiteral("Lyrvox"));
    QCoreApplication::setApplicationName(QStringLiteral("lyrvox"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return QFile::encodeName(folder + QStringLiteral("/library.db")).toStdString();
}

}  // namespace

int runLibrary(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    QCommandLineParser parser;
    const QCommandLineOption db(QStringLiteral("db"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption titleArtist(QStringLiteral("title-artist"));
    const QCommandLineOption artistTitle(QStringLiteral("artist-title"));
    parser.addOptions({db, titleArtist, artistTitle});
    const bool parsed = parseArguments(parser, args).kind == ParseProblem::None;
    QStringList words = parser.positionalArguments();
    const QString action = words.isEmpty() ? QString() : words.takeFirst();
    const bool ordered = parser.isSet(titleArtist) || parser.isSet(artistTitle);
    if (!parsed || (action != QStringLiteral("scan") && action != QStringLiteral("search")) ||
        (action == QStringLiteral("scan") && words.isEmpty()) ||
        (parser.isSet(titleArtist) && parser.isSet(artistTitle)) ||
        (ordered && action != QStringLiteral("scan"))) {
        err << "lyrvox-cdg library: give scan DIR... or search WORDS\n" << kUsage;
        return 2;
    }
    const std::string path = parser.isSet(db) ? toStd(parser.value(db)) : defaultDatabase();
    LibraryIndex index(path);
    if (!index.notice().empty()) err << "lyrvox-cdg library: " << index.notice() << "\n";
    if (!index.isOpen()) return 1;

    if (action == QStringLiteral("search")) {
        std::string text;
        for (const QString& w : words) text += toStd(w) + " ";
        for (const LibrarySong& s : index.search(text, kSearchLimit).songs) {
            out << escapeForTerminal(s.artist) << '\t' << escapeForTerminal(s.title) << '\t'
                << escapeForTerminal(s.discId) << '\t'
                << packetsToTime(static_cast<double>(s.durationMs) * 0.3) << '\t'
                << escapeForTerminal(s.format) << '\t' << escapeForTerminal(s.path)
                << (s.available ? "" : "\t(missing)") << '\n';
        }
        return 0;
    }
    std::vector<LibraryFolder> folders;
    for (const QString& w : words) {
        std::string dir = toStd(w);
        if (!dir.starts_with('/'))
            dir = QFile::encodeName(QDir::currentPath()).toStdString() + "/" + dir;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        const NameOrder order =
            parser.isSet(titleArtist) ? NameOrder::TitleArtist : NameOrder::ArtistTitle;
        // With an order given, a folder already in the library (or inside one) takes it.
        const bool known = ordered && index.nameOrders().of(dir).has_value();
        const std::int64_t id = known ? 0 : index.addFolder(dir, order);
        if (known ? !index.setNameOrder(dir, order) : id == 0) {
            err << "lyrvox-cdg library: " << escapeForTerminal(dir) << ": " << index.error()
                << "\n";
            return 1;
        }
        for (const LibraryFolder& f : index.folders()) {
            const bool holds = known ? dir == f.path || dir.starts_with(f.path + "/") : f.id == id;
            const bool listed = std::any_of(folders.begin(), folders.end(),
                                            [&](const LibraryFolder& g) { return g.id == f.id; });
            if (holds && !listed) folders.push_back(f);
        }
    }
    const std::atomic<bool> cancel{false};
    const ScanCounts c = LibraryScanner(index).scan(folders, cancel);
    out << c.songs << " songs: " << c.added << " new, " << c.updated << " changed, " << c.removed
        << " gone, " << c.skipped << " skipped";
    if (c.missingFolders > 0) out << ", " << c.missingFolders << " folders missing";
    out << "\n";
    if (!c.error.empty()) {
        err << "lyrvox-cdg library: " << c.error << "\n";
        return 1;
    }
    return 0;
}

}  // namespace lyrvox
