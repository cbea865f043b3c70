#pragma once
// The server the singers' phones and the host's remote talk to, inside the
// player's event loop (Qt HTTP Server). Its API, all JSON:
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
// by library id only: nothing a client sends names a file. Every request is a
// few small queries on the library's connection, so the display's timer is not
// held up; searches are bounded by the index's own limits.
#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QList>
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

namespace lyrvox {

class LibraryIndex;
class GuardedTcpServer;
class HostApi;
}  // namespace lyrvox
class QWebSocket;
namespace lyrvox {

// What the server reaches in the player. Any function may be empty.
struct ServerLinks {
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

class RequestServer : public QAbstractHttpServer {
    Q_OBJECT
  public:
    struct Options {
        RateLimiter::Rule everyRequest{40, 10};  // per address, any request
        RateLimiter::Rule newRequests{5, 0.05};  // per address, songs requested
        PinGuard::Rule pinRule{};
        std::string pin;                     // empty: a random one of six digits
        MillisecondClock clock;              // empty: the steady clock
        qint64 maxRequestBytes = 16 * 1024;  // head and body together, at the socket
        int maxConnections = 512;            // open at once
        int maxLiveClients = 512;            // WebSockets open at once
        int liveCheckMs = 1000;              // how often the rotation is compared
    };

    // The tempo range the host's remote may ask for, in percent (the player's).
    static constexpr int kMinTempo = 50;
    static constexpr int kMaxTempo = 150;

    explicit RequestServer(ServerLinks links, QObject* parent = nullptr);
    RequestServer(ServerLinks links, Options options, QObject* parent = nullptr);
    ~RequestServer() override;

    // Listens on `address` (port 0: any free port). Returns the port, 0 when it
    // cannot listen (errorString() says why).
    quint16 start(const QHostAddress& address, quint16 port);
    QString errorString() const { return error_; }
    // The singers' page as a phone on the network reaches it: http://ADDRESS:PORT/,
    // the address listened on, or when that is every interface the machine's first
    // address on the network (loopback when there is none). Empty when not listening.
    QString pageUrl() const;
    // The PIN of the host's actions, for the player to show.
    QString pin() const { return QString::fromStdString(pins_.pin()); }
    // The connections open now: HTTP, and WebSockets.
    int connections() const;
    int liveClients() const { return static_cast<int>(live_.size()); }

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  public:
    // One answer: its status, its JSON (none for an empty body) and headers of its own.
    using Reply = ApiReply;

  private:
    void respond(const QHttpServerRequest& request, QTcpSocket* socket);
    Reply answer(const QHttpServerRequest& request);
    Reply route(const QHttpServerRequest& request, const std::string& client);
    // The phones' pages and their assets (page_files.h); 304 when the phone's copy is current.
    std::optional<Reply> page(const QHttpServerRequest& request);
    Reply search(const QHttpServerRequest& request);
    Reply addRequest(const QHttpServerRequest& request, const std::string& client);
    Reply withdraw(const QHttpServerRequest& request, std::int64_t id);
    Reply rotation();
    void changed();
    // Whether a WebSocket's upgrade may go ahead (GET /ws, within the limits).
    bool upgradeAllowed(const QHttpServerRequest& request);
    void takeLiveClients();
    // Sends the rotation to every live client when it differs from the last sent
    // (or to all of them with `always`).
    void sendRotation(bool always = false);

    ServerLinks links_;
    Options options_;
    RateLimiter everyRequest_;
    RateLimiter newRequests_;
    PinGuard pins_;
    std::unique_ptr<HostApi> host_;  // answers every path under /api/host/
    GuardedTcpServer* tcp_ = nullptr;
    QList<QWebSocket*> live_;
    QByteArray lastSent_;
    QTimer liveCheck_;
    QString error_;
};

}  // namespace lyrvox
