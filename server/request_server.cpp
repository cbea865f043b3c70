#include "server/request_server.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>

#include "library/library_index.h"
#include "requests/input_checks.h"
#include "requests/request_list.h"
#include "server/guarded_tcp_server.h"
#include "server/host_api.h"
#include "server/page_files.h"

namespace lyrvox {
namespace {

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;
using Reply = RequestServer::Reply;

}  // namespace

RequestServer::RequestServer(ServerLinks links, QObject* parent)
    : RequestServer(std::move(links), Options{}, parent) {}

RequestServer::RequestServer(ServerLinks links, Options options, QObject* parent)
    : QAbstractHttpServer(parent),
      links_(std::move(links)),
      options_(std::move(options)),
      everyRequest_(options_.everyRequest,
                    options_.clock ? options_.clock : steadyMillisecondClock()),
      newRequests_(options_.newRequests,
                   options_.clock ? options_.clock : steadyMillisecondClock()),
      pins_(options_.pin.empty() ? randomPin() : options_.pin,
            options_.clock ? options_.clock : steadyMillisecondClock(), options_.pinRule),
      host_(std::make_unique<HostApi>(links_, pins_, [this] { changed(); })) {
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
            &RequestServer::takeLiveClients);
    // Changes made in the player itself (a turn taken, a singer added) are found
    // by comparing, while anyone listens.
    liveCheck_.setInterval(options_.liveCheckMs);
    connect(&liveCheck_, &QTimer::timeout, this, [this] { sendRotation(); });
}

RequestServer::~RequestServer() {
    for (QWebSocket* client : live_) client->disconnect(this);
}

quint16 RequestServer::start(const QHostAddress& address, quint16 port) {
    auto* tcp = new GuardedTcpServer(options_.maxRequestBytes, options_.maxConnections, this);
    if (!tcp->listen(address, port)) {
        error_ = tcp->errorString();
        delete tcp;
        return 0;
    }
    tcp_ = tcp;
    bind(tcp_);
    error_.clear();
    return tcp_->serverPort();
}

QString RequestServer::pageUrl() const {
    if (!tcp_ || !tcp_->isListening()) return {};
    QHostAddress host = tcp_->serverAddress();
    if (host == QHostAddress::Any || host == QHostAddress::AnyIPv4 ||
        host == QHostAddress::AnyIPv6) {
        host = QHostAddress(QHostAddress::LocalHost);
        // IPv4 first: what a phone on the same Wi-Fi most surely reaches.
        for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
            if (!a.isLoopback() && !a.isLinkLocal() &&
                a.protocol() == QAbstractSocket::IPv4Protocol) {
                host = a;
                break;
            }
        }
    }
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host.toString());
    url.setPort(tcp_->serverPort());
    url.setPath(QStringLiteral("/"));
    return url.toString();
}

int RequestServer::connections() const {
    return tcp_ ? tcp_->connections() : 0;
}

// Qt HTTP Server's way with an upgrade: true takes the connection over as a
// WebSocket; false has missingHandler answer it, and the connection closed.
bool RequestServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    GuardedTcpServer::answered(socket);
    if (apiHeader(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
        if (!upgradeAllowed(request)) return false;
        tcp_->handedOver(socket);
        return true;
    }
    respond(request, socket);
    return true;
}

void RequestServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    respond(request, socket);
}

void RequestServer::respond(const QHttpServerRequest& request, QTcpSocket* socket) {
    const Reply reply = answer(request);
    QHttpServerResponder responder = makeResponder(request, socket);
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

bool RequestServer::upgradeAllowed(const QHttpServerRequest& request) {
    if (request.method() != Method::Get || request.url().path(QUrl::FullyEncoded) != "/ws")
        return false;
    const std::string client = request.remoteAddress().toString().toStdString();
    return live_.size() < options_.maxLiveClients && everyRequest_.allow(client);
}

void RequestServer::takeLiveClients() {
    while (hasPendingWebSocketConnections()) {
        QWebSocket* client = nextPendingWebSocketConnection().release();
        client->setParent(this);
        // Clients only listen: anything they send is small or cuts them off.
        client->setMaxAllowedIncomingFrameSize(1024);
        client->setMaxAllowedIncomingMessageSize(1024);
        live_.append(client);
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            live_.removeOne(client);
            client->deleteLater();
            if (live_.isEmpty()) liveCheck_.stop();
        });
        client->sendTextMessage(QString::fromUtf8(rotation().body->toJson(QJsonDocument::Compact)));
    }
    if (!live_.isEmpty()) liveCheck_.start();
}

