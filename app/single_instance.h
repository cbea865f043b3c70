#pragma once
// One player per user: a second start of the program hands its songs to the
// player already running (which plays them, or adds them to its queue) and ends,
// instead of playing beside it.
//
// The players meet at a local socket in the user's runtime folder, which only the
// user can reach. Start-up takes a lock file there, so that of several programs
// started at once exactly one becomes the player: with the lock held it tries to
// connect; when nobody answers the name, whatever lies there is left from a killed
// run and is removed, and this program listens in its place.
//
// Songs travel as the bytes of their absolute paths (a name that is not UTF-8
// arrives as it was), each after its length. The message:
//   "LYRVOX1" | request (1 byte) | count (u32) | count x (length (u32) | bytes)
// with big-endian numbers; the answer: "OK" and one byte a song, 1 when it was
// taken, or "NO" when the message made no sense. The receiving side takes only
// absolute paths of existing regular files, within the limits below, and gives up
// on a sender that is too slow or says too much.
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace lyrvox {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Request : std::uint8_t {
        Play = 'P',     // play the one song now, as Open and Play would; none: only show
        Enqueue = 'E',  // add the songs at the end of the queue
    };
    enum class Role {
        HandedOver,  // the running player answered: this program's work is done
        Player,      // no player ran: this one plays, and takes the songs of later starts
        Alone,       // a player runs but did not answer in time: this one plays on its own
    };
    struct Outcome {
        Role role = Role::Alone;
        // HandedOver: one a song sent, true when the running player took it.
        std::vector<bool> taken;
    };
    // Told on this object's thread of each request that arrives, with the songs taken,
    // once the sender has its answer.
    using Receiver = std::function<void(Request, const std::vector<std::string>& songs)>;

    static constexpr int kAnswerMs = 3000;      // how long a sender waits for the player
    static constexpr int kMaxSongs = 1000;      // songs in one message
    static constexpr int kMaxPathBytes = 4096;  // bytes of one path (PATH_MAX)
    static constexpr int kMaxMessageBytes = 1 << 20;
    static constexpr int kReadingMs = 5000;  // a sender must have said all by then

    // `folder`: where the socket and the lock file live (the user's runtime folder).
    explicit SingleInstance(QString folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // XDG_RUNTIME_DIR, or Qt's private runtime folder of the user where it is unset.
    static QString defaultFolder();
    QString socketPath() const;

    void setReceiver(Receiver receiver) { receiver_ = std::move(receiver); }

    // Start-up: hands `songs` (absolute paths) to the running player and waits up
    // to `answerMs` for its answer, or, when no player runs, listens as the player.
    // Blocks only this program's start for that long; the player never blocks.
    Outcome start(Request request, const std::vector<std::string>& songs, int answerMs = kAnswerMs);
    bool listening() const;

    // The message for `request` and `songs` (exposed for tests of the receiving side).
    static QByteArray encode(Request request, const std::vector<std::string>& songs);

  private:
    Outcome handOver(QLocalSocket& socket, Request request, const std::vector<std::string>& songs,
                     int answerMs);
    void accept(QLocalSocket* socket);
    void readFrom(QLocalSocket* socket);

    QString folder_;
    QLocalServer* server_ = nullptr;
    Receiver receiver_;
};

// The player's command line: options first, then the songs.
struct PlayerCommand {
    SingleInstance::Request request = SingleInstance::Request::Play;
    bool newInstance = false;  // --new-instance: play on its own, hand nothing over
    // --start-night: once started, play the night's next turn (or the queue's first
    // song) as "Play queue" would, with nobody at the controls; takes no songs.
    bool startNight = false;
    bool help = false;  // -h, --help
    std::string error;  // an option not known; the program then shows the usage
    // The arguments after the options, as the system gave their bytes. Play: the
    // words of one song's name (see joinCommandLine); Enqueue: one song each.
    std::vector<std::string> songs;
};
PlayerCommand parsePlayerCommand(const std::vector<std::string>& args);

// What a start asks of the player, the paths made absolute (the player has another
// current folder). Play names one song in all its words, as it always has; but
// where those words are not one file and each is one (a file manager's several
// files), the first plays and the others are queued.
struct PlayerSongs {
    std::vector<std::string> play;     // the song to play now; none: only show the player
    std::vector<std::string> enqueue;  // songs to add to the queue
    // A new player's start-up arguments: the song to play as the command line named it.
    std::vector<std::string> startUp;
};
PlayerSongs playerSongs(const PlayerCommand& command);
// The text of --help.
std::string playerUsage();
// `path` made absolute against the current folder, byte for byte; "" stays "".
std::string absolutePath(const std::string& path);

}  // namespace lyrvox
