#include "app/convert_job.h"

#include <utility>

namespace lyrvox {
namespace {

// The run's reports, posted to the job on its own thread: queued to the job, they
// are dropped unseen if it is destroyed first. Progress that did not change the
// text is not posted: a large image reports the same percentage many times over.
class PostingHost : public ConvertHost {
  public:
    PostingHost(ConvertJob& job, const std::atomic<bool>& stop) : job_(job), stop_(stop) {}

    void showImageName(const std::string& name) override {
        lastProgress_.clear();
        post([job = &job_, name] { emit job->imageStarted(name); });
    }
    void showProgress(const std::string& text) override {
        if (text == lastProgress_) return;
        lastProgress_ = text;
        post([job = &job_, text] { emit job->progressed(text); });
    }
    void showMessage(const std::string& text) override { message = text; }
    bool stopRequested() override { return stop_; }

    template <typename Call>
    void post(Call call) {
        QMetaObject::invokeMethod(&job_, std::move(call), Qt::QueuedConnection);
    }

    std::string message;  // the run's last word, posted with its summary

  private:
    ConvertJob& job_;
    const std::atomic<bool>& stop_;
    std::string lastProgress_;
};

}  // namespace

ConvertJob::~ConvertJob() {
    stopAndWait();
}

void ConvertJob::stopAndWait() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

bool ConvertJob::start(ConvertPlan plan) {
    if (running_) return false;
    if (thread_.joinable()) thread_.join();  // the last run's thread has ended by now
    stop_ = false;
    running_ = true;
    thread_ = std::thread([this, plan = std::move(plan)] {
        PostingHost host(*this, stop_);
        Converter converter(host, options_);
        const ConvertSummary summary = converter.run(plan);
        host.post([this, message = host.message, summary] {
            running_ = false;
            emit finished(message, summary);
        });
    });
    return true;
}

}  // namespace lyrvox
