#include "app/mpris/mpris_root_adaptor.h"

#include <QGuiApplication>

#include "app/mpris/mpris_service.h"

namespace lyrvox {

MprisRootAdaptor::MprisRootAdaptor(MprisService& service)
    : QDBusAbstractAdaptor(&service), service_(service) {}

QString MprisRootAdaptor::identity() const {
    return QStringLiteral("Lyrvox");
}

QString MprisRootAdaptor::desktopEntry() const {
    // The installed menu entry's name without ".desktop".
    return QGuiApplication::desktopFileName();
}

QStringList MprisRootAdaptor::supportedUriSchemes() const {
    return {QStringLiteral("file")};
}

QStringList MprisRootAdaptor::supportedMimeTypes() const {
    // As the menu entry opens: CD+G graphics and MP3+G zips.
    return {QStringLiteral("application/x-cdg"), QStringLiteral("application/zip")};
}

void MprisRootAdaptor::Raise() {
    service_.raise();
}

void MprisRootAdaptor::Quit() {
    service_.quit();
}

}  // namespace lyrvox
