#include "display/snapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include "display/picture_image.h"

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
    const QImage image = pictureImage(machine);
    for (int64_t number = nextNumber; number >= 0; ++number) {
        const QString path = pathFor(number);
        QFile file(path);
        // NewOnly: the name is claimed atomically, so nothing existing is replaced
        // even if another program creates the same name in between.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) continue;
            return {false, path};
        }
        QImageWriter writer(&file, "bmp");
        const bool ok = writer.write(image) && file.flush();
        file.close();
        if (!ok || file.error() != QFileDevice::NoError) {
            file.remove();
            return {false, path};
        }
        nextNumber = number + 1;
        return {true, path};
    }
    return {false, pathFor(nextNumber)};
}

}  // namespace lyrvox
