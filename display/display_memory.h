#pragma once
// Where the display keeps its choices between runs: text values under the keys of
// the settings table (the display window's place and scaling, the up-next screen's
// message, the background). The default remembers nothing.
#include <QString>
#include <functional>
#include <optional>

namespace lyrvox {

struct DisplayMemory {
    std::function<std::optional<QString>(const QString& key)> read = [](const QString&) {
        return std::optional<QString>();
    };
    std::function<void(const QString& key, const QString& value)> write = [](const QString&,
                                                                             const QString&) {};
};

}  // namespace lyrvox