void RequestServer::sendRotation(bool always) {
    if (live_.isEmpty()) return;
    const QByteArray now = rotation().body->toJson(QJsonDocument::Compact);
    if (!always && now == lastSent_) return;
    lastSent_ = now;
    const QString text = QString::fromUtf8(now);
    for (QWebSocket* client : live_) client->sendTextMessage(text);
}

Reply RequestServer::answer(const QHttpServerRequest& request) {
    const std::string client = request.remoteAddress().toString().toStdString();
    bool lengthOk = true;
    const QByteArray length = apiHeader(request, "Content-Length");
    if (!length.isEmpty() && length.toLongLong(&lengthOk) > qint64(limits::kMaxBodyBytes))
        lengthOk = false;
    if (!lengthOk || request.body().size() > qsizetype(limits::kMaxBodyBytes))
        return apiError(Status::PayloadTooLarge, QStringLiteral("The request is too large."));
    if (!everyRequest_.allow(client)) {
        Reply reply =
            apiError(Status::TooManyRequests, QStringLiteral("Too many requests; wait a moment."));
        reply.headers.emplace_back("Retry-After",
                                   QByteArray::number(everyRequest_.retryAfterSeconds(client)));
        return reply;
    }
    return route(request, client);
}

Reply RequestServer::route(const QHttpServerRequest& request, const std::string& client) {
    const Reply notFound = apiError(Status::NotFound, QStringLiteral("Not found."));
    if (std::optional<Reply> served = page(request)) return *served;
    const std::optional<std::vector<QString>> path = apiSegments(request);
    if (!path) return notFound;
    const std::vector<QString>& p = *path;
    const auto is = [&p](std::initializer_list<const char*> names) { return apiPathIs(p, names); };
    const auto idAt = [&p](std::size_t i) { return parseId(p[i].toStdString()); };
    const Method method = request.method();
    // The one method a path takes; another gets 405.
    const auto only = [&](Method allowed, const char* allowName,
                          const std::function<Reply()>& handler) -> Reply {
        if (method == allowed) return handler();
        return apiMethodNotAllowed(allowName);
    };

    if (is({"search"})) return only(Method::Get, "GET", [&] { return search(request); });
    if (is({"rotation"})) return only(Method::Get, "GET", [&] { return rotation(); });
    if (is({"requests"}))
        return only(Method::Post, "POST", [&] { return addRequest(request, client); });
    if (is({"requests", nullptr}) && idAt(1))
        return only(Method::Delete, "DELETE", [&] { return withdraw(request, *idAt(1)); });
    if (p.empty() || p[0] != QLatin1String("host")) return notFound;
    return host_->route(request, client, p);
}

std::optional<Reply> RequestServer::page(const QHttpServerRequest& request) {
    const std::optional<PageFile> file =
        PageFiles::find(request.url().path(QUrl::FullyEncoded).toUtf8());
    if (!file) return std::nullopt;
    if (request.method() != Method::Get) {
        Reply reply = apiError(Status::MethodNotAllowed, QStringLiteral("Method not allowed."));
        reply.headers.emplace_back("Allow", "GET");
        return reply;
    }
    Reply reply;
    reply.headers = {{"Cache-Control", file->cacheControl},
                     {"ETag", file->etag},
                     {"Content-Security-Policy", PageFiles::contentSecurityPolicy()},
                     {"X-Frame-Options", "DENY"}};
    reply.contentType = file->contentType;
    // If-None-Match may list several tags; the phone's copy is current when ours is among them.
    const QByteArray known = apiHeader(request, "If-None-Match");
    if (!known.isEmpty() && (known.trimmed() == "*" || known.contains(file->etag))) {
        reply.status = Status::NotModified;
        reply.raw = QByteArray();
        reply.contentType.clear();
        return reply;
    }
    reply.raw = file->body;
    return reply;
}

