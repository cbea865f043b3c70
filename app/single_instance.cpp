#include "app/single_instance.h"

#include "app/window_text.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>

namespace lyrvox {
namespace {

constexpr char kMagic[] = "LYRVOX1";
constexpr qsizetype kMagicBytes = sizeof(kMagic) - 1;
constexpr qsizetype kHeaderBytes = kMagicBytes + 1 + 4;  // magic, request, count
const QString kSocketName = QStringLiteral("lyrvox-player");
const QString kLockName = QStringLiteral("lyrvox-player.lock");

void appendNumber(QByteArray& bytes, quint32 number) {
    char big[4];
    qToBigEndian(number, big);
    bytes.append(big, 4);
}

quint32 numberAt(const QByteArray& bytes, qsizetype at) {
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

// What the bytes received so far hold.
struct Received {
    enum class Status { Incomplete, Malformed, Complete } status = Status::Incomplete;
    SingleInstance::Request request = SingleInstance::Request::Play;
    std::vector<std::string> songs;
};

Received parse(const QByteArray& bytes) {
    using Status = Received::Status;
    Received received;
    const auto malformed = [&received] {
        received.status = Status::Malformed;
        received.songs.clear();
        return received;
    };
    if (bytes.size() > SingleInstance::kMaxMessageBytes) return malformed();
    if (!QByteArrayView(kMagic, kMagicBytes).startsWith(bytes.left(kMagicBytes)))
        return malformed();
    if (bytes.size() < kHeaderBytes) return received;
    const auto request = static_cast<SingleInstance::Request>(bytes[kMagicBytes]);
    const quint32 count = numberAt(bytes, kMagicBytes + 1);
    if (request != SingleInstance::Request::Play && request != SingleInstance::Request::Enqueue)
        return malformed();
    if (count >
        (request == SingleInstance::Request::Play ? 1u : quint32{SingleInstance::kMaxSongs}))
        return malformed();
    received.request = request;
    qsizetype at = kHeaderBytes;
    for (quint32 i = 0; i < count; ++i) {
        if (bytes.size() < at + 4) return received;
        const quint32 length = numberAt(bytes, at);
        if (length > quint32{SingleInstance::kMaxPathBytes}) return malformed();
        at += 4;
        if (bytes.size() < at + length) return received;
        received.songs.emplace_back(bytes.constData() + at, length);
        at += length;
    }
    if (bytes.size() != at) return malformed();  // more than the message said
    received.status = Status::Complete;
    return received;
}

// A song the player may open: an absolute path, no NUL inside, an existing
// regular file (through links).
bool acceptable(const std::string& path) {
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos) return false;
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString SingleInstance::socketPath() const {
    return QDir(folder_).filePath(kSocketName);
}

bool SingleInstance::listening() const {
    return server_ != nullptr && server_->isListening();
}

QByteArray SingleInstance::encode(Request request, const std::vector<std::string>& songs) {
    QByteArray bytes(kMagic, kMagicBytes);
    bytes.append(static_cast<char>(request));
    appendNumber(bytes, static_cast<quint32>(songs.size()));
    for (const std::string& song : songs) {
        appendNumber(bytes, static_cast<quint32>(song.size()));
        bytes.append(song.data(), static_cast<qsizetype>(song.size()));
    }
    return bytes;
}

SingleInstance::Outcome SingleInstance::start(Request request,
                                              const std::vector<std::string>& songs, int answerMs) {
    QDir().mkpath(folder_);
    // Held from the look for a player until this one listens: of several programs
    // started at once, one becomes the player and the others find it. A lock left
    // by a killed run is taken over (QLockFile checks its process).
    QLockFile lock(QDir(folder_).filePath(kLockName));
    if (!lock.tryLock(2 * answerMs + 1000)) return {};
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (socket.waitForConnected(answerMs)) return handOver(socket, request, songs, answerMs);
    // Nobody answers the name: what lies there is left from a killed run.
    QLocalServer::removeServer(socketPath());
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath())) {
        delete server;
        return {};
    }
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* incoming = server_->nextPendingConnection()) accept(incoming);
    });
    return {Role::Player, {}};
}

SingleInstance::Outcome SingleInstance::handOver(QLocalSocket& socket, Request request,
                                                 const std::vector<std::string>& songs,
                                                 int answerMs) {
    // The one place where a program waits: at its start, for the player, briefly.
    const QDeadlineTimer deadline(answerMs);
    socket.write(encode(request, songs));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) return {};
    }
    const qsizetype answerBytes = 2 + static_cast<qsizetype>(songs.size());
    QByteArray answer;
    while (answer.size() < answerBytes && !answer.startsWith("NO")) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) break;
        answer += socket.readAll();
    }
    Outcome outcome{Role::HandedOver, std::vector<bool>(songs.size(), false)};
    if (answer.startsWith("NO")) return outcome;  // the player heard, and refused
    if (answer.size() != answerBytes || !answer.startsWith("OK")) return {};
    for (std::size_t i = 0; i < songs.size(); ++i)
        outcome.taken[i] = answer[2 + static_cast<qsizetype>(i)] == 1;
    return outcome;
}

