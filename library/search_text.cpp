#include "library/search_text.h"

#include <array>

namespace lyrvox {
namespace {

// The same marks as the index's `folded` column drops (library_index.cpp); a
// mark added here belongs there too, with a migration.
constexpr std::array<std::string_view, 9> kJoiningMarks = {
    "'", "\xE2\x80\x99" /* ’ */, "\xE2\x80\x98" /* ‘ */,
    "`", "\xC2\xB4" /* ´ */,     ".",
    "-", "\xE2\x80\x90" /* ‐ */, "/"};

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

}  // namespace lyrvox
