#pragma once
// The singers' requests from their phones, waiting for the host, kept in the
// library's database (table `requests`) so that a restart loses none. A request
// names a library song by its id and the singer by a checked name
// (input_checks.h); the phone that made it is known by its random token, and
// only that phone may withdraw it. Approving puts the song at the end of the
// singer's list in the rotation (the singer joins this round when new), through
// the rotation's own store; declining drops it.
//
// Bounded: a phone may have kMaxPerClient requests waiting, the list kMaxPending.
#include <cstdint>
#include <string>
#include <vector>

namespace lyrvox {

class LibraryIndex;
class SingerRotation;

struct SongRequest {
    std::int64_t id = 0;
    std::string singer;
    std::int64_t songId = 0;
    std::string client;            // the token of the phone that asked
    std::int64_t requestedAt = 0;  // seconds since the epoch (UTC)
    // The song as the library lists it.
    std::string artist, title;
    std::int64_t durationMs = 0;
};

class RequestList {
  public:
    static constexpr int kMaxPerClient = 3;
    static constexpr int kMaxPending = 200;

    enum class Outcome {
        Done,
        NoSuchRequest,
        NotYours,    // withdrawn by another phone than the one that asked
        NoSuchSong,  // not in the library, or its file is not there now
        TooMany,     // the phone's or the list's limit reached
        Failed       // the database failed; error() says how
    };

    // `index` must outlive this object.
    explicit RequestList(LibraryIndex& index) : index_(index) {}

    // The waiting requests, oldest first.
    std::vector<SongRequest> pending();
    // `singer` must be checked already (checkSingerName). On Done, `made` holds
    // the new request.
    Outcome add(const std::string& singer, std::int64_t songId, const std::string& client,
                std::int64_t nowSeconds, SongRequest* made = nullptr);
    Outcome withdraw(std::int64_t id, const std::string& client);
    Outcome decline(std::int64_t id);
    // Into the rotation: the singer (matched without regard to ASCII case, or
    // added) gets the song at the end of their list; the request leaves the list.
    Outcome approve(std::int64_t id, SingerRotation& rotation);

    // The last failure in the user's words; empty after success.
    const std::string& error() const { return error_; }

  private:
    Outcome failed(const std::string& what);
    bool find(std::int64_t id, SongRequest& request);

    LibraryIndex& index_;
    std::string error_;
};

}  // namespace lyrvox