Reply RequestServer::search(const QHttpServerRequest& request) {
    const QUrlQuery query = request.query();
    if (!query.hasQueryItem(QStringLiteral("q")))
        return apiError(Status::BadRequest, QStringLiteral("Add the words to find: ?q=WORDS"));
    const std::optional<std::string> words =
        checkQuery(query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded).toStdString());
    if (!words)
        return apiError(Status::BadRequest, QStringLiteral("The search is too long or not text."));
    QJsonArray songs;
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (index && index->isOpen() && words->find_first_not_of(' ') != std::string::npos) {
        for (const LibrarySong& s : index->search(*words, limits::kMaxSearchResults).songs)
            songs.append(apiSongJson(s.id, s.artist, s.title, s.durationMs));
    }
    return apiJsonReply(Status::Ok, QJsonDocument(songs));
}

Reply RequestServer::addRequest(const QHttpServerRequest& request, const std::string& client) {
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
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (!index || !index->isOpen())
        return apiError(Status::ServiceUnavailable,
                        QStringLiteral("The song library is not open."));
    if (!newRequests_.allow(client)) {
        Reply reply =
            apiError(Status::TooManyRequests, QStringLiteral("Too many requests; wait a moment."));
        reply.headers.emplace_back("Retry-After",
                                   QByteArray::number(newRequests_.retryAfterSeconds(client)));
        return reply;
    }
    QByteArray token = apiTokenOf(request);
    const bool newPhone = token.isEmpty();
    if (newPhone) token = apiNewToken();
    RequestList list(*index);
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
    changed();
    if (links_.requested) links_.requested(made);
    Reply reply = apiJson(apiRequestJson(made), Status::Created);
    reply.headers.emplace_back(kApiTokenHeader, token);
    if (newPhone) {
        reply.headers.emplace_back("Set-Cookie", QByteArray(kApiTokenCookie) + '=' + token +
                                                     "; Path=/; HttpOnly; SameSite=Strict; "
                                                     "Max-Age=86400");
    }
    return reply;
}

Reply RequestServer::withdraw(const QHttpServerRequest& request, std::int64_t id) {
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (!index || !index->isOpen())
        return apiError(Status::ServiceUnavailable,
                        QStringLiteral("The song library is not open."));
    const QByteArray token = apiTokenOf(request);
    RequestList list(*index);
    switch (list.withdraw(id, token.toStdString())) {
        case RequestList::Outcome::Done:
            changed();
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

Reply RequestServer::rotation() {
    QJsonObject out;
    const std::optional<RotationTurn> playing = links_.playing ? links_.playing() : std::nullopt;
    out.insert(QStringLiteral("playing"),
               playing ? QJsonValue(apiTurnJson(*playing)) : QJsonValue());
    QJsonArray singers;
    if (SingerRotation* r = links_.rotation ? links_.rotation() : nullptr) {
        for (const RotationSinger& s : r->singers()) {
            singers.append(
                QJsonObject{{QStringLiteral("name"), apiText(s.name)},
                            {QStringLiteral("id"), static_cast<double>(s.id)},
                            {QStringLiteral("away"), s.away},
                            {QStringLiteral("songs"), static_cast<int>(s.songs.size())}});
        }
    }
    out.insert(QStringLiteral("singers"), singers);
    QJsonArray coming;
    if (links_.coming) {
        for (const RotationTurn& turn : links_.coming(10)) coming.append(apiTurnJson(turn));
    }
    out.insert(QStringLiteral("coming"), coming);
    QJsonArray requests;
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (index && index->isOpen()) {
        for (const SongRequest& r : RequestList(*index).pending())
            requests.append(apiRequestJson(r));
    }
    out.insert(QStringLiteral("requests"), requests);
    if (links_.keyAndTempo) {
        const auto [key, tempo] = links_.keyAndTempo();
        out.insert(QStringLiteral("key"), key);
        out.insert(QStringLiteral("tempo"), tempo);
    }
    return apiJson(out);
}

void RequestServer::changed() {
    if (links_.changed) links_.changed();
    sendRotation();
}

}  // namespace lyrvox
