#pragma once
// The extraction area of the control window: "..." chooses a disc image, Convert
// runs the Convert command (and stops it while it runs), and the labels show the
// image and its progress.
#include <QString>
#include <functional>

#include "app/control_layout.h"
#include "app/dialog_provider.h"
#include "extract/converter.h"

namespace lyrvox {

class ExtractionPanel : private ConvertHost {
  public:
    // `startFolder` gives the folder the image dialog starts in; `showMessage`
    // shows a message box (or nothing while the program is ending).
    ExtractionPanel(const ControlLayout& controls, DialogProvider& dialogs,
                    std::function<QString()> startFolder,
                    std::function<void(const QString&)> showMessage);

    void chooseImage();
    void convertOrStop();
    // Asks a running conversion to stop at its next sector (shut-down).
    void stopConverting();

  private:
    void showMessage(const std::string& text) override;
    void setConverting(bool converting) override;
    void showImageName(const std::string& name) override;
    void showProgress(const std::string& text) override;
    void serveEvents() override;
    bool askReplace(const std::string& question) override;

    const ControlLayout& controls_;
    DialogProvider& dialogs_;
    std::function<QString()> startFolder_;
    std::function<void(const QString&)> showMessage_;
    Converter converter_;
};

}  // namespace lyrvox