void SingleInstance::accept(QLocalSocket* socket) {
    socket->setParent(this);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
    // A sender that has not said all by then is cut off.
    QTimer::singleShot(kReadingMs, socket, [socket] { socket->abort(); });
    readFrom(socket);
}

void SingleInstance::readFrom(QLocalSocket* socket) {
    if (socket->property("answered").toBool()) {
        socket->readAll();  // past its message: ignored
        return;
    }
    QByteArray bytes = socket->property("received").toByteArray();
    bytes += socket->read(kMaxMessageBytes + 1 - bytes.size());
    Received received = parse(bytes);
    if (received.status == Received::Status::Incomplete) {
        socket->setProperty("received", bytes);
        return;
    }
    socket->setProperty("received", QByteArray());
    socket->setProperty("answered", true);
    if (received.status == Received::Status::Malformed) {
        socket->write("NO");
        socket->disconnectFromServer();
        return;
    }
    QByteArray answer = "OK";
    std::vector<std::string> taken;
    for (std::string& song : received.songs) {
        const bool fine = acceptable(song);
        answer.append(fine ? char{1} : char{0});
        if (fine) taken.push_back(std::move(song));
    }
    socket->write(answer);
    socket->flush();
    socket->disconnectFromServer();
    // A Play whose song was refused shows nothing: the sender tells its user. The
    // songs go to the player after the answer, so that a message box the player
    // may show does not keep the sender waiting.
    if (taken.empty() && !received.songs.empty()) return;
    QTimer::singleShot(0, this, [this, request = received.request, taken = std::move(taken)] {
        if (receiver_) receiver_(request, taken);
    });
}

PlayerCommand parsePlayerCommand(const std::vector<std::string>& args) {
    PlayerCommand command;
    std::size_t i = 0;
    for (; i < args.size() && args[i].starts_with('-'); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--enqueue") {
            command.request = SingleInstance::Request::Enqueue;
        } else if (arg == "--new-instance") {
            command.newInstance = true;
        } else if (arg == "--start-night") {
            command.startNight = true;
        } else if (arg == "-h" || arg == "--help") {
            command.help = true;
        } else if (arg.starts_with("--")) {
            command.error = "unknown option " + arg;
            return command;
        } else {
            break;  // a song whose name begins with '-'
        }
    }
    command.songs.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    if (command.request == SingleInstance::Request::Enqueue && command.songs.empty() &&
        !command.help)
        command.error = "--enqueue needs songs";
    else if (command.startNight && !command.songs.empty() && !command.help)
        command.error = "--start-night takes no songs";
    return command;
}

PlayerSongs playerSongs(const PlayerCommand& command) {
    PlayerSongs songs;
    const auto absolute = [](const std::vector<std::string>& paths) {
        std::vector<std::string> made;
        for (const std::string& path : paths) made.push_back(absolutePath(path));
        return made;
    };
    if (command.request == SingleInstance::Request::Enqueue) {
        songs.enqueue = absolute(command.songs);
        return songs;
    }
    if (commandLineText(command.songs).empty()) return songs;
    const auto isFile = [](const std::string& path) {
        std::error_code error;
        return std::filesystem::is_regular_file(path, error);
    };
    const std::string joined = joinCommandLine(command.songs);
    if (command.songs.size() > 1 && !isFile(joined) &&
        std::all_of(command.songs.begin(), command.songs.end(), isFile)) {
        songs.play = {absolutePath(command.songs.front())};
        songs.enqueue = absolute({command.songs.begin() + 1, command.songs.end()});
        songs.startUp = {command.songs.front()};
        return songs;
    }
    songs.play = {absolutePath(joined)};
    songs.startUp = command.songs;
    return songs;
}

std::string playerUsage() {
    return "Usage: lyrvox [--new-instance] [SONG...]\n"
           "       lyrvox [--new-instance] --enqueue SONG...\n"
           "       lyrvox [--new-instance] --start-night\n"
           "       lyrvox [--serve [ADDRESS:]PORT] [...]\n"
           "Plays CD+G karaoke songs. While Lyrvox runs, a song given here goes to the\n"
           "running player, which plays it at once (several songs: the first plays, the\n"
           "others are queued); with --enqueue the songs are added to its queue instead\n"
           "(or to the queue of a new player, when none runs).\n"
           "\n"
           "  --enqueue       add the songs to the queue rather than play one now\n"
           "  --new-instance  start a player of its own even while another runs\n"
           "  --start-night   play the singers' rotation (or the queue) from start-up,\n"
           "                  song after song, as Play queue does\n"
           "  --serve [ADDRESS:]PORT\n"
           "                  serve the singers' phones (requests, the host's remote) for\n"
           "                  this run, on ADDRESS (default: every interface) and PORT\n"
           "  -h, --help      show this text\n"
           "  --              the words that follow are songs, even with a leading '-'\n";
}

std::string absolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/') return path;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

}  // namespace lyrvox
