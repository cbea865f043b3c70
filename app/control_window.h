#pragma once
// The control window `Lyrvox`: owns all program state and every control, runs
// the transport, the display timer, start-up and shut-down, snapshots, the
// options toggle, Info and About. It is the playback session's and the Convert
// command's host.
//
// The hidden pictures `CDG` and `CDG2` have no widgets: the picture and its
// scroll work copy live in PlayerState::machine. The media control `MMControl1`
// and the file dialog `CommonDialog1` come in through ControlWindowDeps.
#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/dialog_provider.h"
#include "app/session_runner.h"
#include "app/settings_store.h"
#include "display/display_controller.h"
#include "display/snapshot.h"
#include "extract/converter.h"
#include "playback/media_control.h"
#include "playback/player_state.h"
#include "playback/session_host.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace lyrvox {

struct ControlWindowDeps {
    MediaControl& media;      // MMControl1
    DialogProvider& dialogs;  // CommonDialog1, message boxes, the document viewer
    SettingsStore& settings;
    SessionFactory sessions;  // makes the session runner on the first Play
    QString programFolder;    // the executable's folder: default "Path", lyrvox.txt
    // The last step of shut-down: ends the program (the event loop, and with it
    // every loop nested in it, returns at once).
    std::function<void()> endProgram;
};

class ControlWindow : public QWidget, public SessionHost, public ConvertHost {
    Q_OBJECT
  public:
    explicit ControlWindow(ControlWindowDeps deps, QWidget* parent = nullptr);
    ~ControlWindow() override;

    // Start-up; `args` are the program's arguments without Qt's own options.
    // With a command line it returns only after that file's playback has ended.
    void Form_Load(const QStringList& args);

    // Handlers of the controls.
    void btnOpen_Click();
    void btnPlay_Click();
    void btnStop_Click() override;
    void Combo1_Click();
    void Timer1_Timer();
    void btnSize_Click();
    void btnSnap_Click();
    void btnView_Click();
    void btnSetDir_Click();
    void btnConvert_Click();
    void btnInfo_Click();
    void btnAbout_Click();

    // SessionHost and ConvertHost.
    bool AltChecked() override;
    void SetStatus(const std::string& text) override;
    void SetOpenEnabled(bool enabled) override;
    void EnableStopNow() override;
    void ShowDisplay(bool visible) override;
    void Yield(double maxWaitMs) override;
    void Yield() override;
    void ShowMessage(const std::string& text) override;
    void SetConvertCaption(const std::string& text) override;
    void SetFileNameLabel(const std::string& text) override;
    void SetProgressLabel(const std::string& text) override;

    PlayerState& state() { return state_; }
    Snapshots& snapshots() { return snapshots_; }
    DisplayController& display() { return *display_; }
    int LastFilterIndex() const { return LastFilterIndex_; }

    // Twips to pixels through the screen's logical DPI (15 twips a pixel at 96).
    int twipsToPixelsX(int twips) const;
    int twipsToPixelsY(int twips) const;
    // The outer height in twips a framed window of this client height would have.
    int outerHeightTwips() const;

  protected:
    void closeEvent(QCloseEvent* event) override;  // Form_Unload

  private:
    void Form_Unload();
    void buildControls();
    void setClientHeightTwips(int twips);
    void setLabelText(QLabel* label, const QString& text);
    QString startFolder();
    void message(const QString& text);

    ControlWindowDeps deps_;
    PlayerState state_;
    Snapshots snapshots_;
    Converter converter_;
    std::unique_ptr<DisplayController> display_;
    std::unique_ptr<SessionRunner> session_;  // made on the first Play
    int LastFilterIndex_ = 0;                 // 0: no Open yet in this run
    bool unloading_ = false;

    QHash<QString, QWidget*> frames_;
    QPushButton* btnOpen_ = nullptr;
    QPushButton* btnPlay_ = nullptr;
    QPushButton* btnStop_ = nullptr;
    QPushButton* btnConvert_ = nullptr;
    QCheckBox* cbAlt_ = nullptr;
    QComboBox* Combo1_ = nullptr;
    QLabel* lblTime_ = nullptr;
    QLabel* lblStat_ = nullptr;
    QLabel* lblZoom_ = nullptr;
    QLabel* lblFName_ = nullptr;
    QLabel* lblProgress_ = nullptr;
    QLineEdit* txtSource_ = nullptr;
    QTimer* Timer1_ = nullptr;
};

}  // namespace lyrvox
