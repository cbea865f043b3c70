#pragma once
// Measures the library's songs in the background: `lyrvox-cdg loudness --update`
// in a process of its own at the lowest priority (nice 19), so that decoding and
// measuring never take a core from the display's passes, and a file that crashes
// a decoder takes only that process down. Its readings go straight into the
// library's index, where the player finds them at the next song's start
// (EvenLoudnessMedia). Started again after every scan; one run at a time.
#include <QObject>
#include <QProcess>
#include <QString>

namespace lyrvox {

class LoudnessMeasuring : public QObject {
    Q_OBJECT
  public:
    // `program`: lyrvox-cdg's path; empty: found beside the player or on the PATH.
    explicit LoudnessMeasuring(QString databasePath, QString program = {},
                               QObject* parent = nullptr);
    ~LoudnessMeasuring() override;

    // Starts a run, or one more once the current one ends.
    void start();
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // The tool's path, empty when it is not installed (nothing is measured then).
    const QString& program() const { return program_; }

  signals:
    // A run ended; its summary ("N measured, ...") or why it failed.
    void finished(const QString& summary);

  private:
    void ended();

    QString databasePath_;
    QString program_;
    QProcess process_;
    bool again_ = false;
};

// lyrvox-cdg beside the player (installed, or in the build tree), else on the PATH.
QString findCommandLineTool();

}  // namespace lyrvox
