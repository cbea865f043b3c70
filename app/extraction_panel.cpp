#include "app/extraction_panel.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/window_text.h"

namespace lyrvox {

ExtractionPanel::ExtractionPanel(const ControlLayout& controls, DialogProvider& dialogs,
                                 std::function<QString()> startFolder,
                                 std::function<void(const QString&)> showMessage)
    : controls_(controls),
      dialogs_(dialogs),
      startFolder_(std::move(startFolder)),
      showMessage_(std::move(showMessage)) {
    QObject::connect(controls_.chooseImage, &QPushButton::clicked, &job_,
                     [this] { chooseImage(); });
    QObject::connect(controls_.convert, &QPushButton::clicked, &job_, [this] { convertOrStop(); });
    QObject::connect(&job_, &ConvertJob::imageStarted, &job_, [this](const std::string& name) {
        setLabelText(controls_.imageName, fromFsPath(name));
    });
    QObject::connect(&job_, &ConvertJob::progressed, &job_, [this](const std::string& text) {
        setLabelText(controls_.progress, fromFsPath(text));
    });
    QObject::connect(&job_, &ConvertJob::finished, &job_,
                     [this](const std::string& message) { finish(message); });
}

void ExtractionPanel::chooseImage() {
    OpenFileRequest request;
    request.folder = startFolder_();
    request.filters = {{QStringLiteral("CDRWin binary Files"), {"*.BIN", "*.RAW"}}};
    request.filterIndex = 1;
    const std::optional<OpenFileChoice> choice = dialogs_.chooseOpenFile(request);
    if (!choice) return;
    controls_.source->setText(choice->path);
}

void ExtractionPanel::convertOrStop() {
    if (job_.isRunning()) {
        job_.stop();  // again and again while it winds down: the same request
        return;
    }
    // The question's own event loop serves clicks too: a second run planned
    // there would convert the same files as this one.
    if (asking_ || closed_) return;

    // Planning only looks at the disk: a folder and a few names.
    ConvertPlan plan = Converter::plan(toFsPath(controls_.source->text()));
    if (!plan.question.empty()) {
        asking_ = true;
        const bool replace = dialogs_.askYesNo(fromFsPath(plan.question));
        asking_ = false;
        if (closed_) return;  // the window closed while the question was open
        plan.answer(replace);
    }
    if (plan.refused()) {
        showMessage_(fromFsPath(plan.refusal));
        return;
    }
    controls_.convert->setText(QStringLiteral("Stop"));
    job_.start(std::move(plan));
}

void ExtractionPanel::stopConverting() {
    closed_ = true;
    job_.stopAndWait();
}

void ExtractionPanel::finish(const std::string& message) {
    showMessage_(fromFsPath(message));
    setLabelText(controls_.progress, QString());
    setLabelText(controls_.imageName, QString());
    controls_.convert->setText(QStringLiteral("Convert"));
}

}  // namespace lyrvox
