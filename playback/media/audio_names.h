#pragma once
// Which media files are sound alone, by their extension (any letter case). Songs'
// audio partners are; anything else may carry video.
#include <string>

namespace lyrvox {

bool isAudioName(const std::string& path);

}  // namespace lyrvox
