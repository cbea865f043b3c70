#pragma once
// Values kept between runs: the folder of the last opened file ("Config/Path"),
// and the other entries of the settings table, each a text under "Group/Key".
#include <QString>
#include <optional>

#include "util/settings_table.h"

namespace lyrvox {

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // The saved folder (with its trailing '/'); nullopt when absent or unreadable.
    virtual std::optional<QString> readPath() = 0;
    // False when the value could not be written.
    virtual bool writePath(const QString& folder) = 0;
    // Any other value, as text; nullopt when absent or unreadable.
    virtual std::optional<QString> readText(const QString& groupAndKey) = 0;
    virtual bool writeText(const QString& groupAndKey, const QString& value) = 0;

    // A setting of the table: its text, or its default.
    QString read(const Setting& setting) {
        return readText(QString::fromLatin1(setting.key))
            .value_or(QString::fromLatin1(setting.defaultText));
    }
    // A number of the table, in its range (see settingNumber).
    int readNumber(const Setting& setting) {
        const std::optional<QString> text = readText(QString::fromLatin1(setting.key));
        return settingNumber(setting, text ? std::optional(text->toStdString()) : std::nullopt);
    }
    bool write(const Setting& setting, const QString& value) {
        return writeText(QString::fromLatin1(setting.key), value);
    }
    bool writeNumber(const Setting& setting, int value) {
        return write(setting, QString::number(value));
    }
};

}  // namespace lyrvox
