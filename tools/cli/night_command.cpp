// lyrvox-cdg singers and queue: a karaoke night's rotation for scripts, on the
// player's own library file. "singers add|remove NAME..." changes the rotation
// (all the names checked first: all are done or none), "singers list" prints it;
// "queue add [--singer NAME] [--key N] SONG..." queues songs for a singer, or on
// the plain queue without one; "queue list" prints the coming songs in rotation
// order, then the plain queue's, one a line: singer, artist, title and key, by
// tabs, each escaped for the terminal.
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>

#include <sys/stat.h>

#include "library/library_index.h"
#include "library/singer_rotation.h"
#include "library/song_name.h"
#include "tools/cli/cli_commands.h"
#include "tools/cli/command_line.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

const char kSingersUsage[] =
    "usage: lyrvox-cdg singers add [--next-round] NAME... [--db FILE]\n"
    "       lyrvox-cdg singers remove NAME... [--db FILE]\n"
    "       lyrvox-cdg singers list [--db FILE]\n";
const char kQueueUsage[] =
    "usage: lyrvox-cdg queue add [--singer NAME] [--key N] SONG... [--db FILE]\n"
    "       lyrvox-cdg queue list [--db FILE]\n";

// The library named by --db (or the player's), open; null after telling why not.
std::unique_ptr<LibraryIndex> openLibrary(const QCommandLineParser& parser,
                                          const QCommandLineOption& db, const std::string& who,
                                          std::ostream& err) {
    if (parser.isSet(db) && parser.value(db).isEmpty()) {
        err << who << "--db needs a file name\n";
        return nullptr;
    }
    const std::string path = parser.isSet(db) ? toStd(parser.value(db)) : playerLibraryFile();
    LibraryIndex::Options options;
    options.waiting = [&err, who] {
        err << who << "the library is in use by another program; waiting...\n";
    };
    auto index = std::make_unique<LibraryIndex>(path, options);
    if (!index->notice().empty()) err << who << index->notice() << "\n";
    if (!index->isOpen()) return nullptr;
    return index;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Why the player could not play `path` ("" when it could): a regular file of a
// kind it opens, with something in it.
std::string unplayable(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::strerror(errno);
    if (!S_ISREG(info.st_mode)) return "not a file";
    const std::size_t dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : lower(path.substr(dot));
    if (ext != ".cdg" && ext != ".rw" && ext != ".zip")
        return "not a karaoke song (a .cdg, .rw or .zip file)";
    if (info.st_size < 24) return "empty or not CD+G";  // not one graphics packet
    return "";
}

std::string keyText(std::optional<int> key) {
    if (!key || *key == 0) return "0";
    return (*key > 0 ? "+" : "") + std::to_string(*key);
}

}  // namespace

