#pragma once
// The request server's answers and the small pieces of a request it reads: the
// JSON replies, headers, the phone's token and the API path's segments. Every
// name starts with "api" so that none can clash with a function elsewhere in the
// program.
#include <QByteArray>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QHttpServerRequest;

namespace lyrvox {

struct RotationTurn;
struct SongRequest;

// One answer: its status, its JSON (none for an empty body) and headers of its own.
struct ApiReply {
    QHttpServerResponder::StatusCode status = QHttpServerResponder::StatusCode::Ok;
    std::optional<QJsonDocument> body;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
    // A page's bytes and type instead of JSON.
    std::optional<QByteArray> raw;
    QByteArray contentType;
};

// The phone's token travels in this cookie and this header.
inline constexpr const char* kApiTokenCookie = "lyrvox_client";
inline constexpr const char* kApiTokenHeader = "X-Lyrvox-Client";

ApiReply apiJsonReply(QHttpServerResponder::StatusCode status, QJsonDocument document);
// {"error": text}
ApiReply apiError(QHttpServerResponder::StatusCode status, const QString& text);
ApiReply apiJson(QJsonObject object,
                 QHttpServerResponder::StatusCode status = QHttpServerResponder::StatusCode::Ok);
// 405 with the one method the path takes in Allow.
ApiReply apiMethodNotAllowed(const char* allow);

QString apiText(const std::string& text);

// A request's header, its name matched without regard to case.
QByteArray apiHeader(const QHttpServerRequest& request, const QByteArray& name);

// A phone's token: 32 lowercase hexadecimal digits, as apiNewToken() makes them.
bool apiIsToken(const QByteArray& text);
QByteArray apiNewToken();
// The token the phone sent, in the header or the cookie; empty when none is valid.
QByteArray apiTokenOf(const QHttpServerRequest& request);

QJsonObject apiSongJson(std::int64_t id, const std::string& artist, const std::string& title,
                        std::int64_t durationMs);
QJsonObject apiRequestJson(const SongRequest& r);
QJsonObject apiTurnJson(const RotationTurn& turn);

// The path's segments after "/api/", when it is made of plain names only: no
// empty segment, no escapes, no dot segments.
std::optional<std::vector<QString>> apiSegments(const QHttpServerRequest& request);
// Whether `path` is `names`, a null name matching any segment.
bool apiPathIs(const std::vector<QString>& path, std::initializer_list<const char*> names);

}  // namespace lyrvox
