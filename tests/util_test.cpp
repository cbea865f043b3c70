// Path parts, case-blind file finding, rounding, the time display and SHA-256.
#include <gtest/gtest.h>
#include <cfenv>
#include <cmath>
#include <tuple>

#include "support/test_files.h"
#include "util/rounding.h"
#include "util/settings_table.h"
#include "util/sha256.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

// Rows: path|folder|file name|extension|stem. The extension is looked for in the last
// component only; leading full stops belong to the name. Any length and bytes are safe.
TEST(TextHelpers, PathPartsAndLetterCase) {
    const std::string n(100000, 'a');  // far past any 16-bit position
    const std::string rows[] = {
        "/CDG/song.cdg|/CDG/|song.cdg|cdg|/CDG/song",
        "/CDG/|/CDG/|||/CDG/",
        "song.cdg||song.cdg|cdg|song",
        "/song.cdg||/song.cdg|cdg|/song",
        "||||",
        "/home/ann/my.songs/hit.cdg|/home/ann/my.songs/|hit.cdg|cdg|/home/ann/my.songs/hit",
        "a.b.c||a.b.c|c|a.b",
        "/k/Mr. Brightside.cdg|/k/|Mr. Brightside.cdg|cdg|/k/Mr. Brightside",
        "..hit||..hit||..hit",
        "song.||song.||song",
        ".cdg||.cdg||.cdg",
        "song||song||song",
        "/home/my.dir/song|/home/my.dir/|song||/home/my.dir/song",
        "/home/ann/.karaoke/song.CDG|/home/ann/.karaoke/|song.CDG|CDG|/home/ann/.karaoke/song",
        "/home/ann/.cdg|/home/ann/|.cdg||/home/ann/.cdg",
        "/songs/.hit.cdg|/songs/|.hit.cdg|cdg|/songs/.hit",
        "..hit.cdg||..hit.cdg|cdg|..hit",
        "...||...||...",
        "/" + n + "/" + n + ".cdg|/" + n + "/|" + n + ".cdg|cdg|/" + n + "/" + n,
        "/\xC3\x28/\xFF\xFE.\x80\xBF|/\xC3\x28/|\xFF\xFE.\x80\xBF|\x80\xBF|/\xC3\x28/\xFF\xFE"};
    for (const std::string& row : rows) {
        const std::string p = row.substr(0, row.find('|'));
        EXPECT_EQ(row, p + '|' + folderOf(p) + '|' + fileNameOf(p) + '|' + extensionOf(p) + '|' +
                           stripExtension(p));
    }
    EXPECT_EQ(toLowerAscii("ÉTÉ.CDG"), "ÉtÉ.cdg");  // UTF-8 bytes stay as they are
    EXPECT_TRUE(equalsIgnoreAsciiCase("Hi.C", "hI.c") && !equalsIgnoreAsciiCase("É", "é"));
}

// Rows: bytes | as printed. Valid UTF-8 stays; controls, stray and overlong bytes, surrogates
// and the backslash are escaped, each byte for itself.
TEST(TextHelpers, EscapeForTerminal) {
    const std::pair<std::string, std::string> rows[] = {
        {"Vol. 2/Été 🎤.cdg", "Vol. 2/Été 🎤.cdg"},
        {"\xE9t\xE9", "\\xE9t\\xE9"},
        {"a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e"},
        {std::string("\0\x1B[2J\x7F", 6), "\\x00\\x1B[2J\\x7F"},
        {"\xC2\x85|\xC2\xA0", "\\xC2\\x85|\xC2\xA0"},             // C1 control; no-break space
        {"\xC0\xAF|\xE0\x80\xAF", "\\xC0\\xAF|\\xE0\\x80\\xAF"},  // overlong
        {"\xED\xA0\x80|\xF4\x90\x80\x80", "\\xED\\xA0\\x80|\\xF4\\x90\\x80\\x80"},
        {"\xE2\x82|\xF0\x9F\x8E", "\\xE2\\x82|\\xF0\\x9F\\x8E"}};  // cut short
    for (const auto& [bytes, shown] : rows) EXPECT_EQ(escapeForTerminal(bytes), shown) << shown;
}

