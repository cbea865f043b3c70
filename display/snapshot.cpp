#include "display/snapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

namespace lyrvox {

QImage pictureImage(const CdgMachine& machine) {
    QImage image(kScreenWidth, kScreenHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    machine.renderArgb32(reinterpret_cast<uint32_t*>(image.bits()),
                         static_cast<int>(image.bytesPerLine() / 4));
    return image;
}

QString snapshotFileName(const QString& basename, int64_t number) {
    return basename + QStringLiteral("%1").arg(number, 3, 10, QChar('0')) + QStringLiteral(".bmp");
}

Snapshots::Result Snapshots::take(const CdgMachine& machine, const QString& folder) {
    // An empty folder is the current directory as the process has it, even one
    // that was deleted (then the write fails; it must not land elsewhere).
    auto pathFor = [&](int64_t number) {
        const QString name = snapshotFileName(Basename, number);
        return folder.isEmpty() ? name : QDir(folder).filePath(name);
    };
    const QImage image = pictureImage(machine);
    for (int64_t number = SnapNum; number >= 0; ++number) {
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
        SnapNum = number + 1;
        return {true, path};
    }
    return {false, pathFor(SnapNum)};
}

}  // namespace lyrvox
