#include "app/library/library_scan_job.h"

#include <utility>

namespace lyrvox {

LibraryScanJob::~LibraryScanJob() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
}

bool LibraryScanJob::start(std::vector<LibraryFolder> folders) {
    if (running_) return false;
    if (thread_.joinable()) thread_.join();  // the last scan's thread has ended by now
    cancel_ = false;
    running_ = true;
    thread_ = std::thread([this, folders = std::move(folders)] {
        // Queued to this object: dropped unseen if it is destroyed first.
        const auto post = [this](auto call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        };
        LibraryIndex index(databasePath_, LibraryIndex::Recovery::None);
        ScanCounts counts;
        if (!index.isOpen()) {
            counts.error = "Cannot open the song library: " + index.error();
            counts.damaged = index.state() == LibraryIndex::State::Damaged;
        } else {
            counts = LibraryScanner(index).scan(folders, cancel_, [&](const ScanProgress& p) {
                post([this, p] {
                    emit progressed(p.done, p.total,
                                    p.waiting ? QStringLiteral("- waiting for another scan of "
                                                               "this library to finish")
                                              : QString::fromStdString(p.folder));
                });
            });
        }
        post([this, counts]() mutable {
            running_ = false;
            const bool damaged = std::exchange(counts.damaged, false);
            if (damaged) counts.error.clear();
            emit finished(counts);
            if (damaged) emit this->damaged();
        });
    });
    return true;
}

}  // namespace lyrvox
