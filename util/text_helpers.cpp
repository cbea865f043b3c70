#include "util/text_helpers.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "util/rounding.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// Index of the last separator, or npos. Positions are size_t throughout, so
// paths of any length work.
std::size_t lastSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) return i - 1;
    }
    return std::string_view::npos;
}

// Index where the last path component begins.
std::size_t lastComponentStart(std::string_view path) {
    const std::size_t sep = lastSeparator(path);
    return sep == std::string_view::npos ? 0 : sep + 1;
}

// Index of the full stop that starts the extension, or npos: the last full stop
// of the last component ("Mr. Brightside.cdg" is the song "Mr. Brightside").
// Full stops that begin the component belong to the name (".karaoke-hit.cdg" is
// a hidden file called ".karaoke-hit"; ".cdg" has no extension).
std::size_t extensionDot(std::string_view name) {
    const std::size_t nameStart = name.find_first_not_of('.', lastComponentStart(name));
    const std::size_t dot = name.rfind('.');
    if (nameStart == std::string_view::npos || dot == std::string_view::npos || dot < nameStart)
        return std::string_view::npos;
    return dot;
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The folder to search for the last component: the folder text as given, or the
// current folder when the path has none.
fs::path searchFolder(const std::string& path, std::size_t componentStart) {
    if (componentStart == 0) return fs::path(".");
    return fs::path(path.substr(0, componentStart));
}

// Calls visit(entry, name) for each entry of the folder. Every error ends the
// walk quietly.
template <typename Visit>
void forEachEntry(const fs::path& folder, Visit visit) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        visit(*it, it->path().filename().string());
    }
}

// Length of the valid UTF-8 sequence at the start of `bytes` (at least one byte,
// a lead byte from 0xC2 up), or 0. Overlong forms, surrogates and code points
// beyond U+10FFFF are not valid.
std::size_t utf8SequenceLength(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    const std::size_t length = lead < 0xC2   ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length == 0 || bytes.size() < length) return 0;
    // The second byte's range narrows for the leads that could start an invalid form.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

std::string twoDigits(std::int64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02lld", static_cast<long long>(value));
    return buffer;
}

}  // namespace

std::string folderOf(const std::string& path) {
    const std::size_t sep = lastSeparator(path);
    if (sep == std::string::npos || sep == 0) return {};
    return path.substr(0, sep + 1);
}

std::string extensionOf(const std::string& name) {
    const std::size_t dot = extensionDot(name);
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string fileNameOf(const std::string& path) {
    const std::size_t sep = lastSeparator(path);
    if (sep == std::string::npos || sep == 0) return path;
    return path.substr(sep + 1);
}

std::string stripExtension(const std::string& name) {
    const std::size_t dot = extensionDot(name);
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string packetsToTime(double packets) {
    // Beyond this (about 1,900 years of playback) the single-precision seconds
    // are meaningless anyway; capping keeps every step below finite.
    constexpr double kMaxPackets = 1.8e13;
    if (!(packets > 0.0)) return "00:00";  // negative, zero and NaN
    packets = std::min(packets, kMaxPackets);

    // 300 packets make a second; the seconds are held in single precision.
    const float seconds = static_cast<float>(packets / 300.0);
    std::int64_t minutes =
        static_cast<std::int64_t>(std::floor(static_cast<double>(seconds) / 60.0));
    const float whole = static_cast<float>(minutes * 60);
    const float rest = std::max(0.0f, seconds - whole);
    auto secs = static_cast<std::int64_t>(roundHalfEven(static_cast<double>(rest)));
    // A remainder of 59.5 s or more rounds to 60: that is the next minute.
    while (secs >= 60) {
        secs -= 60;
        ++minutes;
    }
    return twoDigits(minutes) + ":" + twoDigits(secs);
}

std::optional<std::string> findFileIgnoreCase(const std::string& path) {
    try {
        if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
        const std::size_t start = lastComponentStart(path);
        const std::string component = path.substr(start);
        // Names that begin with a full stop are only hidden by convention on
        // Linux; a song the user named (or its partners, which share its stem)
        // must be found all the same, so here they count like any other name.
        if (component.empty()) return std::nullopt;

        std::error_code ec;
        if (fs::is_regular_file(fs::path(path), ec) && !ec) return path;

        // Several names may differ from the one asked for only in case; take the
        // first in byte order so the answer does not depend on directory order.
        std::optional<std::string> best;
        forEachEntry(searchFolder(path, start), [&](const fs::directory_entry& entry,
                                                    const std::string& name) {
            std::error_code typeError;
            if (equalsIgnoreAsciiCase(name, component) && entry.is_regular_file(typeError) &&
                !typeError && (!best || name < *best)) {
                best = name;
            }
        });
        if (!best) return std::nullopt;
        return path.substr(0, start) + *best;
    } catch (...) {
        return std::nullopt;
    }
}

std::string escapeForTerminal(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = byte < 0x80 ? 1 : utf8SequenceLength(bytes.substr(i));
        // U+0080..U+009F, the C1 controls, are C2 80..C2 9F.
        const bool c1 =
            length == 2 && byte == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0;
        if (byte == '\\') {
            text += "\\\\";
        } else if (byte == '\t') {
            text += "\\t";
        } else if (byte == '\n') {
            text += "\\n";
        } else if (byte == '\r') {
            text += "\\r";
        } else if (byte < 0x20 || byte == 0x7F || length == 0 || c1) {
            text += {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
        } else {
            text.append(bytes.substr(i, length));
            i += length;
            continue;
        }
        ++i;
    }
    return text;
}

std::string toLowerAscii(std::string text) {
    for (char& c : text) c = asciiLower(c);
    return text;
}

std::string toUpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

}  // namespace lyrvox
