#include "app/qt_settings_store.h"

#include <QSettings>
#include <memory>

namespace lyrvox {
namespace {

std::unique_ptr<QSettings> openSettings(const QString& iniFile) {
    if (iniFile.isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("Lyrvox"), QStringLiteral("Lyrvox"));
    return std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
}

}  // namespace

std::optional<QString> QtSettingsStore::readPath() {
    return readText(QString::fromLatin1(settings::kLastFolder.key));
}

bool QtSettingsStore::writePath(const QString& folder) {
    return write(settings::kLastFolder, folder);
}

std::optional<QString> QtSettingsStore::readText(const QString& groupAndKey) {
    auto settings = openSettings(iniFile_);
    // A file that cannot be read or parsed counts as no setting at all.
    if (settings->status() != QSettings::NoError) return std::nullopt;
    const QVariant value = settings->value(groupAndKey);
    if (!value.isValid() || value.typeId() != QMetaType::QString) return std::nullopt;
    const QString text = value.toString();
    if (text.isEmpty()) return std::nullopt;
    return text;
}

bool QtSettingsStore::writeText(const QString& groupAndKey, const QString& value) {
    auto settings = openSettings(iniFile_);
    settings->setValue(groupAndKey, value);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

}  // namespace lyrvox
