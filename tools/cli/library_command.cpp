// lyrvox-cdg library: the player's song library for scripts. "scan DIR..." adds
// the folders to the index and scans them; "search WORDS" prints the matching
// songs one a line: artist, title, disc id, length, format and path, by tabs.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
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
    "usage: lyrvox-cdg library scan DIR... [--db FILE]\n"
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
    parser.addOption(db);
    const bool parsed = parseArguments(parser, args).kind == ParseProblem::None;
    QStringList words = parser.positionalArguments();
    const QString action = words.isEmpty() ? QString() : words.takeFirst();
    if (!parsed || (action != QStringLiteral("scan") && action != QStringLiteral("search")) ||
        (action == QStringLiteral("scan") && words.isEmpty())) {
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
    const std::string path = parser.isSet(db) ? toStd(parser.value(db)) : defaultDatabase();
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
            out << s.artist << '\t' << s.title << '\t' << s.discId << '\t'
                << packetsToTime(static_cast<double>(s.durationMs) * 0.3) << '\t' << s.format
                << '\t' << escapeForTerminal(s.path) << (s.available ? "" : "\t(missing)") << '\n';
        }
        if (!index.error().empty()) {
            err << "lyrvox-cdg library: " << index.error() << "\n";
            return 1;
        }
        return 0;
    }
    std::vector<LibraryFolder> folders;
    for (const std::string& dir : dirs) {
        const std::int64_t id = index.addFolder(dir, NameOrder::ArtistTitle);
        if (id == 0) {
            err << "lyrvox-cdg library: " << escapeForTerminal(dir) << ": " << index.error()
                << "\n";
            return 1;
        }
        for (const LibraryFolder& f : index.folders())
            if (f.id == id) folders.push_back(f);
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
