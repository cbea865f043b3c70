#include "display/snapshot.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include "display/picture_image.h"
#include "util/replacing_file.h"

namespace lyrvox {

QString snapshotFileName(const QString& stem, int64_t number) {
    return stem + QStringLiteral("%1").arg(number, 3, 10, QChar('0')) + QStringLiteral(".bmp");
}

Snapshots::Result Snapshots::take(const CdgMachine& machine, const QString& folder) {
    // An empty folder is the current directory as the process has it, even one
    // that was deleted (then the write fails; it must not land elsewhere).
    auto pathFor = [&](int64_t number) {
        const QString name = snapshotFileName(stem, number);
        return folder.isEmpty() ? name : QDir(folder).filePath(name);
    };
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "bmp").write(pictureImage(machine))) {
        return {false, pathFor(nextNumber)};
    }
    for (int64_t number = nextNumber; number >= 0; ++number) {
        const QString path = pathFor(number);
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) continue;
        // Written whole beside the name, then given the name only if it is still
        // free: nothing existing is replaced even if another program takes the name
        // meanwhile, and no cut picture ever carries it.
        ReplacingFile file(QFile::encodeName(path).toStdString());
        std::error_code error = file.open();
        if (!error) file.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        if (!error) error = file.commit(false);
        if (error == std::errc::file_exists) continue;
        if (error) return {false, path};
        nextNumber = number + 1;
        return {true, path};
    }
    return {false, pathFor(nextNumber)};
}

}  // namespace lyrvox
