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
#include <cerrno>
#include <cstring>

#include <sys/stat.h>

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

}  // namespace

namespace {

// Scans `folders` (every folder when empty), telling when it waits for another scan.
ScanCounts scanFolders(LibraryIndex& index, const std::vector<LibraryFolder>& folders,
                       std::ostream& err) {
    const std::atomic<bool> cancel{false};
    return LibraryScanner(index).scan(folders, cancel, [&](const ScanProgress& p) {
        if (p.waiting)
            err << "lyrvox-cdg library: another scan of this library is running; waiting for "
                   "it to finish...\n";
    });
}

// The index found damaged: kept aside, made again and filled from its folders
// (with `more` added first).
bool rebuild(LibraryIndex& index, const std::vector<std::string>& more, std::ostream& err) {
    const bool made = index.rebuild();
    err << "lyrvox-cdg library: " << index.notice() << "\n";
    if (!made) return false;
    for (const std::string& dir : more) index.addFolder(dir, NameOrder::ArtistTitle);
    index.rescanStarted();
    return true;
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
    if (parser.isSet(db) && parser.value(db).isEmpty()) {
        err << "lyrvox-cdg library: --db needs a file name\n";
        return 1;
    }
    // Every folder checked before the library is touched: a scan adds all or none.
    std::vector<std::string> dirs;
    if (action == QStringLiteral("scan")) {
        for (const QString& w : words) {
            std::string dir = toStd(w);
            if (!dir.starts_with('/'))
                dir = QFile::encodeName(QDir::currentPath()).toStdString() + "/" + dir;
            struct stat info {};
            const bool found = ::stat(dir.c_str(), &info) == 0;
            if (!found || !S_ISDIR(info.st_mode)) {
                const std::string why = found ? "not a folder" : std::strerror(errno);
                err << "lyrvox-cdg library: " << escapeForTerminal(dir) << ": " << why
                    << "; nothing was added\n";
                return 1;
            }
            dirs.push_back(dir);
        }
    }
    const std::string path = parser.isSet(db) ? toStd(parser.value(db)) : playerLibraryFile();
    LibraryIndex::Options options;
    options.waiting = [&err] {
        err << "lyrvox-cdg library: the library is in use by another program; waiting...\n";
    };
    LibraryIndex index(path, options);
    if (!index.notice().empty()) err << "lyrvox-cdg library: " << index.notice() << "\n";
    if (!index.isOpen()) return 1;
    if (index.needsRescan()) {  // made again from a damaged file: its songs first
        index.rescanStarted();
        const ScanCounts c = scanFolders(index, {}, err);
        err << "lyrvox-cdg library: " << c.songs << " songs found again\n";
    }

    if (action == QStringLiteral("search")) {
        std::string text;
        for (const QString& w : words) text += toStd(w) + " ";
        SearchResult found = index.search(text, kSearchLimit);
        if (index.damaged()) {
            if (!rebuild(index, {}, err)) return 1;
            const ScanCounts c = scanFolders(index, {}, err);
            err << "lyrvox-cdg library: " << c.songs << " songs found again\n";
            found = index.search(text, kSearchLimit);
        }
        for (const LibrarySong& s : found.songs) {
            out << escapeForTerminal(s.artist) << '\t' << escapeForTerminal(s.title) << '\t'
                << escapeForTerminal(s.discId) << '\t'
                << packetsToTime(static_cast<double>(s.durationMs) * 0.3) << '\t'
                << escapeForTerminal(s.format) << '\t' << escapeForTerminal(s.path)
                << (s.available ? "" : "\t(missing)") << '\n';
        }
        if (!index.error().empty()) {
            err << "lyrvox-cdg library: " << index.error() << "\n";
            return 1;
        }
        return 0;
    }
    std::vector<LibraryFolder> folders;
    for (std::string dir : dirs) {
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
    ScanCounts c = scanFolders(index, folders, err);
    if (c.damaged) {
        if (!rebuild(index, dirs, err)) return 1;
        c = scanFolders(index, {}, err);
    }
    // Why each was skipped, in the player's words, apart from the counts on standard output.
    for (const SkippedFile& s : c.skippedFiles)
        err << "skipped " << escapeForTerminal(s.path) << ": " << escapeForTerminal(s.reason)
            << "\n";
    if (c.skipped > static_cast<std::int64_t>(c.skippedFiles.size()))
        err << "and " << c.skipped - static_cast<std::int64_t>(c.skippedFiles.size())
            << " more skipped\n";
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
