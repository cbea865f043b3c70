#pragma once
// What the singers' phones may send, checked before anything acts on it: names
// as a person types them, library ids, search text, and the size of a body.
// Everything here is plain bytes in, a verdict out; nothing names a file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lyrvox {

namespace limits {
inline constexpr std::size_t kMaxBodyBytes = 4096;  // a request's JSON body
inline constexpr std::size_t kMaxSingerChars = 40;  // characters (code points), trimmed
inline constexpr std::size_t kMaxQueryChars = 100;  // a search's typed text
inline constexpr int kMaxSearchResults = 100;
// The largest id JSON carries exactly (2^53 - 1): a number beyond is not an id.
inline constexpr std::int64_t kMaxId = 9007199254740991;
}  // namespace limits

// True when `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);
// The number of code points of valid UTF-8.
std::size_t utf8Length(std::string_view text);

// A singer's name as typed: spaces trimmed at both ends; refused (nullopt, with
// `why` set to a short sentence for the phone) when it is not UTF-8, empty, longer
// than kMaxSingerChars, or holds a control character (C0, DEL, C1), a line or
// paragraph separator, a direction override that could make it read as
// another name, or an angle bracket.
std::optional<std::string> checkSingerName(std::string_view typed, std::string* why = nullptr);

// A library id written in a path: decimal digits only (no sign, no spaces, no
// leading zero), 1 to kMaxId.
std::optional<std::int64_t> parseId(std::string_view text);
// A library id as a JSON number: whole, 1 to kMaxId.
std::optional<std::int64_t> idFromNumber(double number);

// Search text: valid UTF-8 of at most kMaxQueryChars characters without control
// characters; refused otherwise (nullopt).
std::optional<std::string> checkQuery(std::string_view typed);

}  // namespace lyrvox
