#include "library/play_queue.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace lyrvox {

bool songFileThere(const QueueEntry& entry) {
    std::error_code error;  // an unreadable or vanished path is simply not there
    return !entry.path.empty() && std::filesystem::is_regular_file(entry.path, error);
}

PlayQueue::PlayQueue(LibraryIndex& index, SaveFailed saveFailed)
    : index_(index), saveFailed_(std::move(saveFailed)), entries_(index.loadQueue()) {}

void PlayQueue::add(QueueEntry entry, int row) {
    if (row < 0 || row > size()) row = size();
    change({QueueChange::Kind::Insert, row, row, 0},
           [&] { entries_.insert(entries_.begin() + row, std::move(entry)); });
}

bool PlayQueue::remove(int row) {
    if (row < 0 || row >= size()) return false;
    change({QueueChange::Kind::Remove, row, row, 0},
           [&] { entries_.erase(entries_.begin() + row); });
    return true;
}

bool PlayQueue::move(int from, int to) {
    if (from < 0 || from >= size() || to < 0 || to >= size() || from == to) return false;
    change({QueueChange::Kind::Move, from, from, to}, [&] {
        // The entries between the two rows shift by one towards `from`.
        const auto a = entries_.begin() + from;
        const auto b = entries_.begin() + to;
        if (from < to)
            std::rotate(a, a + 1, b + 1);
        else
            std::rotate(b, a, a + 1);
    });
    return true;
}

std::optional<QueueEntry> PlayQueue::takeFront() {
    if (entries_.empty()) return std::nullopt;
    QueueEntry front = entries_.front();
    remove(0);
    return front;
}

void PlayQueue::clear() {
    if (entries_.empty()) return;
    change({QueueChange::Kind::Reset, 0, 0, 0}, [&] { entries_.clear(); });
}

std::optional<QueueEntry> PlayQueue::start(int row) {
    if (row < 0 || row >= size()) return std::nullopt;
    change({QueueChange::Kind::Remove, row, row, 0}, [&] {
        nowPlaying_ = std::move(entries_[static_cast<std::size_t>(row)]);
        entries_.erase(entries_.begin() + row);
    });
    return nowPlaying_;
}

void PlayQueue::finish() {
    if (!nowPlaying_) return;
    change({QueueChange::Kind::NowPlaying, 0, 0, 0}, [&] { nowPlaying_.reset(); });
}

void PlayQueue::putBack() {
    if (!nowPlaying_) return;
    change({QueueChange::Kind::Insert, 0, 0, 0}, [&] {
        entries_.insert(entries_.begin(), std::move(*nowPlaying_));
        nowPlaying_.reset();
    });
}

int PlayQueue::firstAvailable(std::vector<QueueEntry>* skipped) const {
    for (int row = 0; row < size(); ++row) {
        if (songFileThere(at(row))) return row;
        if (skipped) skipped->push_back(at(row));
    }
    return -1;
}

void PlayQueue::addObserver(QueueObserver* observer) {
    observers_.push_back(observer);
}

void PlayQueue::removeObserver(QueueObserver* observer) {
    std::erase(observers_, observer);
}

void PlayQueue::change(const QueueChange& what, const std::function<void()>& apply) {
    for (QueueObserver* o : observers_) o->queueChanging(what);
    apply();
    for (QueueObserver* o : observers_) o->queueChanged(what);
    if (!index_.isOpen()) return;
    // Stored: the song now playing first, then the rows.
    std::vector<QueueEntry> stored;
    stored.reserve(entries_.size() + 1);
    if (nowPlaying_) stored.push_back(*nowPlaying_);
    stored.insert(stored.end(), entries_.begin(), entries_.end());
    if (!index_.saveQueue(stored) && saveFailed_) saveFailed_(index_.error());
}

}  // namespace lyrvox
