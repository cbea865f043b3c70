#pragma once
// The server the singers' phones and the host's remote talk to, inside the
// player (Qt HTTP Server, on a thread of its own). Its API, all JSON:
//
//   GET    /api/search?q=WORDS      songs of the library: [{id, artist, title, duration}]
//                                   (duration in seconds; at most 100)
//   POST   /api/requests            {"singer": NAME, "song": ID} -> 201 and the request;
//                                   the phone's token comes back in the cookie
//                                   lyrvox_client and the header X-Lyrvox-Client
//   DELETE /api/requests/ID         withdrawn, by the phone that made it only
//   GET    /api/rotation            now playing, the singers, the coming turns, the requests
//   With "Authorization: Bearer PIN":
//   GET    /api/host/requests       the requests waiting
//   POST   /api/host/requests/ID/approve   into the singer's list in the rotation
//   POST   /api/host/requests/ID/decline
//   POST   /api/host/play-pause, /api/host/stop, /api/host/next
//   POST   /api/host/singers/ID/up, .../down     one place earlier or later in the order
//   POST   /api/host/singers/ID/away             away, or back when away (ID: the
//                                                singer's id in GET /api/rotation)
//   POST   /api/host/singers/ID/next             sings the next turn
//   POST   /api/host/key {"semitones": N}        the song playing's key, -6..+6
//   POST   /api/host/tempo {"percent": P}        its tempo, kMinTempo..kMaxTempo
//   GET    /ws (a WebSocket)        the rotation as GET /api/rotation gives it, at
//                                   once and then whenever it changes
//
//   GET    /, /host, /assets/...   the singers' and the host's pages (page_files.h)
//
// Anything else is 404; a known path with another method 405; a body over
// limits::kMaxBodyBytes 413; too many requests from one address 429; input that
// fails its checks (input_checks.h) 400 with {"error": "..."}. Songs are named
// by library id only: nothing a client sends names a file. A client slower than
// GuardedTcpServer's limits is cut off.
//
// The server runs on a thread of its own (server_core.h), so that no burst of
// phones holds up the player's thread, where the display draws: the sockets, the
// parsing, the searches and the phones' requests (on a library connection of its
// own), the pages and the limits all run there. What the player owns (the
// rotation, the song playing, approving into the rotation) runs on the player's
// thread as a job, whose answer goes back to be written; nothing on the player's
// thread ever waits on the server's. GET /api/rotation and the WebSockets are
// answered from a snapshot that the player's thread makes when a job changed
// something, when rotationChanged() is called, and every `liveCheckMs` while a
// phone asked anything in the last few seconds (sent on only when it differs).
#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "library/singer_rotation.h"
#include "requests/pin_guard.h"
#include "requests/rate_limiter.h"
#include "requests/request_list.h"
#include "server/api_reply.h"
#include "server/guarded_tcp_server.h"

namespace lyrvox {

class LibraryIndex;
class ServerCore;

// What the server reaches in the player. Any function may be empty. Every
// function is called on the player's thread (the one that made the server).
struct ServerLinks {
    // The library file, which the server's thread opens on a connection of its
    // own; empty: the file of index()'s at start().
    std::string libraryPath;
    std::function<LibraryIndex*()> index;       // null while there is none
    std::function<SingerRotation*()> rotation;  // null while there is none
    std::function<std::optional<RotationTurn>()> playing;
    std::function<std::vector<RotationTurn>(int)> coming;
    std::function<void()> playPause, stop, next;
    // The key (semitones) and tempo (percent) the song plays in, as the player's
    // own controls set them; the server checks the ranges first.
    std::function<void(int)> setKey, setTempo;
    // The key and tempo now, for the host's page (first: semitones, second: percent).
    std::function<std::pair<int, int>()> keyAndTempo;
    // The requests or the rotation changed through the server.
    std::function<void()> changed;
    // A phone asked for a song (after `changed`): for the host's notice.
    std::function<void(const SongRequest&)> requested;
};

class RequestServer : public QObject {
    Q_OBJECT
  public:
    struct Options {
        RateLimiter::Rule everyRequest{40, 10};  // per address, any request
        RateLimiter::Rule newRequests{5, 0.05};  // per address, songs requested
        PinGuard::Rule pinRule{};
        std::string pin;         // empty: a random one of six digits
        MillisecondClock clock;  // empty: the steady clock (called on the server's thread)
        qint64 maxRequestBytes = 16 * 1024;  // head and body together, at the socket
        int maxConnections = 512;            // open at once
        int maxLiveClients = 512;            // WebSockets open at once
        int liveCheckMs = 1000;              // how often the rotation is compared
        int requestTimeoutMs = GuardedTcpServer::kRequestTimeoutMs;
        int idleTimeoutMs = GuardedTcpServer::kIdleTimeoutMs;
        // For checks: called on the thread that searched, after each search.
        std::function<void()> searched;
    };

    // The tempo range the host's remote may ask for, in percent (the player's).
    static constexpr int kMinTempo = 50;
    static constexpr int kMaxTempo = 150;

    explicit RequestServer(ServerLinks links, QObject* parent = nullptr);
    RequestServer(ServerLinks links, Options options, QObject* parent = nullptr);
    ~RequestServer() override;

    // Listens on `address` (port 0: any free port) and starts the server's thread.
    // Returns the port, 0 when it cannot listen (errorString() says why).
    quint16 start(const QHostAddress& address, quint16 port);
    QString errorString() const { return error_; }
    // The singers' page as a phone on the network reaches it: http://ADDRESS:PORT/,
    // the address listened on, or when that is every interface the machine's first
    // address on the network (loopback when there is none). Empty when not listening.
    QString pageUrl() const;
    // The PIN of the host's actions, for the player to show.
    QString pin() const { return QString::fromStdString(pin_); }
    // The connections open now: HTTP, and WebSockets.
    int connections() const;
    int liveClients() const;

    // The player's rotation or requests changed: the phones see it at once (else
    // within `liveCheckMs` while they look).
    void rotationChanged() { publish(); }

  private:
    struct Shared;
    // Makes the player's part of the snapshot and sends it to the server's thread
    // (or tells it that it is as last sent).
    void publish();
    QJsonObject playerPart() const;
    // Runs `work` on the server's thread with its core (dropped when it is gone).
    void post(std::function<void(ServerCore&)> work);

    ServerLinks links_;
    Options options_;
    std::string pin_;
    std::shared_ptr<Shared> shared_;
    QThread thread_;
    QObject* mailbox_ = nullptr;       // lives on the server's thread
    GuardedTcpServer* tcp_ = nullptr;  // the core's, on the server's thread
    QHostAddress listening_;
    quint16 port_ = 0;
    QTimer liveCheck_;
    QByteArray lastPart_;
    QString error_;
};

}  // namespace lyrvox
