#pragma once
// Values kept between runs: the folder of the last opened file ("Config/Path"),
// and the display's choices, each a text under "Group/Key".
#include <QString>
#include <optional>

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
};

}  // namespace lyrvox
