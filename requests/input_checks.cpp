#include "requests/input_checks.h"

#include <cmath>
#include <vector>

namespace lyrvox {
namespace {

// Decodes valid UTF-8 into code points; nullopt on any malformed sequence.
std::optional<std::vector<char32_t>> decode(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t cp = 0;
        char32_t least = 0;  // the smallest code point its length may carry
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1Fu, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0Fu, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07u, least = 0x10000;
        } else {
            return std::nullopt;
        }
        if (text.size() - i <= static_cast<std::size_t>(extra) && extra > 0) return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (next & 0x3Fu);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
        out.push_back(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

bool isControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

// Characters that change how the text around them reads: line and paragraph
// separators, and the bidirectional embeddings, overrides and isolates.
bool isLayoutMark(char32_t cp) {
    return cp == 0x2028 || cp == 0x2029 || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

std::string_view trimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    return decode(text).has_value();
}

std::size_t utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::optional<std::string> checkSingerName(std::string_view typed, std::string* why) {
    const auto refuse = [why](const char* text) -> std::optional<std::string> {
        if (why) *why = text;
        return std::nullopt;
    };
    const std::optional<std::vector<char32_t>> points = decode(typed);
    if (!points) return refuse("The name is not valid text.");
    for (const char32_t cp : *points) {
        // Angle brackets: a name is never markup, wherever a page shows it.
        if (isControl(cp) || isLayoutMark(cp) || cp == '<' || cp == '>')
            return refuse("The name holds a character that is not allowed.");
    }
    const std::string_view name = trimSpaces(typed);
    if (name.empty()) return refuse("Type a name.");
    if (utf8Length(name) > limits::kMaxSingerChars) return refuse("The name is too long.");
    return std::string(name);
}

std::optional<std::int64_t> parseId(std::string_view text) {
    if (text.empty() || text.size() > 16 || text.front() == '0') return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > limits::kMaxId) return std::nullopt;
    return value;
}

std::optional<std::int64_t> idFromNumber(double number) {
    if (!std::isfinite(number) || number < 1 || number > static_cast<double>(limits::kMaxId) ||
        std::floor(number) != number)
        return std::nullopt;
    return static_cast<std::int64_t>(number);
}

std::optional<std::string> checkQuery(std::string_view typed) {
    const std::optional<std::vector<char32_t>> points = decode(typed);
    if (!points || points->size() > limits::kMaxQueryChars) return std::nullopt;
    for (const char32_t cp : *points) {
        if (isControl(cp) || isLayoutMark(cp)) return std::nullopt;
    }
    return std::string(typed);
}

}  // namespace lyrvox
