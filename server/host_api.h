#pragma once
// The host's actions of the request server, all behind the PIN: the requests
// waiting, approving and declining them, play/pause/stop/next, moving singers in
// the rotation, and the key and tempo of the song playing. RequestServer owns one
// and hands it every path under /api/host/.
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "server/api_reply.h"

class QHttpServerRequest;

namespace lyrvox {

struct ServerLinks;
class PinGuard;

class HostApi {
  public:
    // `links` and `pins` outlive this; `changed` runs after every change made here.
    HostApi(const ServerLinks& links, PinGuard& pins, std::function<void()> changed);

    // The answer to `request`, its path's segments after "/api/" being `path`
    // (path[0] is "host"); 404 for a path that is not the host's.
    ApiReply route(const QHttpServerRequest& request, const std::string& client,
                   const std::vector<QString>& path);

  private:
    // `action`'s answer when the request carries the right PIN; 401 or 429 when not.
    ApiReply guarded(const QHttpServerRequest& request, const std::string& client,
                     const std::function<ApiReply()>& action);
    ApiReply pending();
    ApiReply decide(std::int64_t id, bool approve);
    ApiReply command(const std::function<void()>& run);
    // up, down, away or next for the singer with the rotation's id `id`.
    ApiReply singerAction(std::int64_t id, const QString& action);
    // A whole number `field` in [low, high] from the JSON body, handed to `run`.
    ApiReply setNumber(const QHttpServerRequest& request, const char* field, int low, int high,
                       const std::function<void(int)>& run);

    const ServerLinks& links_;
    PinGuard& pins_;
    std::function<void()> changed_;
};

}  // namespace lyrvox