// An exact match first, then byte order; names with a leading full stop are found.
TEST(TextHelpers, FindFileIgnoreCase) {
    const testing::TempFolder dir;
    for (auto name : {"Song.CDG", "track.Mp3", "TRACK.mp3", "both.cdg", "Both.cdg", ".Hidden.cdg"})
        testing::writeFile(dir.path(name), std::string("x"));
    std::filesystem::create_directory(dir.path("Folder.bin"));
    const std::pair<std::string, const char*> cases[] = {
        {"song.cdg", "Song.CDG"},   {"SONG.cdg", "Song.CDG"},
        {"both.cdg", "both.cdg"},   {"BOTH.CDG", "Both.cdg"},
        {"track.mp3", "TRACK.mp3"}, {".hidden.cdg", ".Hidden.cdg"},
        {"song.cd", nullptr},       {"folder.bin", nullptr},  // folders are not files
        {"*.cdg", nullptr},         {"", nullptr},
        {"\xFF\xFE.cdg", nullptr},  {std::string(100000, 'a'), nullptr}};
    for (const auto& [asked, found] : cases)
        EXPECT_EQ(findFileIgnoreCase(dir.path(asked)).value_or("none"),
                  found ? dir.path(found) : "none")
            << asked.substr(0, 40);
    EXPECT_FALSE(findFileIgnoreCase("").has_value());
}

// Halves go to the even neighbour in any rounding mode; the time display carries 60 s.
TEST(TextHelpers, RoundingAndPacketsToTime) {
    const double inf = HUGE_VAL;
    constexpr int32_t kMax = INT32_MAX, kMin = INT32_MIN;
    const std::tuple<double, double, int32_t> cases[] = {
        {0.5, 0, 0},      {1.5, 2, 2},        {2.5, 2, 2},      {-0.5, 0, 0},
        {-1.5, -2, -2},   {-2.5, -2, -2},     {2.4999, 2, 2},   {-2.6, -3, -3},
        {3e9, 3e9, kMax}, {-3e9, -3e9, kMin}, {inf, inf, kMax}, {-inf, -inf, kMin}};
    std::fesetround(FE_UPWARD);
    for (const auto& [value, rounded, clamped] : cases) {
        EXPECT_EQ(roundHalfEven(value), rounded) << value;
        EXPECT_EQ(roundHalfEvenToInt32(value), clamped) << value;
    }
    std::fesetround(FE_TONEAREST);
    EXPECT_TRUE(std::isnan(roundHalfEven(std::nan(""))) && roundHalfEvenToInt32(std::nan("")) == 0);
    const std::pair<double, const char*> times[] = {
        {0, "00:00"},          {300, "00:01"},   {18000, "01:00"},    {150, "00:00"},
        {450, "00:02"},        {750, "00:02"},   {1800000, "100:00"}, {17999, "01:00"},
        {89999, "05:00"},      {17850, "01:00"}, {17849, "00:59"},    {9846000, "547:00"},
        {18000000, "1000:00"}, {-1, "00:00"},    {-18000, "00:00"},   {std::nan(""), "00:00"}};
    for (const auto& [packets, text] : times) EXPECT_EQ(packetsToTime(packets), text) << packets;
}

TEST(Sha256, StandardTestVectors) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"}};
    for (const auto& [text, digest] : cases)
        EXPECT_EQ(sha256Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size()), digest);
}

// What a kept text stands for: the default when absent or not a number, then
// brought into the setting's range (the host's pause goes up to a minute).
TEST(SettingsTable, StoredTextsReadWithinTheirRange) {
    struct Case {
        const Setting& setting;
        std::optional<std::string> stored;
        int expected;
    };
    const Case cases[] = {
        {settings::kQueuePauseSeconds, std::nullopt, 5},
        {settings::kQueuePauseSeconds, "60", 60},
        {settings::kQueuePauseSeconds, "61", 60},
        {settings::kQueuePauseSeconds, "-3", 0},
        {settings::kQueuePauseSeconds, "ten", 5},
        {settings::kLoudnessTargetLufs, "-40", -30},
    };
    for (const Case& c : cases)
        EXPECT_EQ(settingNumber(c.setting, c.stored), c.expected)
            << c.setting.key << " " << c.stored.value_or("(none)");
}

}  // namespace
}  // namespace lyrvox
