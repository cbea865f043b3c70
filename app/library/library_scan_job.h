#pragma once
// A library scan on a thread of its own, with its own connection to the index:
// the event loop, and with it playback, never waits for the disk. Progress and the
// end arrive as signals on the thread that started the job. A scan of the same
// library elsewhere (another window, lyrvox-cdg) is waited for, shown as a
// progress that names no folder.
#include <QObject>
#include <QString>
#include <atomic>
#include <string>
#include <thread>

#include "library/library_scanner.h"

namespace lyrvox {

class LibraryScanJob : public QObject {
    Q_OBJECT
  public:
    explicit LibraryScanJob(std::string databasePath, QObject* parent = nullptr)
        : QObject(parent), databasePath_(std::move(databasePath)) {}
    ~LibraryScanJob() override;  // cancels a running scan and waits for its thread

    // Scans `folders` (every folder when empty); false while a scan still runs.
    bool start(std::vector<LibraryFolder> folders = {});
    void cancel() { cancel_ = true; }
    bool isRunning() const { return running_; }

  signals:
    void progressed(qint64 done, qint64 total, const QString& folder);
    // The end of a scan. A scan that found the index damaged ends without an error
    // of its own and then tells damaged(): the library's owner rebuilds it.
    void finished(const lyrvox::ScanCounts& counts);
    void damaged();

  private:
    std::string databasePath_;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
    std::thread thread_;
};

}  // namespace lyrvox
