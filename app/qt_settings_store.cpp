#include "app/qt_settings_store.h"

#include <QSettings>
#include <memory>

namespace lyrvox {
namespace {

constexpr char kKey[] = "Config/Path";

std::unique_ptr<QSettings> openSettings(const QString& iniFile) {
    if (iniFile.isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("Lyrvox"), QStringLiteral("Lyrvox"));
    return std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
}

}  // namespace

std::optional<QString> QtSettingsStore::readPath() {
    auto settings = openSettings(iniFile_);
    // A file that cannot be read or parsed counts as no setting at all.
    if (settings->status() != QSettings::NoError) return std::nullopt;
    const QVariant value = settings->value(kKey);
    if (!value.isValid() || value.typeId() != QMetaType::QString) return std::nullopt;
    const QString path = value.toString();
    if (path.isEmpty()) return std::nullopt;
    return path;
}

bool QtSettingsStore::writePath(const QString& folder) {
    auto settings = openSettings(iniFile_);
    settings->setValue(kKey, folder);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

}  // namespace lyrvox
