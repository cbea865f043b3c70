#pragma once
// The host's actions of the request server, all behind the PIN: the requests
// waiting, approving and declining them, play/pause/stop/next, moving singers in
// the rotation, and the key and tempo of the song playing. The server's core owns
// one, on the server's thread, and hands it every path under /api/host/. The PIN,
// the input's checks, the requests waiting and declining run there, on the
// server's own library connection; whatever the player owns (the rotation, the
// song playing) is left as a job for the player's thread.
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

class LibraryIndex;

// An answer now, or a job whose result is the answer, for the player's thread.
struct HostAnswer {
    ApiReply now;
    std::function<ApiReply()> onPlayer;  // when set, `now` is not used
};

class HostApi {
  public:
    struct Hooks {
        // The server thread's own library connection; null while it cannot open.
        std::function<LibraryIndex*()> index;
        // The requests changed on the server's thread (a decline).
        std::function<void()> changedHere;
        // The rotation or the requests changed by a job on the player's thread.
        std::function<void()> changedOnPlayer;
    };
    // `links` and `pins` outlive this; `links`' functions are only called from the
    // jobs left for the player's thread.
    HostApi(const ServerLinks& links, PinGuard& pins, Hooks hooks);

    // The answer to `request`, its path's segments after "/api/" being `path`
    // (path[0] is "host"); 404 for a path that is not the host's.
    HostAnswer route(const QHttpServerRequest& request, const std::string& client,
                     const std::vector<QString>& path);

  private:
    // `action`'s answer when the request carries the right PIN; 401 or 429 when not.
    HostAnswer guarded(const QHttpServerRequest& request, const std::string& client,
                       const std::function<HostAnswer()>& action);
    ApiReply pending();
    ApiReply decline(std::int64_t id);
    // On the player's thread, as every job below.
    ApiReply approve(std::int64_t id);
    ApiReply command(const std::function<void()>& run);
    // up, down, away or next for the singer with the rotation's id `id`.
    ApiReply singerAction(std::int64_t id, const QString& action);
    // A whole number `field` in [low, high] from the JSON body (checked on the
    // server's thread), handed to `run` on the player's.
    HostAnswer setNumber(const QHttpServerRequest& request, const char* field, int low, int high,
                         const std::function<void(int)>& run);

    const ServerLinks& links_;
    PinGuard& pins_;
    Hooks hooks_;
};

}  // namespace lyrvox
