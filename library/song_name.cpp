#include "library/song_name.h"

#include <cctype>
#include <vector>

namespace lyrvox {
namespace {

bool isAsciiSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string trimmed(std::string_view text) {
    while (!text.empty() && isAsciiSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isAsciiSpace(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::vector<std::string> splitAtDashes(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(" - ", start);
        std::string part = trimmed(std::string_view(text).substr(start, at - start));
        if (!part.empty()) parts.push_back(std::move(part));
        if (at == std::string::npos) return parts;
        start = at + 3;
    }
}

// Letters (at most six), then at least two digits, then optionally a separator
// and a track number of one to three digits.
bool looksLikeDiscId(std::string_view part) {
    std::size_t i = 0;
    const auto isDigit = [&](std::size_t at) {
        return at < part.size() && std::isdigit(static_cast<unsigned char>(part[at]));
    };
    while (i < part.size() && std::isalpha(static_cast<unsigned char>(part[i]))) ++i;
    if (i > 6) return false;
    const std::size_t digitsStart = i;
    while (isDigit(i)) ++i;
    if (i - digitsStart < 2) return false;
    if (i == part.size()) return true;
    if (part[i] != '-' && part[i] != ' ' && part[i] != '_') return false;
    const std::size_t trackStart = ++i;
    while (isDigit(i)) ++i;
    return i == part.size() && i - trackStart >= 1 && i - trackStart <= 3;
}

std::string joined(const std::vector<std::string>& parts, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) text += (i == from ? "" : " - ") + parts[i];
    return text;
}

}  // namespace

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned min = 0;
        if (byte < 0x80) {
            length = 1;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2, min = 0x80;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3, min = 0x800;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4, min = 0x10000;
        }
        bool valid = length > 0 && i + length <= text.size();
        unsigned code = length == 1 ? byte : byte & (0x7Fu >> length);
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8 either.
        if (valid && length > 1)
            valid = code >= min && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

SongName parseSongName(std::string_view stem, NameOrder order) {
    std::string text = validUtf8(stem);
    for (char& c : text)
        if (c == '_') c = ' ';
    std::vector<std::string> parts = splitAtDashes(text);
    SongName name;
    if (parts.empty()) {
        name.title = trimmed(text);
        return name;
    }
    std::size_t first = 0;
    if (parts.size() >= 3 && looksLikeDiscId(parts[0])) {
        name.discId = parts[0];
        first = 1;
    }
    const std::size_t count = parts.size() - first;
    if (count == 1) {
        name.title = parts[first];
    } else if (order == NameOrder::ArtistTitle) {
        name.artist = parts[first];
        name.title = joined(parts, first + 1, parts.size());
    } else {
        name.artist = parts.back();
        name.title = joined(parts, first, parts.size() - 1);
    }
    return name;
}

}  // namespace lyrvox
