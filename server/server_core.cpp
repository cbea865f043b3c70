#include "server/server_core.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>
#include <algorithm>
#include <utility>

#include "library/library_index.h"
#include "requests/input_checks.h"
#include "server/guarded_tcp_server.h"
#include "server/host_api.h"
#include "server/page_files.h"

namespace lyrvox {
namespace {

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;

// How long a library that cannot be opened is left before the next try.
constexpr std::int64_t kOpenRetryMs = 1000;

}  // namespace

ServerCore::ServerCore(const ServerLinks& links, const RequestServer::Options& options,
                       const std::string& pin, std::string libraryPath, GuardedTcpServer* tcp,
                       ToPlayer toPlayer, Counts& counts)
    : links_(links),
      options_(options),
      everyRequest_(options_.everyRequest,
                    options_.clock ? options_.clock : steadyMillisecondClock()),
      newRequests_(options_.newRequests,
                   options_.clock ? options_.clock : steadyMillisecondClock()),
      pins_(pin, options_.clock ? options_.clock : steadyMillisecondClock(), options_.pinRule),
      host_(std::make_unique<HostApi>(
          links_, pins_,
          HostApi::Hooks{[this] { return index(); }, [this] { changedHere(std::nullopt); },
                         // On the player's thread, in its jobs: the player's part of
                         // the snapshot follows there, the requests with the answer.
                         [this] {
                             if (links_.changed) links_.changed();
                         }})),
      tcp_(tcp),
      toPlayer_(std::move(toPlayer)),
      counts_(counts),
      libraryPath_(std::move(libraryPath)) {
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &ServerCore::takeLiveClients);
    tcp_->setParent(this);
    bind(tcp_);
    tcp_->resumeAccepting();
}

ServerCore::~ServerCore() {
    for (QWebSocket* client : live_) client->disconnect(this);
    counts_.liveClients = 0;
}

// Qt HTTP Server's way with an upgrade: true takes the connection over as a
// WebSocket; false has missingHandler answer it, and the connection closed.
bool ServerCore::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    tcp_->taken(socket);
    counts_.lastRequestMs = steady_();
    if (apiHeader(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
        if (!upgradeAllowed(request)) return false;
        tcp_->handedOver(socket);
        return true;
    }
    respond(request, socket);
    return true;
}

void ServerCore::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    respond(request, socket);
}

void ServerCore::respond(const QHttpServerRequest& request, QTcpSocket* socket) {
    Outcome outcome = answer(request);
    QHttpServerResponder responder = makeResponder(request, socket);
    const bool later = outcome.onPlayer || outcome.awaitSnapshot;
    // Answers go out in the order of their requests: one behind an answer still
    // to come (a client sending several at once) waits for it.
    const bool behind = std::any_of(waiting_.begin(), waiting_.end(),
                                    [socket](const auto& w) { return w.second.key == socket; });
    if (!later && !behind) return write(responder, outcome.now);
    // Qt 6.4's server takes an answer written later, once the handler returned;
    // the connection is kept by the responder, and let go if it closes first.
    const std::uint64_t id = nextJob_++;
    Waiting waiting{socket, QPointer<QTcpSocket>(socket), std::move(responder), {}};
    if (!later) waiting.ready = outcome.now;
    waiting_.emplace(id, std::move(waiting));
    if (!later) return;
    if (outcome.onPlayer) return toPlayer_.run(id, std::move(outcome.onPlayer));
    waitingForSnapshot_.push_back(id);
    if (!refreshAsked_) {
        refreshAsked_ = true;
        toPlayer_.refresh();
    }
}

void ServerCore::write(QHttpServerResponder& responder, const ApiReply& reply) {
    const QByteArray body = reply.raw    ? *reply.raw
                            : reply.body ? reply.body->toJson(QJsonDocument::Compact)
                                         : QByteArray();
    responder.writeStatusLine(reply.status);
    if (reply.raw && !reply.contentType.isEmpty())
        responder.writeHeader("Content-Type", reply.contentType);
    else if (reply.body)
        responder.writeHeader("Content-Type", "application/json");
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    if (!reply.raw) responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    for (const auto& [name, value] : reply.headers) responder.writeHeader(name, value);
    responder.writeBody(body);
}

