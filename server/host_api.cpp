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

HostApi::HostApi(const ServerLinks& links, PinGuard& pins, Hooks hooks)
    : links_(links), pins_(pins), hooks_(std::move(hooks)) {}

HostAnswer HostApi::route(const QHttpServerRequest& request, const std::string& client,
                          const std::vector<QString>& p) {
    const auto is = [&p](std::initializer_list<const char*> names) { return apiPathIs(p, names); };
    const auto idAt = [&p](std::size_t i) { return parseId(p[i].toStdString()); };
    const Method method = request.method();
    // Every host's path takes one method (another gets 405), then the PIN.
    const auto only = [&](Method allowed, const char* allowName,
                          const std::function<HostAnswer()>& action) -> HostAnswer {
        if (method != allowed) return {apiMethodNotAllowed(allowName), {}};
        return guarded(request, client, action);
    };
    // A job for the player's thread.
    const auto onPlayer = [](std::function<ApiReply()> job) {
        return HostAnswer{{}, std::move(job)};
    };

    if (is({"host", "requests"}))
        return only(Method::Get, "GET", [&] { return HostAnswer{pending(), {}}; });
    if (is({"host", "requests", nullptr, "approve"}) && idAt(2)) {
        return only(Method::Post, "POST",
                    [&, id = *idAt(2)] { return onPlayer([this, id] { return approve(id); }); });
    }
    if (is({"host", "requests", nullptr, "decline"}) && idAt(2))
        return only(Method::Post, "POST", [&] { return HostAnswer{decline(*idAt(2)), {}}; });
    const std::pair<const char*, const std::function<void()>*> commands[] = {
        {"play-pause", &links_.playPause}, {"stop", &links_.stop}, {"next", &links_.next}};
    for (const auto& [name, run] : commands) {
        if (is({"host", name})) {
            return only(Method::Post, "POST",
                        [&, run = run] { return onPlayer([this, run] { return command(*run); }); });
        }
    }
    for (const char* action : {"up", "down", "away", "next"}) {
        if (is({"host", "singers", nullptr, action}) && idAt(2)) {
            return only(Method::Post, "POST", [&, id = *idAt(2)] {
                return onPlayer(
                    [this, id, action] { return singerAction(id, QLatin1String(action)); });
            });
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
    return {apiError(Status::NotFound, QStringLiteral("Not found.")), {}};
}

HostAnswer HostApi::guarded(const QHttpServerRequest& request, const std::string& client,
                            const std::function<HostAnswer()>& action) {
    const QByteArray authorization = apiHeader(request, "Authorization");
    if (!authorization.startsWith("Bearer ")) {
        ApiReply reply =
            apiError(Status::Unauthorized, QStringLiteral("The host's PIN is needed."));
        reply.headers.emplace_back("WWW-Authenticate", "Bearer");
        return {reply, {}};
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
    return {reply, {}};
}

ApiReply HostApi::pending() {
    QJsonArray requests;
    if (LibraryIndex* index = hooks_.index ? hooks_.index() : nullptr) {
        for (const SongRequest& r : RequestList(*index).pending())
            requests.append(apiRequestJson(r));
    }
    return apiJsonReply(Status::Ok, QJsonDocument(requests));
}

ApiReply HostApi::decline(std::int64_t id) {
    LibraryIndex* index = hooks_.index ? hooks_.index() : nullptr;
    if (!index)
        return apiError(Status::ServiceUnavailable,
                        QStringLiteral("The song library is not open."));
    RequestList list(*index);
    switch (list.decline(id)) {
        case RequestList::Outcome::Done:
            if (hooks_.changedHere) hooks_.changedHere();
            return apiJson({{QStringLiteral("declined"), static_cast<double>(id)}});
        case RequestList::Outcome::NoSuchRequest:
            return apiError(Status::NotFound, QStringLiteral("No such request."));
        default:
            return apiError(Status::ServiceUnavailable,
                            QStringLiteral("The request could not be declined."));
    }
}

ApiReply HostApi::approve(std::int64_t id) {
    LibraryIndex* index = links_.index ? links_.index() : nullptr;
    SingerRotation* rotation = links_.rotation ? links_.rotation() : nullptr;
    if (!index || !index->isOpen() || !rotation)
        return apiError(Status::ServiceUnavailable,
                        QStringLiteral("The song library is not open."));
    RequestList list(*index);
    switch (list.approve(id, *rotation)) {
        case RequestList::Outcome::Done:
            if (hooks_.changedOnPlayer) hooks_.changedOnPlayer();
            return apiJson({{QStringLiteral("approved"), static_cast<double>(id)}});
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
    if (hooks_.changedOnPlayer) hooks_.changedOnPlayer();
    return apiJson({{QStringLiteral("done"), true}});
}

HostAnswer HostApi::setNumber(const QHttpServerRequest& request, const char* field, int low,
                              int high, const std::function<void(int)>& run) {
    if (!apiHeader(request, "Content-Type").startsWith("application/json"))
        return {apiError(Status::BadRequest, QStringLiteral("Send JSON.")), {}};
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return {apiError(Status::BadRequest, QStringLiteral("Send a JSON object.")), {}};
    const QJsonValue value = document.object().value(QLatin1String(field));
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::floor(number) || number < low || number > high) {
        return {apiError(Status::BadRequest,
                         QStringLiteral("Send \"%1\" as a whole number from %2 to %3.")
                             .arg(QLatin1String(field))
                             .arg(low)
                             .arg(high)),
                {}};
    }
    const int whole = static_cast<int>(number);
    return {{}, [this, field, whole, run] {
                if (run) run(whole);
                if (hooks_.changedOnPlayer) hooks_.changedOnPlayer();
                return apiJson({{QLatin1String(field), whole}});
            }};
}

}  // namespace lyrvox
