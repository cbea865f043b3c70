#pragma once
// SettingsStore on QSettings: organisation and application "Lyrvox", group
// "Config", key "Path" (~/.config/Lyrvox/Lyrvox.conf on Linux).
#include "app/settings_store.h"

namespace lyrvox {

class QtSettingsStore : public SettingsStore {
  public:
    // The user's settings file.
    QtSettingsStore() = default;
    // An explicit INI file instead (tests).
    explicit QtSettingsStore(QString iniFile) : iniFile_(std::move(iniFile)) {}

    std::optional<QString> readPath() override;
    bool writePath(const QString& folder) override;
    std::optional<QString> readText(const QString& groupAndKey) override;
    bool writeText(const QString& groupAndKey, const QString& value) override;

  private:
    QString iniFile_;
};

}  // namespace lyrvox