void ServerCore::finish(std::uint64_t id, const ApiReply& reply) {
    // A job may have changed the requests (an approval) on the player's connection.
    requestsChanged();
    deliver(id, reply);
}

void ServerCore::deliver(std::uint64_t id, const ApiReply& reply) {
    const auto found = waiting_.find(id);
    if (found == waiting_.end()) return;
    found->second.ready = reply;
    const QTcpSocket* key = found->second.key;
    // The connection's answers that are ready, up to the first still to come.
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->second.key != key) {
            ++it;
            continue;
        }
        if (!it->second.ready) return;
        if (it->second.socket) write(it->second.responder, *it->second.ready);
        it = waiting_.erase(it);
    }
}

void ServerCore::playerPart(std::optional<QJsonObject> part) {
    if (part) playerPart_ = std::move(*part);
    freshAtMs_ = steady_();
    refreshAsked_ = false;
    readRequests();
    const std::vector<std::uint64_t> ids = std::exchange(waitingForSnapshot_, {});
    if (ids.empty()) return;
    const ApiReply reply = rotation().now;
    for (const std::uint64_t id : ids) deliver(id, reply);
}

bool ServerCore::upgradeAllowed(const QHttpServerRequest& request) {
    if (request.method() != Method::Get || request.url().path(QUrl::FullyEncoded) != "/ws")
        return false;
    const std::string client = request.remoteAddress().toString().toStdString();
    return live_.size() < options_.maxLiveClients && everyRequest_.allow(client);
}

void ServerCore::takeLiveClients() {
    if (requestsStale_) readRequests();
    while (hasPendingWebSocketConnections()) {
        QWebSocket* client = nextPendingWebSocketConnection().release();
        client->setParent(this);
        // Clients only listen: anything they send is small or cuts them off.
        client->setMaxAllowedIncomingFrameSize(1024);
        client->setMaxAllowedIncomingMessageSize(1024);
        live_.append(client);
        counts_.liveClients = static_cast<int>(live_.size());
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            live_.removeOne(client);
            counts_.liveClients = static_cast<int>(live_.size());
            client->deleteLater();
        });
        // The snapshot as it is; a newer one follows when the player's part is stale.
        if (!snapshot_.isEmpty()) client->sendTextMessage(QString::fromUtf8(snapshot_));
    }
    lastSent_ = snapshot_;
    if (rotation().awaitSnapshot && !refreshAsked_) {
        refreshAsked_ = true;
        toPlayer_.refresh();
    }
}

void ServerCore::readRequests() {
    requestsStale_ = false;
    QJsonArray requests;
    if (LibraryIndex* library = index()) {
        for (const SongRequest& r : RequestList(*library).pending())
            requests.append(apiRequestJson(r));
    }
    requests_ = requests;
    remake();
}

void ServerCore::remake() {
    if (freshAtMs_ < 0) return;  // nothing from the player yet
    QJsonObject out = playerPart_;
    out.insert(QStringLiteral("requests"), requests_);
    snapshot_ = QJsonDocument(out).toJson(QJsonDocument::Compact);
    if (live_.isEmpty() || snapshot_ == lastSent_) return;
    lastSent_ = snapshot_;
    const QString text = QString::fromUtf8(snapshot_);
    for (QWebSocket* client : live_) client->sendTextMessage(text);
}

void ServerCore::requestsChanged() {
    if (requestsStale_) return;
    requestsStale_ = true;
    QTimer::singleShot(0, this, [this] {
        if (requestsStale_) readRequests();
    });
}

void ServerCore::changedHere(std::optional<SongRequest> asked) {
    requestsChanged();
    if (toPlayer_.changed) toPlayer_.changed(std::move(asked));
}

LibraryIndex* ServerCore::index() {
    if (index_) return index_.get();
    const std::int64_t now = steady_();
    if (libraryPath_.empty() || (lastOpenTryMs_ >= 0 && now - lastOpenTryMs_ < kOpenRetryMs))
        return nullptr;
    lastOpenTryMs_ = now;
    // The player's own connection deals with a damaged file; this one leaves it alone.
    LibraryIndex::Options open;
    open.recovery = LibraryIndex::Recovery::None;
    auto library = std::make_unique<LibraryIndex>(libraryPath_, open);
    if (!library->isOpen()) return nullptr;
    index_ = std::move(library);
    return index_.get();
}

