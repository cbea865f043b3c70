// lyrvox-icon THEME_DIR NAME SIZE...: draws the program's icon into the layout of
// a freedesktop icon theme, THEME_DIR/SIZExSIZE/apps/NAME.png for each size in
// pixels. The build runs it for the hicolor theme the desktop's menus look in.
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>

#include "app/app_icon.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: lyrvox-icon THEME_DIR NAME SIZE...\n");
        return 2;
    }
    const QString theme = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "lyrvox-icon: not a size in pixels: %s\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(theme, QString::number(size));
        const QString file = folder + QChar('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !lyrvox::drawAppIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "lyrvox-icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
