#pragma once
// What lets a singer's typing find a name without its punctuation: "dont stop"
// finds "Don't Stop", "rem" finds "R.E.M.", "acdc" finds "AC/DC" and "AC-DC",
// "b52s" finds "B-52's", "hall and oates" finds "Hall & Oates".
//
// The joining marks (apostrophes, full stops, hyphens, slashes) are dropped, so
// that the letters on both sides become one word, and "&" reads as "and". The
// index keeps this folded form of each name beside the name itself (the songs
// table's generated columns `folded_artist` and `folded_title`, whose SQL drops
// the same marks), and a
// typed word matches either form; so "ac dc", "ac/dc" and "acdc" all find
// "AC/DC", and a typed beginning ("hal") still finds the whole word ("Hall").
#include <string>
#include <string_view>

namespace lyrvox {

// `text` with every joining mark removed and every "&" turned into " and ".
// The marks: ' ’ ‘ ` ´ . - ‐ /
std::string foldPunctuation(std::string_view text);

// The FTS5 query for typed text: each word a quoted prefix ("word"*), and a word
// with punctuation either as typed or folded ("ac/dc"* OR "acdc"*), all of them
// required; "" when the text holds no word.
std::string ftsQueryFor(const std::string& text);

}  // namespace lyrvox
