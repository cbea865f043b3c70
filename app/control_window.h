#pragma once
// The control window: owns the program's state and its controls, runs the
// transport (Open, Play/Pause/Cont, Stop), the display timer and frame rate,
// start-up and shut-down, snapshots, the options toggle, Info and About. It is
// the playback session's host; the extraction area is a panel of its own.
//
// The picture and its scroll work copy live in the player state's machine; the
// media control and the dialogs come in through ControlWindowDeps.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/control_layout.h"
#include "app/dialog_provider.h"
#include "app/extraction_panel.h"
#include "app/keyboard_control.h"
#include "app/session_runner.h"
#include "app/settings_store.h"
#include "display/display_controller.h"
#include "display/snapshot.h"
#include "playback/media/media_control.h"
#include "playback/player_state.h"
#include "playback/session_host.h"

class QMenu;
class QAction;
class QTimer;

namespace lyrvox {

struct ControlWindowDeps {
    MediaControl& media;
    DialogProvider& dialogs;  // file dialogs, message boxes, the document viewer
    SettingsStore& settings;
    SessionFactory sessions;  // makes the session runner on the first Play
    QString programFolder;    // the executable's folder: default start folder, lyrvox.txt
    // The last step of shut-down: ends the program (the event loop, and with it
    // every loop nested in it, returns at once).
    std::function<void()> endProgram;
};

class ControlWindow : public QWidget, public SessionHost {
    Q_OBJECT
  public:
    explicit ControlWindow(ControlWindowDeps deps, QWidget* parent = nullptr);
    ~ControlWindow() override;

    // Start-up; `args` are the program's arguments without Qt's own options.
    // With a command line it returns only after that file's playback has ended.
    void startUp(const std::vector<std::string>& args);

    // The commands of the controls.
    void openSong();
    // A file dropped on a window: played as if opened (a running song is stopped
    // first); a folder or a file of another kind gets a message.
    void playDropped(const QString& path);
    // Moves the graphics against the audio by deltaMs (kept within +-kMaxOffsetMs),
    // at once, remembers it and shows it over the picture.
    void shiftOffset(int deltaMs);
    static constexpr int kOffsetStepMs = 10;
    static constexpr int kMaxOffsetMs = 1000;
    // Key in semitones and tempo in percent of the song's own, changed at once also
    // while playing; each new song starts at the original unless the user keeps them.
    void changeKey(int delta);
    void changeTempo(int delta);
    void resetKeyAndTempo();
    void setKeepKeyAndTempo(bool keep);
    static constexpr int kMaxKeyShift = 6;  // semitones either way
    static constexpr int kMinTempo = 50;
    static constexpr int kMaxTempo = 150;
    static constexpr int kTempoStep = 5;
    // Loudness 0..100%, remembered.
    void changeVolume(int delta);
    static constexpr int kVolumeStep = 5;
    void playPauseOrContinue();
    void stopPlayback();
    void frameRateChosen();
    void onDisplayTick();
    void stepZoom();
    void takeSnapshot();
    void toggleOptions();
    void showDocumentation();
    void showAbout();

    // SessionHost.
    void showStatus(const std::string& text) override;
    void setOpenEnabled(bool enabled) override;
    void enableStopNow() override;
    void showDisplay(bool visible) override;
    void serveEvents(double maxWaitMs) override;
    void sessionEnded() override;
    void showMessage(const std::string& text) override;

    const ControlLayout& controls() const { return controls_; }
    PlayerState& state() { return state_; }
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

  signals:
    // A session this window started has ended by itself: played to its end, or
    // could not play. Not after a Stop, a dropped song or the window closing.
    void songEndedByItself();
    // Stop was clicked (or S pressed), whether or not a song was playing.
    void stopClicked();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void shutDown();
    void setClientHeightTwips(int twips);
    void setExpanded(bool expanded);  // the extraction area shown or not
    // The file the next Play plays, as Open and a drop take it: its folder
    // remembered, Play enabled, the snapshot numbers restarted.
    void chooseFile(const QString& path);
    std::vector<KeyCommand> keyCommands();
    void setOffset(int offsetMs);
    // The status line: `text`, followed by the key and tempo while they are not the
    // song's own.
    void setStatusText(const QString& text);
    void applyKeyAndTempo(bool announce);
    void addKeyAndTempoEntries(QMenu& menu);
    QString startFolder();
    void message(const QString& text);

    ControlWindowDeps deps_;
    ControlLayout controls_;
    PlayerState state_;
    Snapshots snapshots_;
    QTimer* displayTimer_ = nullptr;
    std::unique_ptr<ExtractionPanel> extraction_;
    std::unique_ptr<DisplayController> display_;
    std::unique_ptr<SessionRunner> session_;  // made on the first Play
    int lastFilterIndex_ = 0;                 // 0: no Open yet in this run
    int keyShift_ = 0;                        // semitones; the tempo is in state_
    bool keepKeyAndTempo_ = false;
    int volume_ = 100;
    QString statusText_;  // the status line without the key and tempo
    bool unloading_ = false;
    std::function<void()> openLibrary_;
    QAction* libraryAction_ = nullptr;
    // Sessions are numbered as they start; a stopped one's number is kept, so that
    // only the latest session, unstopped, counts as ending by itself.
    std::uint64_t sessionSerial_ = 0;
    std::uint64_t stoppedSerial_ = 0;
};

}  // namespace lyrvox
