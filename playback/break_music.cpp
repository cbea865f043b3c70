#include "playback/break_music.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <system_error>

#include "playback/media/audio_names.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

bool readableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), R_OK) == 0;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "file:///a%20b" -> "/a b", byte for byte; "file://localhost/..." too.
std::string fromFileUri(const std::string& uri) {
    std::string rest = uri.substr(7);
    if (rest.starts_with("localhost/")) rest.erase(0, 9);
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 &&
            hexValue(rest[i + 2]) >= 0) {
            path += static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

}  // namespace

BreakPlaylist listBreakFolder(const std::string& folder) {
    BreakPlaylist list;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string path = it->path().string();
        if (isAudioName(path) && readableFile(path)) list.paths.push_back(path);
    }
    std::sort(list.paths.begin(), list.paths.end());  // std::string compares bytes
    return list;
}

BreakPlaylist parseM3u(const std::string& text, const std::string& playlistFolder,
                       const std::function<bool(const std::string&)>& readable) {
    BreakPlaylist list;
    std::istringstream lines(text);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (first && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);  // a UTF-8 mark
        first = false;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        std::string path = line.substr(start);
        if (path.starts_with("file://")) path = fromFileUri(path);
        if (!path.starts_with('/')) {
            path = playlistFolder.empty() || playlistFolder.ends_with('/')
                       ? playlistFolder + path
                       : playlistFolder + "/" + path;
        }
        if (readable(path)) {
            list.paths.push_back(path);
        } else {
            ++list.missing;
        }
    }
    return list;
}

BreakPlaylist loadBreakMusic(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return listBreakFolder(path);
    const std::string extension = toLowerAscii(extensionOf(path));
    if (extension == "m3u" || extension == "m3u8") {
        std::ifstream file(path, std::ios::binary);
        if (!file) return {{}, 1};
        std::ostringstream text;
        text << file.rdbuf();
        return parseM3u(text.str(), std::filesystem::path(path).parent_path().string(),
                        readableFile);
    }
    if (readableFile(path)) return {{path}, 0};
    return {{}, 1};
}

double equalPowerGain(double position) {
    return std::sin(std::clamp(position, 0.0, 1.0) * (std::numbers::pi / 2.0));
}

void BreakMusic::setFadeSeconds(double seconds) {
    fadeSeconds_ = std::max(0.0, seconds);
}

void BreakMusic::turn(double now, bool rising) {
    if (rising == rising_) return;  // already on its way there
    fromPosition_ = position(now);
    since_ = now;
    rising_ = rising;
}

void BreakMusic::songStarted(double now) {
    turn(now, false);
}

void BreakMusic::songEnded(double now) {
    turn(now, true);
}

void BreakMusic::silence(double now) {
    rising_ = false;
    fromPosition_ = 0.0;
    since_ = now;
}

double BreakMusic::position(double now) const {
    const double target = rising_ ? 1.0 : 0.0;
    if (fadeSeconds_ <= 0.0) return target;
    const double moved = std::max(0.0, now - since_) / fadeSeconds_;
    return rising_ ? std::min(target, fromPosition_ + moved)
                   : std::max(target, fromPosition_ - moved);
}

bool BreakMusic::fading(double now) const {
    const double at = position(now);
    return rising_ ? at < 1.0 : at > 0.0;
}

bool BreakMusic::audible(double now) const {
    return rising_ || position(now) > 0.0;
}

void BreakMusic::setPlaylist(std::vector<std::string> paths) {
    paths_ = std::move(paths);
    bad_.assign(paths_.size(), false);
    index_ = 0;
    unplayable_ = 0;
}

const std::string* BreakMusic::current() const {
    if (index_ >= paths_.size() || bad_[index_]) return nullptr;
    return &paths_[index_];
}

const std::string* BreakMusic::advance() {
    for (std::size_t step = 1; step <= paths_.size(); ++step) {
        const std::size_t at = (index_ + step) % paths_.size();
        if (!bad_[at]) {
            index_ = at;
            return &paths_[at];
        }
    }
    return nullptr;  // every one is unplayable (or none was given)
}

const std::string* BreakMusic::next() {
    if (paths_.empty()) return nullptr;
    return advance();
}

const std::string* BreakMusic::skipUnplayable() {
    if (index_ >= paths_.size()) return nullptr;
    if (!bad_[index_]) {
        bad_[index_] = true;
        ++unplayable_;
    }
    return advance();
}

}  // namespace lyrvox
