#pragma once
// The one value kept between runs: the folder of the last opened file.
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
};

}  // namespace lyrvox