ServerCore::Outcome ServerCore::answer(const QHttpServerRequest& request) {
    const std::string client = request.remoteAddress().toString().toStdString();
    bool lengthOk = true;
    const QByteArray length = apiHeader(request, "Content-Length");
    if (!length.isEmpty() && length.toLongLong(&lengthOk) > qint64(limits::kMaxBodyBytes))
        lengthOk = false;
    if (!lengthOk || request.body().size() > qsizetype(limits::kMaxBodyBytes))
        return {apiError(Status::PayloadTooLarge, QStringLiteral("The request is too large."))};
    if (!everyRequest_.allow(client)) {
        ApiReply reply =
            apiError(Status::TooManyRequests, QStringLiteral("Too many requests; wait a moment."));
        reply.headers.emplace_back("Retry-After",
                                   QByteArray::number(everyRequest_.retryAfterSeconds(client)));
        return {reply};
    }
    return route(request, client);
}

ServerCore::Outcome ServerCore::route(const QHttpServerRequest& request,
                                      const std::string& client) {
    const ApiReply notFound = apiError(Status::NotFound, QStringLiteral("Not found."));
    if (std::optional<ApiReply> served = PageFiles::reply(request)) return {*served};
    const std::optional<std::vector<QString>> path = apiSegments(request);
    if (!path) return {notFound};
    const std::vector<QString>& p = *path;
    const auto is = [&p](std::initializer_list<const char*> names) { return apiPathIs(p, names); };
    const auto idAt = [&p](std::size_t i) { return parseId(p[i].toStdString()); };
    const Method method = request.method();
    // The one method a path takes; another gets 405.
    const auto only = [&](Method allowed, const char* allowName,
                          const std::function<Outcome()>& handler) -> Outcome {
        if (method == allowed) return handler();
        return {apiMethodNotAllowed(allowName)};
    };

    if (is({"search"})) return only(Method::Get, "GET", [&] { return Outcome{search(request)}; });
    if (is({"rotation"})) return only(Method::Get, "GET", [&] { return rotation(); });
    if (is({"requests"})) {
        return only(Method::Post, "POST", [&] { return Outcome{addRequest(request, client)}; });
    }
    if (is({"requests", nullptr}) && idAt(1)) {
        return only(Method::Delete, "DELETE", [&] { return Outcome{withdraw(request, *idAt(1))}; });
    }
    if (p.empty() || p[0] != QLatin1String("host")) return {notFound};
    HostAnswer host = host_->route(request, client, p);
    return {host.now, std::move(host.onPlayer)};
}

ApiReply ServerCore::search(const QHttpServerRequest& request) {
    const QUrlQuery query = request.query();
    if (!query.hasQueryItem(QStringLiteral("q")))
        return apiError(Status::BadRequest, QStringLiteral("Add the words to find: ?q=WORDS"));
    const std::optional<std::string> words =
        checkQuery(query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded).toStdString());
    if (!words)
        return apiError(Status::BadRequest, QStringLiteral("The search is too long or not text."));
    QJsonArray songs;
    if (words->find_first_not_of(' ') != std::string::npos) {
        if (LibraryIndex* library = index()) {
            for (const LibrarySong& s : library->search(*words, limits::kMaxSearchResults).songs)
                songs.append(apiSongJson(s.id, s.artist, s.title, s.durationMs));
            if (options_.searched) options_.searched();
        }
    }
    return apiJsonReply(Status::Ok, QJsonDocument(songs));
}

