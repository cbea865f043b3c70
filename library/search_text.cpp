#include "library/search_text.h"

#include <algorithm>
#include <array>

#include "library/song_name.h"

namespace lyrvox {
namespace {

// The same marks as the index's `folded` column drops (library_schema.cpp); a
// mark added here belongs there too, with a migration.
constexpr std::array<std::string_view, 9> kJoiningMarks = {
    "'", "\xE2\x80\x99" /* ’ */, "\xE2\x80\x98" /* ‘ */,
    "`", "\xC2\xB4" /* ´ */,     ".",
    "-", "\xE2\x80\x90" /* ‐ */, "/"};

bool isWordByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || (byte >= '0' && byte <= '9') || (byte >= 'a' && byte <= 'z') ||
           (byte >= 'A' && byte <= 'Z');
}

}  // namespace

std::string foldPunctuation(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '&') {
            folded += " and ";
            ++i;
            continue;
        }
        std::size_t mark = 0;
        for (std::string_view m : kJoiningMarks)
            if (text.substr(i).starts_with(m)) mark = m.size();
        if (mark > 0) {
            i += mark;
        } else {
            folded += text[i++];
        }
    }
    return folded;
}

std::string ftsQueryFor(const std::string& text) {
    const auto quoted = [](const std::string& word) {
        std::string phrase = "\"";
        for (char c : word) phrase += c == '"' ? std::string("\"\"") : std::string(1, c);
        return phrase + "\"*";
    };
    const auto hasWordByte = [](const std::string& word) {
        return std::any_of(word.begin(), word.end(), isWordByte);
    };
    std::string query;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        const std::string word = validUtf8(std::string_view(text).substr(start, i - start));
        const std::string folded = foldPunctuation(word);
        // Only separators ("-", "&"): FTS5 would find nothing to match.
        std::string bare = word;
        std::erase(bare, '&');
        if (!hasWordByte(foldPunctuation(bare))) continue;
        std::string term = quoted(word);
        if (folded != word) term = "(" + term + " OR " + quoted(folded) + ")";
        query += (query.empty() ? "" : " AND ") + term;
    }
    return query;
}

}  // namespace lyrvox
