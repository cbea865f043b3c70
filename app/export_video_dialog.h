#pragma once
// "Export video...": the chosen song written to a video file by
// `lyrvox-cdg video SONG -o OUT --size WxH --fps N --progress-lines` (and the
// display's background, when one is chosen) in a process
// of its own, so that the song playing (if any) goes on undisturbed. The dialog
// asks for the output file, size and frame rate, then shows the export's progress
// with Cancel. The exporter writes its file whole or not at all, and removes its
// partial output itself when killed.
#include <QByteArray>
#include <QDialog>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

#include "display/background_source.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace lyrvox {

class ExportVideoDialog : public QDialog {
    Q_OBJECT
  public:
    // `song`: the file to export. `program`: lyrvox-cdg's path; empty: beside the
    // player or on the PATH.
    explicit ExportVideoDialog(QString song, QString program = {}, QWidget* parent = nullptr);
    // A running export is ended with the dialog.
    ~ExportVideoDialog() override;
    // Shows a new dialog for `song` over `parent`, not modal; it deletes itself when closed.
    static ExportVideoDialog* openFor(const QString& song, QWidget* parent);

    void setProgram(const QString& program) { program_ = program; }
    void setOutput(const QString& path);
    void setFrameSize(QSize size);
    void setFramesPerSecond(int fps);
    // What the display shows behind the picture: the video gets the same.
    void setBackground(const BackgroundChoice& choice) { background_ = choice; }
    // The exporter's arguments for the choices shown now.
    QStringList arguments() const;

    // Export: starts the process (the dialog's Export button).
    void start();
    // Cancel while it runs: kills the process; otherwise closes the dialog.
    void cancel();
    bool running() const { return process_.state() != QProcess::NotRunning; }
    QProgressBar* progressBar() const { return progress_; }
    // What the dialog says about the export: running, written, failed (with the
    // exporter's own last words) or cancelled.
    QString statusText() const;

  signals:
    // The export ended: true when the video was written.
    void exportEnded(bool written);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void browse();
    // Reads whole lines from either channel: progress lines move the bar, others are
    // kept for a failure's message.
    void readOutput(QProcess::ProcessChannel channel);
    void takeLine(const QString& line);
    void ended(int exitCode, QProcess::ExitStatus status);
    void setRunning(bool on);

    QString song_;
    QString program_;
    QProcess process_;
    QByteArray pending_[2];  // partial lines of stdout and stderr
    QString lastWords_;      // the exporter's last line that was not progress
    bool cancelled_ = false;
    BackgroundChoice background_;
    QLineEdit* output_;
    QComboBox* size_;
    QComboBox* fps_;
    QProgressBar* progress_;
    QLabel* status_;
    QPushButton* exportButton_;
    QPushButton* cancelButton_;
};

}  // namespace lyrvox
