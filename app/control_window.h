#pragma once
// The control window: its controls, the transport commands (Open, Play/Pause/Cont,
// Stop) sent to the playback session and the session's news shown in the
// controls, the display timer and frame rate, start-up and shut-down, snapshots,
// the options toggle, Info and About. The extraction area is a panel of its own;
// key, tempo, volume and offset are PlaybackTuning's.
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/control_layout.h"
#include "app/dialog_provider.h"
#include "app/extraction_panel.h"
#include "app/keyboard_control.h"
#include "app/playback_tuning.h"
#include "app/session_driver.h"
#include "app/settings_store.h"
#include "display/display_controller.h"
#include "display/snapshot.h"
#include "playback/media/media_control.h"

class QAction;
class QTimer;

namespace lyrvox {

struct ControlWindowDeps {
    MediaControl& media;
    DialogProvider& dialogs;  // file dialogs, message boxes, the document viewer
    SettingsStore& settings;
    std::string traceFile;  // LYRVOX_TRACE: a line per pass of the song; empty: none
    QString programFolder;  // the executable's folder: default start folder, lyrvox.txt
    // The last step of shut-down: ends the program.
    std::function<void()> endProgram;
};

class ControlWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ControlWindow(ControlWindowDeps deps, QWidget* parent = nullptr);
    ~ControlWindow() override;

    // Start-up; `args` are the program's arguments without Qt's own options. A
    // song named there starts playing; the call returns at once.
    void startUp(const std::vector<std::string>& args);

    // The commands of the controls.
    void openSong();
    // A song to play now, as if opened and played (a dropped file, a song chosen
    // in the library); a running song is stopped first. A folder or a file of
    // another kind gets a message.
    void playFile(const QString& path);
    void playFile(const std::string& path);  // the name's bytes, as the system has them
    // Brings the control window to the front (a second start of the program).
    void bringToFront();
    void playPauseOrContinue();
    void stopPlayback();
    void frameRateChosen();
    void onDisplayTick();
    void stepZoom() { display_->stepZoom(); }
    void takeSnapshot();
    void toggleOptions();
    void showDocumentation();
    void showAbout();
    // The status line: `text`, followed by the key and tempo while they are not the
    // song's own. Names in it are plain text.
    void showStatus(const QString& text);

    const ControlLayout& controls() const { return controls_; }
    PlaybackSession& session() { return driver_->session(); }
    SessionDriver& driver() { return *driver_; }
    PlaybackTuning& tuning() { return *tuning_; }
    const std::string& chosenFile() const { return chosenFile_; }
    Snapshots& snapshots() { return snapshots_; }
    DisplayController& display() { return *display_; }
    ExtractionPanel& extraction() { return *extraction_; }
    QTimer& displayTimer() { return *displayTimer_; }
    int lastFilterIndex() const { return lastFilterIndex_; }

    // The outer height in twips a framed window of this client height would have.
    int outerHeightTwips() const;

    // What L and the Library entries of this window's and the display's right-click
    // menus open: the song library, which its owner sets once.
    void setLibraryOpener(std::function<void()> open) { openLibrary_ = std::move(open); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void connectControls();
    void shutDown();
    void showTransport(Transport transport);
    void songOver();
    void setExpanded(bool expanded);  // the extraction area shown or not
    // The file the next Play plays, as Open and a drop take it: its folder
    // remembered, Play enabled, the snapshot numbers restarted.
    void chooseFile(const std::string& path);
    std::vector<KeyCommand> keyCommands();
    QString startFolder();
    void message(const QString& text);

    ControlWindowDeps deps_;
    ControlLayout controls_;
    SessionDriver* driver_ = nullptr;
    PlaybackTuning* tuning_ = nullptr;
    Snapshots snapshots_;
    QTimer* displayTimer_ = nullptr;
    std::unique_ptr<ExtractionPanel> extraction_;
    std::unique_ptr<DisplayController> display_;
    std::string chosenFile_;
    int32_t targetAtTimeShown_ = 0;  // the target packet when the time was last shown
    int lastFilterIndex_ = 0;        // 0: no Open yet in this run
    QString statusText_;             // the status line without the key and tempo
    QString statusTip_;              // the status line's own tip (its keys)
    bool closing_ = false;
    // Start-up's song plays before snapshots get their "nofile" stem.
    bool stemAfterSong_ = false;
    std::function<void()> openLibrary_;
    QAction* libraryAction_ = nullptr;
};

}  // namespace lyrvox
