#pragma once
// The extraction area of the control window: "..." chooses a disc image, Convert
// runs the Convert command on a thread of its own (and stops it while it runs),
// and the labels show the image and its progress.
#include <QString>
#include <functional>

#include "app/control_layout.h"
#include "app/convert_job.h"
#include "app/dialog_provider.h"

namespace lyrvox {

class ExtractionPanel {
  public:
    // Connects the area's buttons. `startFolder` gives the folder the image dialog
    // starts in; `showMessage` shows a message box (or nothing while the program is
    // ending).
    ExtractionPanel(const ControlLayout& controls, DialogProvider& dialogs,
                    std::function<QString()> startFolder,
                    std::function<void(const QString&)> showMessage);

    void chooseImage();
    // A click on Convert: plans the run from the source box, asks once before
    // replacing existing outputs, then converts on the job's thread, the button
    // reading "Stop". A click while a run is in progress is its Stop; clicks
    // after that, until the run has wound down, and while the question is open,
    // change nothing.
    void convertOrStop();
    // Shut-down: stops a running conversion and waits for its thread, so that
    // the image in progress has left no output and no temporary file. No run
    // starts after this.
    void stopConverting();

  private:
    void finish(const std::string& message);

    const ControlLayout& controls_;
    DialogProvider& dialogs_;
    std::function<QString()> startFolder_;
    std::function<void(const QString&)> showMessage_;
    ConvertJob job_;
    bool asking_ = false;  // the question is open
    bool closed_ = false;  // shut down
};

}  // namespace lyrvox
