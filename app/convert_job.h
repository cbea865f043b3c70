#pragma once
// A conversion on a thread of its own: the event loop, and with it playback, never
// waits for the disk. The image name, progress and the end arrive as signals on
// the thread that started the job; a Stop is taken at the run's next sector.
#include <QObject>
#include <atomic>
#include <string>
#include <thread>

#include "extract/converter.h"

namespace lyrvox {

class ConvertJob : public QObject {
    Q_OBJECT
  public:
    explicit ConvertJob(ExtractOptions options = {}, QObject* parent = nullptr)
        : QObject(parent), options_(options) {}
    ~ConvertJob() override;  // stops a running conversion and waits for its thread

    // Converts `plan` (already answered); false while a run is still going on.
    bool start(ConvertPlan plan);
    // Asks the run to stop; finished() follows.
    void stop() { stop_ = true; }
    // Stops the run and waits for its thread: on return the image in progress has
    // left no output and no temporary file. finished() still comes through the
    // event queue, if the loop runs on.
    void stopAndWait();
    // From start() until finished() has been delivered.
    bool isRunning() const { return running_; }

  signals:
    // Names and texts as bytes of the file system, as the run gives them.
    void imageStarted(const std::string& name);
    void progressed(const std::string& text);
    void finished(const std::string& message, const lyrvox::ConvertSummary& summary);

  private:
    ExtractOptions options_;
    std::atomic<bool> stop_{false};
    bool running_ = false;
    std::thread thread_;
};

}  // namespace lyrvox
