#include "app/window_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "util/rounding.h"

namespace lyrvox {

std::string commandLineText(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args) {
        if (&arg != args.data()) text += ' ';
        text += arg;
    }
    return text;
}

std::string joinCommandLine(const std::vector<std::string>& args) {
    std::string text = commandLineText(args);
    if (text.starts_with('"')) text.erase(0, 1);
    if (text.ends_with('"')) text.pop_back();
    return text;
}

std::vector<FileFilter> songFileFilters() {
    return {{QStringLiteral("Lyrvox Files"),
             {"*.CDG", "*.MP3", "*.RW", "*.OGG", "*.OPUS", "*.FLAC", "*.M4A", "*.AAC", "*.ZIP"}},
            {QStringLiteral("CDG Files (*.CDG)"), {"*.CDG"}},
            {QStringLiteral("MPEG Audio Files (*.MP3)"), {"*.MP3"}},
            {QStringLiteral("ActiveMovie Files"),
             {"*.AVI", "*.MOV", "*.MID", "*.WAV", "*.AU", "*.MP?"}}};
}

bool isSongFileName(const QString& fileName) {
    QStringList patterns;
    for (const FileFilter& filter : songFileFilters()) patterns << filter.patterns;
    return QDir::match(patterns, fileName);
}

QStringList frameRateEntries() {
    return {QStringLiteral("30"), QStringLiteral("25"), QStringLiteral("20"), QStringLiteral("15"),
            QStringLiteral("10"), QStringLiteral("5"),  QStringLiteral("2"),  QStringLiteral("1")};
}

int frameIntervalMs(const QString& entry) {
    qsizetype digits = 0;
    while (digits < entry.size() && entry[digits].isDigit() && entry[digits].unicode() < 128) {
        ++digits;
    }
    if (digits == 0 || digits > 6) return 0;
    const int rate = entry.left(digits).toInt();
    if (rate <= 0) return 0;
    return static_cast<int>(roundHalfEven(1000.0 / rate));
}

QString keyAndTempoText(int semitones, int tempoPercent) {
    return QStringLiteral("Key %1%2, Tempo %3%")
        .arg(semitones > 0 ? QStringLiteral("+") : QString())
        .arg(semitones)
        .arg(tempoPercent);
}

QString aboutText(const QString& version, const QString& releaseDate,
                  const QString& documentationPath) {
    const QChar cr('\r');
    return QStringLiteral("Lyrvox (c) 2000 the Lyrvox authors") + cr +
           QStringLiteral("Version %1, released %2").arg(version, releaseDate) + cr + cr +
           documentationPath + cr;
}

QString documentationPath(const QString& programFolder) {
    QString folder = programFolder;
    if (!folder.endsWith(QChar('/'))) folder += QChar('/');
    return folder + QStringLiteral("lyrvox.txt");
}

QString findDocumentation(const QString& programFolder, const QString& installedFolder) {
    const QString beside = documentationPath(programFolder);
    if (QFileInfo(beside).isReadable()) return beside;
    const QString installed =
        QDir::cleanPath(documentationPath(QDir(programFolder).filePath(installedFolder)));
    return QFileInfo(installed).isReadable() ? installed : beside;
}

std::string toFsPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromFsPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString visibleText(const std::string& text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    for (QChar& c : shown) {
        // The Control Pictures block has a visible sign for each C0 control and DEL.
        if (c.unicode() < 0x20) c = QChar(0x2400 + c.unicode());
        if (c.unicode() == 0x7F) c = QChar(0x2421);
    }
    return shown;
}

QString folderWithSeparator(const QString& path) {
    QString folder = QFileInfo(path).absolutePath();
    if (!folder.endsWith(QChar('/'))) folder += QChar('/');
    return folder;
}

}  // namespace lyrvox