ApiReply ServerCore::addRequest(const QHttpServerRequest& request, const std::string& client) {
    if (!apiHeader(request, "Content-Type").startsWith("application/json"))
        return apiError(Status::BadRequest, QStringLiteral("Send JSON."));
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return apiError(Status::BadRequest, QStringLiteral("Send a JSON object."));
    const QJsonObject object = document.object();
    const QJsonValue singer = object.value(QStringLiteral("singer"));
    const QJsonValue song = object.value(QStringLiteral("song"));
    if (!singer.isString() || !song.isDouble())
        return apiError(Status::BadRequest,
                        QStringLiteral("Send a singer's name and a song's id."));
    std::string why;
    const std::optional<std::string> name = checkSingerName(singer.toString().toStdString(), &why);
    if (!name) return apiError(Status::BadRequest, apiText(why));
    const std::optional<std::int64_t> songId = idFromNumber(song.toDouble());
    if (!songId) return apiError(Status::BadRequest, QStringLiteral("No such song."));
    LibraryIndex* library = index();
    if (!library)
        return apiError(Status::ServiceUnavailable,
                        QStringLiteral("The song library is not open."));
    if (!newRequests_.allow(client)) {
        ApiReply reply =
            apiError(Status::TooManyRequests, QStringLiteral("Too many requests; wait a moment."));
        reply.headers.emplace_back("Retry-After",
                                   QByteArray::number(newRequests_.retryAfterSeconds(client)));
        return reply;
    }
    QByteArray token = apiTokenOf(request);
    const bool newPhone = token.isEmpty();
    if (newPhone) token = apiNewToken();
    RequestList list(*library);
    SongRequest made;
    switch (
        list.add(*name, *songId, token.toStdString(), QDateTime::currentSecsSinceEpoch(), &made)) {
        case RequestList::Outcome::Done:
            break;
        case RequestList::Outcome::NoSuchSong:
            return apiError(Status::BadRequest, QStringLiteral("No such song."));
        case RequestList::Outcome::TooMany:
            return apiError(Status::TooManyRequests,
                            QStringLiteral("Enough requests are waiting; wait for the host."));
        default:
            return apiError(Status::ServiceUnavailable,
                            QStringLiteral("The request could not be kept."));
    }
    // Before the answer: the phone's next look at the rotation shows its request.
    changedHere(made);
    ApiReply reply = apiJson(apiRequestJson(made), Status::Created);
    reply.headers.emplace_back(kApiTokenHeader, token);
    if (newPhone) {
        reply.headers.emplace_back("Set-Cookie", QByteArray(kApiTokenCookie) + '=' + token +
                                                     "; Path=/; HttpOnly; SameSite=Strict; "
                                                     "Max-Age=86400");
    }
    return reply;
}

ApiReply ServerCore::withdraw(const QHttpServerRequest& request, std::int64_t id) {
    LibraryIndex* library = index();
    if (!library)
        return apiError(Status::ServiceUnavailable,
                        QStringLiteral("The song library is not open."));
    const QByteArray token = apiTokenOf(request);
    RequestList list(*library);
    switch (list.withdraw(id, token.toStdString())) {
        case RequestList::Outcome::Done:
            changedHere(std::nullopt);
            return apiJson({{QStringLiteral("withdrawn"), static_cast<double>(id)}});
        case RequestList::Outcome::NoSuchRequest:
            return apiError(Status::NotFound, QStringLiteral("No such request."));
        case RequestList::Outcome::NotYours:
            return apiError(Status::Forbidden,
                            QStringLiteral("Only the phone that asked may withdraw it."));
        default:
            return apiError(Status::ServiceUnavailable,
                            QStringLiteral("The request could not be withdrawn."));
    }
}

// The snapshot as made, when the player's part is current; a phone's look costs
// the player's thread nothing. A stale one (no phone asked for a while) waits
// for the player's part, asked for once however many wait.
ServerCore::Outcome ServerCore::rotation() {
    if (requestsStale_) readRequests();
    const std::int64_t freshFor =
        std::max<std::int64_t>(kFreshMs, 2 * std::int64_t{options_.liveCheckMs});
    if (freshAtMs_ < 0 || steady_() - freshAtMs_ > freshFor || snapshot_.isEmpty()) {
        Outcome later;
        later.awaitSnapshot = true;
        return later;
    }
    ApiReply reply;
    reply.raw = snapshot_;
    reply.contentType = "application/json";
    reply.headers.emplace_back("Cache-Control", "no-store");
    return {reply};
}

}  // namespace lyrvox
