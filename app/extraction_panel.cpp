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
      showMessage_(std::move(showMessage)),
      converter_(*this) {}

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
    converter_.convertOrStop(toFsPath(controls_.source->text()));
}

void ExtractionPanel::stopConverting() {
    if (converter_.converting()) converter_.convertOrStop(std::string());
}

void ExtractionPanel::showMessage(const std::string& text) {
    showMessage_(fromFsPath(text));
}

void ExtractionPanel::setConverting(bool converting) {
    controls_.convert->setText(converting ? QStringLiteral("Stop") : QStringLiteral("Convert"));
}

void ExtractionPanel::showImageName(const std::string& name) {
    setLabelText(controls_.imageName, fromFsPath(name));
}

void ExtractionPanel::showProgress(const std::string& text) {
    setLabelText(controls_.progress, fromFsPath(text));
}

void ExtractionPanel::serveEvents() {}

bool ExtractionPanel::askReplace(const std::string& question) {
    return dialogs_.askYesNo(fromFsPath(question));
}

}  // namespace lyrvox
