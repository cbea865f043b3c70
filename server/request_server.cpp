#include "server/request_server.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>
#include <algorithm>
#include <cmath>

#include "library/library_index.h"
#include "requests/input_checks.h"
#include "requests/request_list.h"
#include "server/guarded_tcp_server.h"
#include "server/page_files.h"

namespace lyrvox {
namespace {

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;
using Reply = RequestServer::Reply;

constexpr const char* kTokenCookie = "lyrvox_client";
constexpr const char* kTokenHeader = "X-Lyrvox-Client";

Reply jsonReply(Status status, QJsonDocument document) {
    Reply reply;
    reply.status = status;
    reply.body = std::move(document);
    return reply;
}

Reply error(Status status, const QString& text) {
    return jsonReply(status, QJsonDocument(QJsonObject{{QStringLiteral("error"), text}}));
}

Reply json(QJsonObject object, Status status = Status::Ok) {
    return jsonReply(status, QJsonDocument(std::move(object)));
}

QString str(const std::string& text) {
    return QString::fromStdString(text);
}

// A request's header, its name matched without regard to case.
QByteArray header(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    }
    return {};
}

// A phone's token: 32 lowercase hexadecimal digits, as newToken() makes them.
bool isToken(const QByteArray& text) {
    if (text.size() != 32) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

QByteArray newToken() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

// The token the phone sent, in the header or the cookie; empty when none is valid.
QByteArray tokenOf(const QHttpServerRequest& request) {
    const QByteArray sent = header(request, kTokenHeader);
    if (isToken(sent)) return sent;
    for (const QByteArray& part : header(request, "Cookie").split(';')) {
        const QByteArray item = part.trimmed();
        const QByteArray prefix = QByteArray(kTokenCookie) + '=';
        if (item.startsWith(prefix) && isToken(item.mid(prefix.size())))
            return item.mid(prefix.size());
    }
    return {};
}

QJsonObject songJson(std::int64_t id, const std::string& artist, const std::string& title,
                     std::int64_t durationMs) {
    return {{QStringLiteral("id"), static_cast<double>(id)},
            {QStringLiteral("artist"), str(artist)},
            {QStringLiteral("title"), str(title)},
            {QStringLiteral("duration"), static_cast<double>((durationMs + 500) / 1000)}};
}

QJsonObject requestJson(const SongRequest& r) {
    return {{QStringLiteral("id"), static_cast<double>(r.id)},
            {QStringLiteral("singer"), str(r.singer)},
            {QStringLiteral("song"), songJson(r.songId, r.artist, r.title, r.durationMs)},
            {QStringLiteral("requestedAt"), static_cast<double>(r.requestedAt)}};
}

QJsonObject turnJson(const RotationTurn& turn) {
    return {{QStringLiteral("singer"), str(turn.singer)},
            {QStringLiteral("artist"), str(turn.song.artist)},
            {QStringLiteral("title"), str(turn.song.title)}};
}

// The path's segments after "/api/", when it is made of plain names only: no
// empty segment, no escapes, no dot segments.
std::optional<std::vector<QString>> apiSegments(const QHttpServerRequest& request) {
    const QString path = request.url().path(QUrl::FullyEncoded);
    if (!path.startsWith(QStringLiteral("/api/")) || path.contains(QChar('%'))) return std::nullopt;
    const QStringList parts = path.mid(5).split(QChar('/'));
    std::vector<QString> segments;
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QStringLiteral(".") || part == QStringLiteral(".."))
            return std::nullopt;
        segments.push_back(part);
    }
    return segments;
}

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
            options_.clock ? options_.clock : steadyMillisecondClock(), options_.pinRule) {
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
    if (header(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
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
    const QByteArray length = header(request, "Content-Length");
    if (!length.isEmpty() && length.toLongLong(&lengthOk) > qint64(limits::kMaxBodyBytes))
        lengthOk = false;
    if (!lengthOk || request.body().size() > qsizetype(limits::kMaxBodyBytes))
        return error(Status::PayloadTooLarge, QStringLiteral("The request is too large."));
    if (!everyRequest_.allow(client)) {
        Reply reply =
            error(Status::TooManyRequests, QStringLiteral("Too many requests; wait a moment."));
        reply.headers.emplace_back("Retry-After",
                                   QByteArray::number(everyRequest_.retryAfterSeconds(client)));
        return reply;
    }
    return route(request, client);
}

Reply RequestServer::route(const QHttpServerRequest& request, const std::string& client) {
    const Reply notFound = error(Status::NotFound, QStringLiteral("Not found."));
    if (std::optional<Reply> served = page(request)) return *served;
    const std::optional<std::vector<QString>> path = apiSegments(request);
    if (!path) return notFound;
    const std::vector<QString>& p = *path;
    const auto is = [&p](std::initializer_list<const char*> names) {
        if (p.size() != names.size()) return false;
        std::size_t i = 0;
        for (const char* name : names) {
            if (name != nullptr && p[i] != QLatin1String(name)) return false;
            ++i;
        }
        return true;
    };
    const auto idAt = [&p](std::size_t i) { return parseId(p[i].toStdString()); };
    const Method method = request.method();
    // The one method a path takes; another gets 405.
    const auto only = [&](Method allowed, const char* allowName,
                          const std::function<Reply()>& handler) -> Reply {
        if (method == allowed) return handler();
        Reply reply = error(Status::MethodNotAllowed, QStringLiteral("Method not allowed."));
        reply.headers.emplace_back("Allow", allowName);
        return reply;
    };

    if (is({"search"})) return only(Method::Get, "GET", [&] { return search(request); });
    if (is({"rotation"})) return only(Method::Get, "GET", [&] { return rotation(); });
    if (is({"requests"}))
        return only(Method::Post, "POST", [&] { return addRequest(request, client); });
    if (is({"requests", nullptr}) && idAt(1))
        return only(Method::Delete, "DELETE", [&] { return withdraw(request, *idAt(1)); });
    if (p.empty() || p[0] != QLatin1String("host")) return notFound;

    if (is({"host", "requests"}))
        return only(Method::Get, "GET",
                    [&] { return host(request, client, [&] { return pending(); }); });
    for (const bool approve : {true, false}) {
        if (is({"host", "requests", nullptr, approve ? "approve" : "decline"}) && idAt(2)) {
            return only(Method::Post, "POST", [&] {
                return host(request, client, [&] { return hostRequest(*idAt(2), approve); });
            });
        }
    }
    const std::pair<const char*, const std::function<void()>*> commands[] = {
        {"play-pause", &links_.playPause}, {"stop", &links_.stop}, {"next", &links_.next}};
    for (const auto& [name, run] : commands) {
        if (is({"host", name})) {
            return only(Method::Post, "POST",
                        [&] { return host(request, client, [&] { return command(*run); }); });
        }
    }
    for (const char* action : {"up", "down", "away", "next"}) {
        if (is({"host", "singers", nullptr, action}) && idAt(2)) {
            return only(Method::Post, "POST", [&] {
                return host(request, client,
                            [&] { return singerAction(*idAt(2), QLatin1String(action)); });
            });
        }
    }
    if (is({"host", "key"})) {
        return only(Method::Post, "POST", [&] {
            return host(request, client, [&] {
                return setNumber(request, "semitones", -SingerRotation::kMaxKey,
                                 SingerRotation::kMaxKey, links_.setKey);
            });
        });
    }
    if (is({"host", "tempo"})) {
        return only(Method::Post, "POST", [&] {
            return host(request, client, [&] {
                return setNumber(request, "percent", kMinTempo, kMaxTempo, links_.setTempo);
            });
        });
    }
    return notFound;
}

std::optional<Reply> RequestServer::page(const QHttpServerRequest& request) {
    const std::optional<PageFile> file =
        PageFiles::find(request.url().path(QUrl::FullyEncoded).toUtf8());
    if (!file) return std::nullopt;
    if (request.method() != Method::Get) {
        Reply reply = error(Status::MethodNotAllowed, QStringLiteral("Method not allowed."));
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
    const QByteArray known = header(request, "If-None-Match");
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
        return error(Status::BadRequest, QStringLiteral("Add the words to find: ?q=WORDS"));
    const std::optional<std::string> words =
        checkQuery(query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded).toStdString());
    if (!words)
        return error(Status::BadRequest, QStringLiteral("The search is too long or not text."));
    QJsonArray songs;
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (index && index->isOpen() && words->find_first_not_of(' ') != std::string::npos) {
        for (const LibrarySong& s : index->search(*words, limits::kMaxSearchResults).songs)
            songs.append(songJson(s.id, s.artist, s.title, s.durationMs));
    }
    return jsonReply(Status::Ok, QJsonDocument(songs));
}

Reply RequestServer::addRequest(const QHttpServerRequest& request, const std::string& client) {
    if (!header(request, "Content-Type").startsWith("application/json"))
        return error(Status::BadRequest, QStringLiteral("Send JSON."));
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return error(Status::BadRequest, QStringLiteral("Send a JSON object."));
    const QJsonObject object = document.object();
    const QJsonValue singer = object.value(QStringLiteral("singer"));
    const QJsonValue song = object.value(QStringLiteral("song"));
    if (!singer.isString() || !song.isDouble())
        return error(Status::BadRequest, QStringLiteral("Send a singer's name and a song's id."));
    std::string why;
    const std::optional<std::string> name = checkSingerName(singer.toString().toStdString(), &why);
    if (!name) return error(Status::BadRequest, str(why));
    const std::optional<std::int64_t> songId = idFromNumber(song.toDouble());
    if (!songId) return error(Status::BadRequest, QStringLiteral("No such song."));
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (!index || !index->isOpen())
        return error(Status::ServiceUnavailable, QStringLiteral("The song library is not open."));
    if (!newRequests_.allow(client)) {
        Reply reply =
            error(Status::TooManyRequests, QStringLiteral("Too many requests; wait a moment."));
        reply.headers.emplace_back("Retry-After",
                                   QByteArray::number(newRequests_.retryAfterSeconds(client)));
        return reply;
    }
    QByteArray token = tokenOf(request);
    const bool newPhone = token.isEmpty();
    if (newPhone) token = newToken();
    RequestList list(*index);
    SongRequest made;
    switch (
        list.add(*name, *songId, token.toStdString(), QDateTime::currentSecsSinceEpoch(), &made)) {
        case RequestList::Outcome::Done:
            break;
        case RequestList::Outcome::NoSuchSong:
            return error(Status::BadRequest, QStringLiteral("No such song."));
        case RequestList::Outcome::TooMany:
            return error(Status::TooManyRequests,
                         QStringLiteral("Enough requests are waiting; wait for the host."));
        default:
            return error(Status::ServiceUnavailable,
                         QStringLiteral("The request could not be kept."));
    }
    changed();
    if (links_.requested) links_.requested(made);
    Reply reply = json(requestJson(made), Status::Created);
    reply.headers.emplace_back(kTokenHeader, token);
    if (newPhone) {
        reply.headers.emplace_back("Set-Cookie", QByteArray(kTokenCookie) + '=' + token +
                                                     "; Path=/; HttpOnly; SameSite=Strict; "
                                                     "Max-Age=86400");
    }
    return reply;
}

Reply RequestServer::withdraw(const QHttpServerRequest& request, std::int64_t id) {
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (!index || !index->isOpen())
        return error(Status::ServiceUnavailable, QStringLiteral("The song library is not open."));
    const QByteArray token = tokenOf(request);
    RequestList list(*index);
    switch (list.withdraw(id, token.toStdString())) {
        case RequestList::Outcome::Done:
            changed();
            return json({{QStringLiteral("withdrawn"), static_cast<double>(id)}});
        case RequestList::Outcome::NoSuchRequest:
            return error(Status::NotFound, QStringLiteral("No such request."));
        case RequestList::Outcome::NotYours:
            return error(Status::Forbidden,
                         QStringLiteral("Only the phone that asked may withdraw it."));
        default:
            return error(Status::ServiceUnavailable,
                         QStringLiteral("The request could not be withdrawn."));
    }
}

Reply RequestServer::rotation() {
    QJsonObject out;
    const std::optional<RotationTurn> playing = links_.playing ? links_.playing() : std::nullopt;
    out.insert(QStringLiteral("playing"), playing ? QJsonValue(turnJson(*playing)) : QJsonValue());
    QJsonArray singers;
    if (SingerRotation* r = links_.rotation ? links_.rotation() : nullptr) {
        for (const RotationSinger& s : r->singers()) {
            singers.append(
                QJsonObject{{QStringLiteral("name"), str(s.name)},
                            {QStringLiteral("id"), static_cast<double>(s.id)},
                            {QStringLiteral("away"), s.away},
                            {QStringLiteral("songs"), static_cast<int>(s.songs.size())}});
        }
    }
    out.insert(QStringLiteral("singers"), singers);
    QJsonArray coming;
    if (links_.coming) {
        for (const RotationTurn& turn : links_.coming(10)) coming.append(turnJson(turn));
    }
    out.insert(QStringLiteral("coming"), coming);
    QJsonArray requests;
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (index && index->isOpen()) {
        for (const SongRequest& r : RequestList(*index).pending()) requests.append(requestJson(r));
    }
    out.insert(QStringLiteral("requests"), requests);
    if (links_.keyAndTempo) {
        const auto [key, tempo] = links_.keyAndTempo();
        out.insert(QStringLiteral("key"), key);
        out.insert(QStringLiteral("tempo"), tempo);
    }
    return json(out);
}

Reply RequestServer::host(const QHttpServerRequest& request, const std::string& client,
                          const std::function<Reply()>& action) {
    const QByteArray authorization = header(request, "Authorization");
    if (!authorization.startsWith("Bearer ")) {
        Reply reply = error(Status::Unauthorized, QStringLiteral("The host's PIN is needed."));
        reply.headers.emplace_back("WWW-Authenticate", "Bearer");
        return reply;
    }
    const PinGuard::Outcome outcome =
        pins_.check(client, authorization.mid(7).trimmed().toStdString());
    if (outcome.verdict == PinGuard::Verdict::Accepted) return action();
    const QByteArray retry = QByteArray::number((outcome.retryAfterMs + 999) / 1000);
    Reply reply = outcome.verdict == PinGuard::Verdict::Waiting
                      ? error(Status::TooManyRequests, QStringLiteral("Too many wrong PINs; wait."))
                      : error(Status::Unauthorized, QStringLiteral("Wrong PIN."));
    if (outcome.retryAfterMs > 0) reply.headers.emplace_back("Retry-After", retry);
    return reply;
}

Reply RequestServer::pending() {
    QJsonArray requests;
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (index && index->isOpen()) {
        for (const SongRequest& r : RequestList(*index).pending()) requests.append(requestJson(r));
    }
    return jsonReply(Status::Ok, QJsonDocument(requests));
}

Reply RequestServer::hostRequest(std::int64_t id, bool approve) {
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    SingerRotation* rotation = links_.rotation ? links_.rotation() : nullptr;
    if (!index || !index->isOpen() || (approve && !rotation))
        return error(Status::ServiceUnavailable, QStringLiteral("The song library is not open."));
    RequestList list(*index);
    const RequestList::Outcome outcome = approve ? list.approve(id, *rotation) : list.decline(id);
    switch (outcome) {
        case RequestList::Outcome::Done:
            changed();
            return json(
                {{QLatin1String(approve ? "approved" : "declined"), static_cast<double>(id)}});
        case RequestList::Outcome::NoSuchRequest:
            return error(Status::NotFound, QStringLiteral("No such request."));
        case RequestList::Outcome::NoSuchSong:
            return error(Status::Conflict, QStringLiteral("The song's file is not there now."));
        default:
            return error(Status::ServiceUnavailable, str(list.error()));
    }
}

Reply RequestServer::command(const std::function<void()>& run) {
    if (run) run();
    return json({{QStringLiteral("done"), true}});
}

Reply RequestServer::singerAction(std::int64_t id, const QString& action) {
    SingerRotation* rotation = links_.rotation ? links_.rotation() : nullptr;
    if (!rotation)
        return error(Status::ServiceUnavailable, QStringLiteral("The rotation is not open."));
    const std::vector<RotationSinger>& singers = rotation->singers();
    const auto found = std::find_if(singers.begin(), singers.end(),
                                    [id](const RotationSinger& s) { return s.id == id; });
    if (found == singers.end()) return error(Status::NotFound, QStringLiteral("No such singer."));
    // Copies: the actions below change the list `found` points into.
    const std::string name = found->name;
    const int row = static_cast<int>(found - singers.begin());
    const bool away = found->away;
    bool done = false;
    if (action == QLatin1String("up") || action == QLatin1String("down")) {
        const int to = row + (action == QLatin1String("up") ? -1 : 1);
        if (to < 0 || to >= static_cast<int>(singers.size()))
            return error(Status::Conflict, QStringLiteral("The singer cannot move further."));
        done = rotation->moveSinger(name, to);
    } else if (action == QLatin1String("away")) {
        done = rotation->setAway(name, !away);
    } else {
        done = rotation->makeNext(name);
    }
    if (!done) return error(Status::Conflict, str(rotation->error()));
    changed();
    return json({{QStringLiteral("done"), true}});
}

Reply RequestServer::setNumber(const QHttpServerRequest& request, const char* field, int low,
                               int high, const std::function<void(int)>& run) {
    if (!header(request, "Content-Type").startsWith("application/json"))
        return error(Status::BadRequest, QStringLiteral("Send JSON."));
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return error(Status::BadRequest, QStringLiteral("Send a JSON object."));
    const QJsonValue value = document.object().value(QLatin1String(field));
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::floor(number) || number < low || number > high) {
        return error(Status::BadRequest,
                     QStringLiteral("Send \"%1\" as a whole number from %2 to %3.")
                         .arg(QLatin1String(field))
                         .arg(low)
                         .arg(high));
    }
    if (run) run(static_cast<int>(number));
    changed();
    return json({{QLatin1String(field), static_cast<int>(number)}});
}

void RequestServer::changed() {
    if (links_.changed) links_.changed();
    sendRotation();
}

}  // namespace lyrvox