int runSingers(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string who = "lyrvox-cdg singers: ";
    QCommandLineParser parser;
    const QCommandLineOption db(QStringLiteral("db"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption nextRound(QStringLiteral("next-round"));
    parser.addOptions({db, nextRound});
    const bool parsed = parseArguments(parser, args).kind == ParseProblem::None;
    QStringList words = parser.positionalArguments();
    const std::string action = words.isEmpty() ? "" : toStd(words.takeFirst());
    const bool changes = action == "add" || action == "remove";
    if (!parsed || (!changes && action != "list") || (changes && words.isEmpty()) ||
        (action == "list" && !words.isEmpty()) || (parser.isSet(nextRound) && action != "add")) {
        err << who << "give add NAME..., remove NAME... or list\n" << kSingersUsage;
        return 2;
    }
    const auto index = openLibrary(parser, db, who, err);
    if (!index) return 1;
    SingerRotation rotation(*index);
    if (!rotation.error().empty()) {
        err << who << rotation.error() << "\n";
        return 1;
    }
    if (action == "list") {
        for (const RotationSinger& s : rotation.singers()) {
            out << escapeForTerminal(s.name) << '\t' << s.songs.size()
                << (s.songs.size() == 1 ? " song" : " songs") << (s.away ? "\taway" : "") << '\n';
        }
        return 0;
    }
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const QString& w : words) {
        const std::string name = toStd(w);
        const bool known = std::any_of(rotation.singers().begin(), rotation.singers().end(),
                                       [&](const RotationSinger& s) { return s.name == name; });
        std::string why;
        if (name.empty()) why = "a singer needs a name";
        if (action == "add" && (known || seen.count(name))) why = "already a singer";
        if (action == "remove" && !known) why = "no such singer";
        if (!why.empty()) {
            err << who << escapeForTerminal(name) << ": " << why << "; nothing was changed\n";
            return 1;
        }
        seen.insert(name);
        names.push_back(name);
    }
    const auto join =
        parser.isSet(nextRound) ? SingerRotation::Join::NextRound : SingerRotation::Join::ThisRound;
    for (const std::string& name : names) {
        if (!(action == "add" ? rotation.addSinger(name, join) : rotation.removeSinger(name))) {
            err << who << escapeForTerminal(name) << ": " << rotation.error() << "\n";
            return 1;
        }
    }
    return 0;
}

int runQueue(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string who = "lyrvox-cdg queue: ";
    QCommandLineParser parser;
    const QCommandLineOption db(QStringLiteral("db"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption singerOption(QStringLiteral("singer"), QString(),
                                          QStringLiteral("NAME"));
    const QCommandLineOption keyOption(QStringLiteral("key"), QString(), QStringLiteral("N"));
    parser.addOptions({db, singerOption, keyOption});
    const ParseProblem problem = parseArguments(parser, args);
    QStringList words = parser.positionalArguments();
    const std::string action = words.isEmpty() ? "" : toStd(words.takeFirst());
    const bool adds = action == "add";
    if (problem.kind != ParseProblem::None || (!adds && action != "list") ||
        (adds && words.isEmpty()) || (action == "list" && !words.isEmpty()) ||
        (!adds && (parser.isSet(singerOption) || parser.isSet(keyOption)))) {
        err << who << "give add SONG... or list\n" << kQueueUsage;
        return 2;
    }
    std::optional<int> key;
    if (parser.isSet(keyOption)) {
        bool number = false;
        const int k = parser.value(keyOption).toInt(&number);
        if (!number || k < -SingerRotation::kMaxKey || k > SingerRotation::kMaxKey) {
            err << who << "--key takes semitones from -" << SingerRotation::kMaxKey << " to +"
                << SingerRotation::kMaxKey << "\n";
            return 2;
        }
        if (!parser.isSet(singerOption)) {
            err << who << "--key needs --singer: the plain queue plays songs in their own key\n";
            return 2;
        }
        key = k;
    }
    // Every song checked before the library is touched: all are queued or none.
    std::vector<std::string> paths;
    for (const QString& w : words) {
        std::string path = toStd(w);
        if (!path.starts_with('/'))
            path = QFile::encodeName(QDir::currentPath()).toStdString() + "/" + path;
        const std::string why = unplayable(path);
        if (!why.empty()) {
            err << who << escapeForTerminal(path) << ": " << why << "; nothing was queued\n";
            return 1;
        }
        paths.push_back(path);
    }
    const auto index = openLibrary(parser, db, who, err);
    if (!index) return 1;
    SingerRotation rotation(*index);
    if (!rotation.error().empty()) {
        err << who << rotation.error() << "\n";
        return 1;
    }

    if (action == "list") {
        for (const RotationTurn& t : rotation.upcoming(1 << 30)) {
            out << escapeForTerminal(t.singer) << '\t' << escapeForTerminal(t.song.artist) << '\t'
                << escapeForTerminal(t.song.title) << '\t' << keyText(t.song.key) << '\n';
        }
        for (const QueueEntry& e : index->loadQueue()) {
            out << '\t' << escapeForTerminal(e.artist) << '\t' << escapeForTerminal(e.title) << '\t'
                << keyText(std::nullopt) << '\n';
        }
        return 0;
    }
    const std::string singer = toStd(parser.value(singerOption));
    if (parser.isSet(singerOption) &&
        std::none_of(rotation.singers().begin(), rotation.singers().end(),
                     [&](const RotationSinger& s) { return s.name == singer; })) {
        err << who << escapeForTerminal(singer)
            << ": no such singer (add one with: lyrvox-cdg singers add NAME); nothing was "
               "queued\n";
        return 1;
    }
    RotationStore store(*index);
    const NameOrders orders = index->nameOrders();
    std::vector<QueueEntry> plain = index->loadQueue();
    for (const std::string& path : paths) {
        // The library's names when it lists the song; else read from the file name.
        RotationSong song{0, path, {}, {}, key, std::nullopt};
        if (const auto listed = store.librarySong(path)) {
            std::tie(song.artist, song.title) = *listed;
        } else {
            const std::size_t slash = path.rfind('/') + 1;
            const std::size_t dot = path.rfind('.');
            const SongName name = parseSongName(std::string_view(path).substr(slash, dot - slash),
                                                orders.of(path).value_or(NameOrder::ArtistTitle));
            song.artist = name.artist;
            song.title = name.title;
        }
        if (!parser.isSet(singerOption)) {
            plain.push_back({song.path, song.artist, song.title});
        } else if (!rotation.addSong(singer, song)) {
            err << who << escapeForTerminal(path) << ": " << rotation.error() << "\n";
            return 1;
        }
    }
    if (!parser.isSet(singerOption) && !index->saveQueue(plain)) {
        err << who << index->error() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace lyrvox
