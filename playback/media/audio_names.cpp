#include "playback/media/audio_names.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "util/text_helpers.h"

namespace lyrvox {

bool isAudioName(const std::string& path) {
    static constexpr std::array<std::string_view, 13> kAudio = {
        "mp3", "wav", "ogg", "oga", "opus", "flac", "m4a",
        "aac", "wma", "au",  "mid", "midi", "kar"};
    const std::string extension = toLowerAscii(extensionOf(path));
    return std::find(kAudio.begin(), kAudio.end(), extension) != kAudio.end();
}

}  // namespace lyrvox
