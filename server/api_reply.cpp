#include "server/api_reply.h"

#include <QHttpServerRequest>
#include <QRandomGenerator>
#include <QStringList>
#include <QUrl>

#include "library/singer_rotation.h"
#include "requests/request_list.h"

namespace lyrvox {

using Status = QHttpServerResponder::StatusCode;

ApiReply apiJsonReply(Status status, QJsonDocument document) {
    ApiReply reply;
    reply.status = status;
    reply.body = std::move(document);
    return reply;
}

ApiReply apiError(Status status, const QString& text) {
    return apiJsonReply(status, QJsonDocument(QJsonObject{{QStringLiteral("error"), text}}));
}

ApiReply apiJson(QJsonObject object, Status status) {
    return apiJsonReply(status, QJsonDocument(std::move(object)));
}

ApiReply apiMethodNotAllowed(const char* allow) {
    ApiReply reply = apiError(Status::MethodNotAllowed, QStringLiteral("Method not allowed."));
    reply.headers.emplace_back("Allow", allow);
    return reply;
}

QString apiText(const std::string& text) {
    return QString::fromStdString(text);
}

QByteArray apiHeader(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    }
    return {};
}

bool apiIsToken(const QByteArray& text) {
    if (text.size() != 32) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

QByteArray apiNewToken() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

QByteArray apiTokenOf(const QHttpServerRequest& request) {
    const QByteArray sent = apiHeader(request, kApiTokenHeader);
    if (apiIsToken(sent)) return sent;
    for (const QByteArray& part : apiHeader(request, "Cookie").split(';')) {
        const QByteArray item = part.trimmed();
        const QByteArray prefix = QByteArray(kApiTokenCookie) + '=';
        if (item.startsWith(prefix) && apiIsToken(item.mid(prefix.size())))
            return item.mid(prefix.size());
    }
    return {};
}

QJsonObject apiSongJson(std::int64_t id, const std::string& artist, const std::string& title,
                        std::int64_t durationMs) {
    return {{QStringLiteral("id"), static_cast<double>(id)},
            {QStringLiteral("artist"), apiText(artist)},
            {QStringLiteral("title"), apiText(title)},
            {QStringLiteral("duration"), static_cast<double>((durationMs + 500) / 1000)}};
}

QJsonObject apiRequestJson(const SongRequest& r) {
    return {{QStringLiteral("id"), static_cast<double>(r.id)},
            {QStringLiteral("singer"), apiText(r.singer)},
            {QStringLiteral("song"), apiSongJson(r.songId, r.artist, r.title, r.durationMs)},
            {QStringLiteral("requestedAt"), static_cast<double>(r.requestedAt)}};
}

QJsonObject apiTurnJson(const RotationTurn& turn) {
    return {{QStringLiteral("singer"), apiText(turn.singer)},
            {QStringLiteral("artist"), apiText(turn.song.artist)},
            {QStringLiteral("title"), apiText(turn.song.title)}};
}

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

bool apiPathIs(const std::vector<QString>& path, std::initializer_list<const char*> names) {
    if (path.size() != names.size()) return false;
    std::size_t i = 0;
    for (const char* name : names) {
        if (name != nullptr && path[i] != QLatin1String(name)) return false;
        ++i;
    }
    return true;
}

}  // namespace lyrvox
