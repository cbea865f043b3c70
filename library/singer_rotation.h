#pragma once
// A karaoke night's singers in a fair rotation. Each singer has a list of songs;
// each singer present sings once per round, in the rotation's order. A round is
// a number: a singer who sang in round R (lastRound == R) waits for round R + 1,
// and the next singer is the first in order who has not sung this round, is not
// away, has a song and has joined by this round. When nobody is left for the
// round, the next round begins. A new singer joins the current round (sings at
// its end, being last in order) or the next one, as the host chooses. "Make
// next" puts one singer ahead of the round's order for the next turn only.
//
// Every action is written to the library's database in one transaction (through
// RotationStore), so that killing the program loses at most the last one. A turn
// is two actions, its start and its end; its song stays in the file, marked as
// playing, between them, so that a turn cut short by a kill comes again when the
// player starts the next time (resumeInterrupted). With the index closed the
// rotation lives in memory only. A night without singers is
// the plain play queue (play_queue.h); this model stands beside it.
//
// The key memory: when a song comes up for a singer, the key and tempo they last
// sang it in are applied, unless the host set them for that queued entry.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "library/rotation_store.h"

namespace lyrvox {

class LibraryIndex;

class SingerRotation {
  public:
    enum class Join { ThisRound, NextRound };
    // The key shifts the player's key control allows, in semitones either way.
    static constexpr int kMaxKey = 6;

    // Reads the rotation saved in `index`, which must outlive this object.
    explicit SingerRotation(LibraryIndex& index);

    const std::vector<RotationSinger>& singers() const { return singers_; }
    std::int64_t round() const { return round_; }
    // The singer the host made next (0: none).
    std::int64_t madeNext() const { return madeNext_; }
    // The last failure's text (the database's, in the user's words); empty after success.
    const std::string& error() const { return error_; }

    // Each returns false (nothing changed, error() says why) for an unknown
    // singer, a name taken or empty, a row out of range, or a failed write.
    bool addSinger(const std::string& name, Join join = Join::ThisRound);
    bool renameSinger(const std::string& name, const std::string& newName);
    bool removeSinger(const std::string& name);
    // The singer ends at `row` of the order, the others keeping theirs.
    bool moveSinger(const std::string& name, int row);
    bool setAway(const std::string& name, bool away);
    bool makeNext(const std::string& name);

    // Adds a song at the end of the singer's list (before `row` when 0 <= row < size).
    bool addSong(const std::string& name, RotationSong song, int row = -1);
    bool removeSong(const std::string& name, int row);
    // The host's key (semitones) and tempo (percent) for a queued entry; nullopt
    // leaves it to the key memory.
    bool setSongKey(const std::string& name, int row, std::optional<int> key,
                    std::optional<int> tempo);

    // The coming turn, taken off the singer's list, begins (`startedAt`: seconds
    // since the epoch): the singer has sung this round. The song carries the key and
    // tempo it plays in. None when nobody can sing. A turn still playing counts as
    // sung, unrecorded; one cut short by the program's end is resumed first.
    std::optional<RotationTurn> next(std::int64_t startedAt = 0);
    // The turn begun by next(), until endTurn.
    const std::optional<RotationTurn>& playing() const { return playing_; }
    // The turn playing ends: `record`, when given, goes into the history with its key
    // remembered. A turn sung leaves its song behind; one given back (stopped at
    // once, its file missing) has its song back at the front of the singer's list,
    // the singer's round and the rotation's as before the turn, and the singer made
    // next, so that the same turn comes again. False when there is no turn, or when
    // it is given back and its singer has left.
    bool endTurn(const HistoryEntry* record, bool giveBack);
    // A turn the file holds as playing, left by a program that ended during it
    // (killed, or the power gone), is given back as endTurn would and recorded as
    // "interrupted": the history keeps what the room heard, and the turn comes
    // again first. Only the player calls this, as it starts: lyrvox-cdg reading the
    // file beside a running player must not end its turn. The turn given back, if any.
    std::optional<RotationTurn> resumeInterrupted();
    // The coming `count` turns in rotation order (rounds ahead included), as next()
    // would give them, without changing anything.
    std::vector<RotationTurn> upcoming(int count) const;

    // Records a song as played (history) and remembers its key and tempo for the
    // singer: one transaction.
    bool played(const HistoryEntry& entry);
    std::vector<HistoryEntry> historySince(std::int64_t startedAtOrAfter);
    std::vector<HistoryEntry> historyOf(const std::string& singer);
    // The key and tempo the singer last sang `path` in.
    std::optional<KeyMemory> rememberedKey(const std::string& singer, const std::string& path);

  private:
    struct Pick {
        std::size_t singer;
        std::int64_t round;
    };
    // The singer whose turn is next, given each singer's last round and songs used.
    std::optional<Pick> pick(std::int64_t round, std::int64_t madeNext,
                             const std::vector<std::int64_t>& lastRounds,
                             const std::vector<std::size_t>& used) const;
    RotationSong withKey(const RotationSinger& singer, RotationSong song) const;
    RotationSinger* find(const std::string& name);
    bool fail(const std::string& why);
    bool saved(bool ok);  // error_ from the store when !ok

    bool endTurn(RotationTurn turn, const HistoryEntry* record, bool giveBack);

    RotationStore store_;
    std::vector<RotationSinger> singers_;
    std::int64_t round_ = 0;
    std::int64_t madeNext_ = 0;
    std::optional<RotationTurn> playing_;
    std::optional<RotationTurn> interrupted_;                        // found open in the file
    std::map<std::pair<std::string, std::string>, KeyMemory> keys_;  // (singer, path)
    std::string error_;
    std::int64_t songIdsInMemory_ = 0;  // while the index is closed
};

}  // namespace lyrvox
