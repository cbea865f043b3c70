#pragma once
// The request server's side on its own thread: Qt's HTTP server over the guarded
// listening socket, the WebSockets, the rate limiters and the PIN, the searches
// and the phones' requests on a library connection of its own, the pages. What
// the player owns is asked of the player's thread through `ToPlayer`, and its
// answer written when it comes back (the connection kept meanwhile, and let go
// when it closed first). RequestServer makes it on the server's thread; see
// request_server.h for the API it answers.
#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "requests/pin_guard.h"
#include "requests/rate_limiter.h"
#include "requests/request_list.h"
#include "server/api_reply.h"
#include "server/request_server.h"

class QTcpSocket;
class QWebSocket;

namespace lyrvox {

class GuardedTcpServer;
class HostApi;
class LibraryIndex;

class ServerCore : public QAbstractHttpServer {
    Q_OBJECT
  public:
    // How the core reaches the player's thread; each posts and returns at once.
    struct ToPlayer {
        // Runs `job` there, then hands its answer to finish(`id`, ...).
        std::function<void(std::uint64_t id, std::function<ApiReply()> job)> run;
        // The requests changed here; `asked` when a phone asked for a song.
        std::function<void(std::optional<SongRequest> asked)> changed;
        // The rotation's part of the snapshot is wanted now (it may be stale).
        std::function<void()> refresh;
    };
    // What the player's thread may read of the core at any time.
    struct Counts {
        std::atomic<int> liveClients{0};
        std::atomic<std::int64_t> lastRequestMs{0};  // the steady clock's, of any request
    };
    // A snapshot is current this long after the player last sent or confirmed it.
    static constexpr std::int64_t kFreshMs = 2000;

    // `links` (the player's thread's) and `counts` outlive this; `tcp` listens
    // already, paused, and is taken over.
    ServerCore(const ServerLinks& links, const RequestServer::Options& options,
               const std::string& pin, std::string libraryPath, GuardedTcpServer* tcp,
               ToPlayer toPlayer, Counts& counts);
    ~ServerCore() override;

    // From the player's thread: the rotation's part of the snapshot (everything
    // but the requests), or none when it is as last sent. Either way the snapshot
    // is current, and the requests are read again.
    void playerPart(std::optional<QJsonObject> part);
    // From the player's thread: the answer to job `id`.
    void finish(std::uint64_t id, const ApiReply& reply);

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  private:
    // An answer now, or one that waits: on a job for the player's thread, or on a
    // current snapshot.
    struct Outcome {
        Outcome() = default;
        Outcome(ApiReply reply, std::function<ApiReply()> job = {})  // NOLINT: an answer is one
            : now(std::move(reply)), onPlayer(std::move(job)) {}
        ApiReply now;
        std::function<ApiReply()> onPlayer;
        bool awaitSnapshot = false;
    };
    // An answer still to write, in the order of its connection's requests.
    struct Waiting {
        const QTcpSocket* key;        // its connection, as it was (only compared)
        QPointer<QTcpSocket> socket;  // null once the connection closed
        QHttpServerResponder responder;
        std::optional<ApiReply> ready;  // the answer, once known
    };

    void respond(const QHttpServerRequest& request, QTcpSocket* socket);
    void write(QHttpServerResponder& responder, const ApiReply& reply);
    // The answer waiting as `id` is `reply`: written with those after it on its
    // connection that are ready, when the connection is still open.
    void deliver(std::uint64_t id, const ApiReply& reply);
    Outcome answer(const QHttpServerRequest& request);
    Outcome route(const QHttpServerRequest& request, const std::string& client);
    ApiReply search(const QHttpServerRequest& request);
    ApiReply addRequest(const QHttpServerRequest& request, const std::string& client);
    ApiReply withdraw(const QHttpServerRequest& request, std::int64_t id);
    Outcome rotation();
    // The server's own library connection, opened when first needed (and tried
    // again at most once a second while it cannot be); null while there is none.
    LibraryIndex* index();
    // The requests were changed here: read again, the player told.
    void changedHere(std::optional<SongRequest> asked);
    // Reads the requests waiting again and makes the snapshot anew.
    void readRequests();
    // The requests changed: read again once this burst of events is done (at
    // once when someone looks first), however many changes it held.
    void requestsChanged();
    void remake();
    bool upgradeAllowed(const QHttpServerRequest& request);
    void takeLiveClients();

    const ServerLinks& links_;
    RequestServer::Options options_;
    RateLimiter everyRequest_;
    RateLimiter newRequests_;
    PinGuard pins_;
    std::unique_ptr<HostApi> host_;
    GuardedTcpServer* tcp_;
    ToPlayer toPlayer_;
    Counts& counts_;
    MillisecondClock steady_ = steadyMillisecondClock();

    std::string libraryPath_;
    std::unique_ptr<LibraryIndex> index_;
    std::int64_t lastOpenTryMs_ = -1;

    // The snapshot: the player's part, the requests read here, and the two as sent.
    QJsonObject playerPart_;
    QJsonArray requests_;
    QByteArray snapshot_;
    std::int64_t freshAtMs_ = -1;  // when the player last sent or confirmed its part
    bool refreshAsked_ = false;
    bool requestsStale_ = false;
    std::vector<std::uint64_t> waitingForSnapshot_;

    std::uint64_t nextJob_ = 1;
    std::map<std::uint64_t, Waiting> waiting_;  // by id: in the order requests came
    QList<QWebSocket*> live_;
    QByteArray lastSent_;
};

}  // namespace lyrvox
