#include "library/singer_rotation.h"

#include <algorithm>

#include "library/library_index.h"

namespace lyrvox {

SingerRotation::SingerRotation(LibraryIndex& index) : store_(index) {
    if (!store_.load(singers_, round_, madeNext_, keys_, interrupted_)) error_ = store_.error();
}

bool SingerRotation::fail(const std::string& why) {
    error_ = why;
    return false;
}

bool SingerRotation::saved(bool ok) {
    // The change stands in memory either way: the host sees the rotation as it is.
    if (ok) {
        error_.clear();
        return true;
    }
    error_ = store_.error();
    return false;
}

RotationSinger* SingerRotation::find(const std::string& name) {
    const auto at = std::find_if(singers_.begin(), singers_.end(),
                                 [&](const RotationSinger& s) { return s.name == name; });
    return at == singers_.end() ? nullptr : &*at;
}

bool SingerRotation::addSinger(const std::string& name, Join join) {
    if (name.empty()) return fail("a singer needs a name");
    if (find(name)) return fail("there is already a singer named " + name);
    RotationSinger singer;
    singer.name = name;
    singer.joinedRound = join == Join::ThisRound ? round_ : round_ + 1;
    if (store_.isOpen()) {
        singer.id = store_.addSinger(singer, static_cast<int>(singers_.size()));
        if (singer.id == 0) return saved(false);
    } else {
        std::int64_t most = 0;
        for (const RotationSinger& s : singers_) most = std::max(most, s.id);
        singer.id = most + 1;
    }
    singers_.push_back(std::move(singer));
    return saved(true);
}

bool SingerRotation::renameSinger(const std::string& name, const std::string& newName) {
    RotationSinger* singer = find(name);
    if (!singer) return fail("no singer named " + name);
    if (newName.empty()) return fail("a singer needs a name");
    if (newName == name) return saved(true);
    if (find(newName)) return fail("there is already a singer named " + newName);
    if (!store_.renameSinger(singer->id, name, newName)) return saved(false);
    singer->name = newName;
    for (std::optional<RotationTurn>* turn : {&playing_, &interrupted_})
        if (*turn && (*turn)->singerId == singer->id) (*turn)->singer = newName;
    // The remembered keys follow the singer.
    std::map<std::pair<std::string, std::string>, KeyMemory> keys;
    for (auto& [who, memory] : keys_) {
        if (who.first == name)
            keys[{newName, who.second}] = memory;
        else
            keys.try_emplace(who, memory);
    }
    keys_ = std::move(keys);
    return saved(true);
}

bool SingerRotation::removeSinger(const std::string& name) {
    RotationSinger* singer = find(name);
    if (!singer) return fail("no singer named " + name);
    const std::int64_t id = singer->id;
    if (!store_.removeSinger(id)) return saved(false);
    std::erase_if(singers_, [&](const RotationSinger& s) { return s.id == id; });
    if (madeNext_ == id) madeNext_ = 0;
    return saved(true);
}

bool SingerRotation::moveSinger(const std::string& name, int row) {
    RotationSinger* singer = find(name);
    if (!singer) return fail("no singer named " + name);
    if (row < 0 || row >= static_cast<int>(singers_.size())) return fail("no such place");
    const auto from = singers_.begin() + (singer - singers_.data());
    const auto to = singers_.begin() + row;
    if (from < to)
        std::rotate(from, from + 1, to + 1);
    else if (to < from)
        std::rotate(to, from, from + 1);
    return saved(store_.saveOrder(singers_));
}

bool SingerRotation::setAway(const std::string& name, bool away) {
    RotationSinger* singer = find(name);
    if (!singer) return fail("no singer named " + name);
    if (!store_.setAway(singer->id, away)) return saved(false);
    singer->away = away;
    return saved(true);
}

bool SingerRotation::makeNext(const std::string& name) {
    RotationSinger* singer = find(name);
    if (!singer) return fail("no singer named " + name);
    if (!store_.setMadeNext(singer->id)) return saved(false);
    madeNext_ = singer->id;
    return saved(true);
}

bool SingerRotation::addSong(const std::string& name, RotationSong song, int row) {
    RotationSinger* singer = find(name);
    if (!singer) return fail("no singer named " + name);
    const int size = static_cast<int>(singer->songs.size());
    if (row < 0 || row > size) row = size;
    song.id = 0;
    std::vector<RotationSong> songs = singer->songs;
    songs.insert(songs.begin() + row, song);
    if (store_.isOpen()) {
        song.id = store_.addSong(singer->id, song, songs);
        if (song.id == 0) return saved(false);
    } else {
        song.id = ++songIdsInMemory_;
    }
    songs[static_cast<std::size_t>(row)].id = song.id;
    singer->songs = std::move(songs);
    return saved(true);
}

bool SingerRotation::removeSong(const std::string& name, int row) {
    RotationSinger* singer = find(name);
    if (!singer) return fail("no singer named " + name);
    if (row < 0 || row >= static_cast<int>(singer->songs.size())) return fail("no such song");
    const auto at = singer->songs.begin() + row;
    if (!store_.removeSong(at->id)) return saved(false);
    singer->songs.erase(at);
    return saved(true);
}

bool SingerRotation::setSongKey(const std::string& name, int row, std::optional<int> key,
                                std::optional<int> tempo) {
    RotationSinger* singer = find(name);
    if (!singer) return fail("no singer named " + name);
    if (row < 0 || row >= static_cast<int>(singer->songs.size())) return fail("no such song");
    RotationSong& song = singer->songs[static_cast<std::size_t>(row)];
    if (!store_.setSongKey(song.id, key, tempo)) return saved(false);
    song.key = key;
    song.tempo = tempo;
    return saved(true);
}

std::optional<SingerRotation::Pick> SingerRotation::pick(
    std::int64_t round, std::int64_t madeNext, const std::vector<std::int64_t>& lastRounds,
    const std::vector<std::size_t>& used) const {
    const auto canSing = [&](std::size_t i) {
        return !singers_[i].away && used[i] < singers_[i].songs.size();
    };
    // The host's choice goes first, whatever the round says.
    for (std::size_t i = 0; madeNext != 0 && i < singers_.size(); ++i)
        if (singers_[i].id == madeNext && canSing(i)) return Pick{i, round};
    for (const std::int64_t r : {round, round + 1}) {
        for (std::size_t i = 0; i < singers_.size(); ++i)
            if (canSing(i) && singers_[i].joinedRound <= r && lastRounds[i] < r) return Pick{i, r};
    }
    return std::nullopt;
}

RotationSong SingerRotation::withKey(const RotationSinger& singer, RotationSong song) const {
    const auto memory = keys_.find({singer.name, song.path});
    if (!song.key) song.key = memory != keys_.end() ? memory->second.key : 0;
    if (!song.tempo) song.tempo = memory != keys_.end() ? memory->second.tempo : 100;
    return song;
}

std::optional<RotationTurn> SingerRotation::next(std::int64_t startedAt) {
    if (interrupted_) resumeInterrupted();
    std::vector<std::int64_t> lastRounds;
    for (const RotationSinger& s : singers_) lastRounds.push_back(s.lastRound);
    const std::optional<Pick> p =
        pick(round_, madeNext_, lastRounds, std::vector<std::size_t>(singers_.size(), 0));
    if (!p) return std::nullopt;
    RotationSinger& singer = singers_[p->singer];
    const RotationSong queued = singer.songs.front();
    RotationTurn turn{singer.name, withKey(singer, queued), p->round, singer.id,
                      queued,      singer.lastRound,        startedAt};
    const bool ok = store_.startTurn(turn, playing_ ? playing_->queued.id : 0);
    singer.songs.erase(singer.songs.begin());
    singer.lastRound = std::max(singer.lastRound, p->round);
    round_ = p->round;
    madeNext_ = 0;
    playing_ = turn;
    saved(ok);
    return turn;
}

bool SingerRotation::endTurn(const HistoryEntry* record, bool giveBack) {
    if (!playing_) return fail("no turn is playing");
    return endTurn(*std::exchange(playing_, std::nullopt), record, giveBack);
}

bool SingerRotation::endTurn(RotationTurn turn, const HistoryEntry* record, bool giveBack) {
    const auto at = std::find_if(singers_.begin(), singers_.end(),
                                 [&](const RotationSinger& s) { return s.id == turn.singerId; });
    const bool back = giveBack && at != singers_.end();
    std::vector<RotationSong> songs;
    if (back) {
        songs = at->songs;
        songs.insert(songs.begin(), turn.queued);
    }
    if (!store_.endTurn(turn, record, back ? &songs : nullptr)) return saved(false);
    if (record && !record->singer.empty())
        keys_[{record->singer, record->path}] = {record->key, record->tempo};
    if (giveBack && !back) return fail("the singer has left the rotation");
    if (back) {
        at->songs = std::move(songs);
        at->lastRound = turn.lastRoundBefore;
        round_ = turn.round;  // the turn, made next again, counts in its own round
        madeNext_ = at->id;
    }
    return saved(true);
}

std::optional<RotationTurn> SingerRotation::resumeInterrupted() {
    if (!interrupted_) return std::nullopt;
    RotationTurn turn = *std::exchange(interrupted_, std::nullopt);
    const auto at = std::find_if(singers_.begin(), singers_.end(),
                                 [&](const RotationSinger& s) { return s.id == turn.singerId; });
    if (at != singers_.end()) turn.song = withKey(*at, turn.queued);
    const HistoryEntry record{turn.singer,
                              turn.song.path,
                              turn.song.artist,
                              turn.song.title,
                              turn.startedAt,
                              turn.song.key.value_or(0),
                              turn.song.tempo.value_or(100),
                              "interrupted"};
    endTurn(turn, &record, true);
    return turn;
}

std::vector<RotationTurn> SingerRotation::upcoming(int count) const {
    std::vector<RotationTurn> turns;
    std::vector<std::int64_t> lastRounds;
    for (const RotationSinger& s : singers_) lastRounds.push_back(s.lastRound);
    std::vector<std::size_t> used(singers_.size(), 0);
    std::int64_t round = round_, madeNext = madeNext_;
    while (static_cast<int>(turns.size()) < count) {
        const std::optional<Pick> p = pick(round, madeNext, lastRounds, used);
        if (!p) break;
        const RotationSinger& singer = singers_[p->singer];
        const RotationSong& queued = singer.songs[used[p->singer]];
        turns.push_back({singer.name, withKey(singer, queued), p->round, singer.id, queued,
                         lastRounds[p->singer], 0});
        ++used[p->singer];
        lastRounds[p->singer] = std::max(lastRounds[p->singer], p->round);
        round = p->round;
        madeNext = 0;
    }
    return turns;
}

bool SingerRotation::played(const HistoryEntry& entry) {
    if (!store_.played(entry)) return saved(false);
    if (!entry.singer.empty()) keys_[{entry.singer, entry.path}] = {entry.key, entry.tempo};
    return saved(true);
}

std::vector<HistoryEntry> SingerRotation::historySince(std::int64_t startedAtOrAfter) {
    return store_.historySince(startedAtOrAfter);
}

std::vector<HistoryEntry> SingerRotation::historyOf(const std::string& singer) {
    return store_.historyOf(singer);
}

std::optional<KeyMemory> SingerRotation::rememberedKey(const std::string& singer,
                                                       const std::string& path) {
    const auto memory = keys_.find({singer, path});
    if (memory == keys_.end()) return std::nullopt;
    return memory->second;
}

}  // namespace lyrvox
