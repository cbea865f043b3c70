#include "server/host_api.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <utility>

#include "library/library_index.h"
#include "requests/input_checks.h"
#include "requests/pin_guard.h"
#include "requests/request_list.h"
#include "server/request_server.h"

namespace lyrvox {
namespace {

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;

}  // namespace

HostApi::HostApi(const ServerLinks& links, PinGuard& pins, std::function<void()> changed)
    : links_(links), pins_(pins), changed_(std::move(changed)) {}

ApiReply HostApi::route(const QHttpServerRequest& request, const std::string& client,
                        const std::vector<QString>& p) {
    const auto is = [&p](std::initializer_list<const char*> names) { return apiPathIs(p, names); };
    const auto idAt = [&p](std::size_t i) { return parseId(p[i].toStdString()); };
    const Method method = request.method();
    // Every host's path takes one method (another gets 405), then the PIN.
    const auto only = [&](Method allowed, const char* allowName,
                          const std::function<ApiReply()>& action) -> ApiReply {
        if (method != allowed) return apiMethodNotAllowed(allowName);
        return guarded(request, client, action);
    };

    if (is({"host", "requests"})) return only(Method::Get, "GET", [&] { return pending(); });
    for (const bool approve : {true, false}) {
        if (is({"host", "requests", nullptr, approve ? "approve" : "decline"}) && idAt(2))
            return only(Method::Post, "POST", [&] { return decide(*idAt(2), approve); });
    }
    const std::pair<const char*, const std::function<void()>*> commands[] = {
        {"play-pause", &links_.playPause}, {"stop", &links_.stop}, {"next", &links_.next}};
    for (const auto& [name, run] : commands) {
        if (is({"host", name})) return only(Method::Post, "POST", [&] { return command(*run); });
    }
    for (const char* action : {"up", "down", "away", "next"}) {
        if (is({"host", "singers", nullptr, action}) && idAt(2)) {
            return only(Method::Post, "POST",
                        [&] { return singerAction(*idAt(2), QLatin1String(action)); });
        }
    }
    if (is({"host", "key"})) {
        return only(Method::Post, "POST", [&] {
            return setNumber(request, "semitones", -SingerRotation::kMaxKey,
                             SingerRotation::kMaxKey, links_.setKey);
        });
    }
    if (is({"host", "tempo"})) {
        return only(Method::Post, "POST", [&] {
            return setNumber(request, "percent", RequestServer::kMinTempo, RequestServer::kMaxTempo,
                             links_.setTempo);
        });
    }
    return apiError(Status::NotFound, QStringLiteral("Not found."));
}

ApiReply HostApi::guarded(const QHttpServerRequest& request, const std::string& client,
                          const std::function<ApiReply()>& action) {
    const QByteArray authorization = apiHeader(request, "Authorization");
    if (!authorization.startsWith("Bearer ")) {
        ApiReply reply =
            apiError(Status::Unauthorized, QStringLiteral("The host's PIN is needed."));
        reply.headers.emplace_back("WWW-Authenticate", "Bearer");
        return reply;
    }
    const PinGuard::Outcome outcome =
        pins_.check(client, authorization.mid(7).trimmed().toStdString());
    if (outcome.verdict == PinGuard::Verdict::Accepted) return action();
    const QByteArray retry = QByteArray::number((outcome.retryAfterMs + 999) / 1000);
    ApiReply reply =
        outcome.verdict == PinGuard::Verdict::Waiting
            ? apiError(Status::TooManyRequests, QStringLiteral("Too many wrong PINs; wait."))
            : apiError(Status::Unauthorized, QStringLiteral("Wrong PIN."));
    if (outcome.retryAfterMs > 0) reply.headers.emplace_back("Retry-After", retry);
    return reply;
}
ApiReply HostApi::pending() {
    QJsonArray requests;
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    if (index && index->isOpen()) {
        for (const SongRequest& r : RequestList(*index).pending())
            requests.append(apiRequestJson(r));
    }
    return apiJsonReply(Status::Ok, QJsonDocument(requests));
}

ApiReply HostApi::decide(std::int64_t id, bool approve) {
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    SingerRotation* rotation = links_.rotation ? links_.rotation() : nullptr;
    if (!index || !index->isOpen() || (approve && !rotation))
        return apiError(Status::ServiceUnavailable,
                        QStringLiteral("The song library is not open."));
    RequestList list(*index);
    const RequestList::Outcome outcome = approve ? list.approve(id, *rotation) : list.decline(id);
    switch (outcome) {
        case RequestList::Outcome::Done:
            if (changed_) changed_();
            return apiJson(
                {{QLatin1String(approve ? "approved" : "declined"), static_cast<double>(id)}});
        case RequestList::Outcome::NoSuchRequest:
            return apiError(Status::NotFound, QStringLiteral("No such request."));
        case RequestList::Outcome::NoSuchSong:
            return apiError(Status::Conflict, QStringLiteral("The song's file is not there now."));
        default:
            return apiError(Status::ServiceUnavailable, apiText(list.error()));
    }
}

ApiReply HostApi::command(const std::function<void()>& run) {
    if (run) run();
    return apiJson({{QStringLiteral("done"), true}});
}

ApiReply HostApi::singerAction(std::int64_t id, const QString& action) {
    SingerRotation* rotation = links_.rotation ? links_.rotation() : nullptr;
    if (!rotation)
        return apiError(Status::ServiceUnavailable, QStringLiteral("The rotation is not open."));
    const std::vector<RotationSinger>& singers = rotation->singers();
    const auto found = std::find_if(singers.begin(), singers.end(),
                                    [id](const RotationSinger& s) { return s.id == id; });
    if (found == singers.end())
        return apiError(Status::NotFound, QStringLiteral("No such singer."));
    // Copies: the actions below change the list `found` points into.
    const std::string name = found->name;
    const int row = static_cast<int>(found - singers.begin());
    const bool away = found->away;
    bool done = false;
    if (action == QLatin1String("up") || action == QLatin1String("down")) {
        const int to = row + (action == QLatin1String("up") ? -1 : 1);
        if (to < 0 || to >= static_cast<int>(singers.size()))
            return apiError(Status::Conflict, QStringLiteral("The singer cannot move further."));
        done = rotation->moveSinger(name, to);
    } else if (action == QLatin1String("away")) {
        done = rotation->setAway(name, !away);
    } else {
        done = rotation->makeNext(name);
    }
    if (!done) return apiError(Status::Conflict, apiText(rotation->error()));
    if (changed_) changed_();
    return apiJson({{QStringLiteral("done"), true}});
}

ApiReply HostApi::setNumber(const QHttpServerRequest& request, const char* field, int low, int high,
                            const std::function<void(int)>& run) {
    if (!apiHeader(request, "Content-Type").startsWith("application/json"))
        return apiError(Status::BadRequest, QStringLiteral("Send JSON."));
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return apiError(Status::BadRequest, QStringLiteral("Send a JSON object."));
    const QJsonValue value = document.object().value(QLatin1String(field));
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::floor(number) || number < low || number > high) {
        return apiError(Status::BadRequest,
                        QStringLiteral("Send \"%1\" as a whole number from %2 to %3.")
                            .arg(QLatin1String(field))
                            .arg(low)
                            .arg(high));
    }
    if (run) run(static_cast<int>(number));
    if (changed_) changed_();
    return apiJson({{QLatin1String(field), static_cast<int>(number)}});
}

}  // namespace lyrvox
