#include "app/loudness_measuring.h"

#include <sys/resource.h>
#include <QCoreApplication>
#include <QStandardPaths>

namespace lyrvox {

QString findCommandLineTool() {
    const QString here = QCoreApplication::applicationDirPath();
    const QString found = QStandardPaths::findExecutable(
        QStringLiteral("lyrvox-cdg"), {here, here + QStringLiteral("/../tools/cli")});
    return found.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("lyrvox-cdg")) : found;
}

LoudnessMeasuring::LoudnessMeasuring(QString databasePath, QString program, QObject* parent)
    : QObject(parent),
      databasePath_(std::move(databasePath)),
      program_(program.isEmpty() ? findCommandLineTool() : std::move(program)) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // Runs in the child between fork and exec: only async-signal-safe calls.
    process_.setChildProcessModifier([] { ::setpriority(PRIO_PROCESS, 0, 19); });
    connect(&process_, &QProcess::finished, this, [this] { ended(); });
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) ended();
    });
}

LoudnessMeasuring::~LoudnessMeasuring() {
    // Readings already kept stay; the song being measured is measured next time.
    // A killed child is reaped at once: the wait only collects its status.
    disconnect(&process_, nullptr, this, nullptr);
    if (running()) {
        process_.kill();
        process_.waitForFinished(1000);
    }
}

void LoudnessMeasuring::start() {
    if (program_.isEmpty()) return;
    if (running()) {
        again_ = true;
        return;
    }
    again_ = false;
    process_.start(program_, {QStringLiteral("loudness"), QStringLiteral("--update"),
                              QStringLiteral("--db"), databasePath_});
}

void LoudnessMeasuring::ended() {
    const QString summary = QString::fromUtf8(process_.readAll()).trimmed();
    emit finished(summary.isEmpty() ? process_.errorString() : summary);
    if (std::exchange(again_, false)) start();
}

}  // namespace lyrvox
