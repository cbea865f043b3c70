#pragma once
// The play queue: the songs to sing next, in order. It is the queue's one owner:
// it reads the saved queue from the library index when made, saves it through the
// index after every change, and tells its observers exactly which rows a change
// touches, before and after, so that a view's adapter can pass each change on as
// it happened (a moved row stays the same row for a selection that follows it).
//
// Rows count from 0 at the front (the song that plays next).
//
// The song the queue started and that has not ended yet is "now playing": off the
// rows (they hold the songs to come), and saved at the front of the stored queue,
// so that after a restart it waits first again, as a song not yet sung. Whether a
// song's file is there is asked when it comes up, never stored: a drive may be
// unplugged and plugged in again during a night.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/library_index.h"

namespace lyrvox {

struct QueueChange {
    enum class Kind {
        Insert,     // rows first..last are new
        Remove,     // rows first..last go
        Move,       // row `first` goes to row `to`, counted after the move
        Reset,      // anything else: read the whole queue again
        NowPlaying  // no row changes; only the song now playing
    };
    Kind kind = Kind::Reset;
    int first = 0;
    int last = 0;
    int to = 0;
};

class QueueObserver {
  public:
    virtual ~QueueObserver() = default;
    // Before the entries change: entries() still shows the old queue.
    virtual void queueChanging(const QueueChange& change) = 0;
    // After: entries() shows the new queue. Saving follows, so that a failure is
    // reported only once every observer has caught up.
    virtual void queueChanged(const QueueChange& change) = 0;
};

// Whether the entry's song file is there now (a regular file, through links).
bool songFileThere(const QueueEntry& entry);

class PlayQueue {
  public:
    // Told the index's error text when a change could not be saved; the change
    // itself stands (the queue in memory is the one the user sees).
    using SaveFailed = std::function<void(const std::string& error)>;

    // Reads the queue saved in `index`, which must outlive this object. While the
    // index is closed the queue lives in memory only.
    explicit PlayQueue(LibraryIndex& index, SaveFailed saveFailed = {});
    PlayQueue(const PlayQueue&) = delete;
    PlayQueue& operator=(const PlayQueue&) = delete;

    const std::vector<QueueEntry>& entries() const { return entries_; }
    int size() const { return static_cast<int>(entries_.size()); }
    bool empty() const { return entries_.empty(); }
    const QueueEntry& at(int row) const { return entries_.at(static_cast<std::size_t>(row)); }

    // Inserts before `row`; a row below 0 or past the end adds at the end.
    void add(QueueEntry entry, int row = -1);
    // False when there is no such row.
    bool remove(int row);
    // The entry at `from` ends at row `to`, the others keeping their order. False
    // when either row is out of range or they are the same (nothing changes).
    bool move(int from, int to);
    // The front entry, taken off the queue; none when the queue is empty.
    std::optional<QueueEntry> takeFront();
    // The rows only; the song now playing stays.
    void clear();

    const std::optional<QueueEntry>& nowPlaying() const { return nowPlaying_; }
    // The entry at `row` leaves the rows as the song now playing (told as its row's
    // Remove); a song playing before is done. None when there is no such row.
    std::optional<QueueEntry> start(int row);
    // The song now playing is done (sung, or skipped by the host): it leaves the queue.
    void finish();
    // The song now playing did not end (stopped, its file gone): back at the front.
    void putBack();

    // The first row whose song file is there now, -1 when none is; the rows before
    // it (missing) go to `skipped` when given.
    int firstAvailable(std::vector<QueueEntry>* skipped = nullptr) const;

    // Observers are not owned; one must be removed before it goes.
    void addObserver(QueueObserver* observer);
    void removeObserver(QueueObserver* observer);

  private:
    // Tells the observers, applies `apply`, tells them again, and saves.
    void change(const QueueChange& what, const std::function<void()>& apply);

    LibraryIndex& index_;
    SaveFailed saveFailed_;
    std::vector<QueueEntry> entries_;
    std::optional<QueueEntry> nowPlaying_;
    std::vector<QueueObserver*> observers_;
};

}  // namespace lyrvox
