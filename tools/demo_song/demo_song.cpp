#include "tools/demo_song/demo_song.h"

#include <cstdlib>
#include <string_view>

#include "playback/cdg/packet_encoder.h"

namespace lyrvox {

namespace {

constexpr int kSecond = 300;  // packets

// Colour indices of the song.
constexpr int kBackground = 0;
constexpr int kText = 1;
constexpr int kHighlight = 2;
constexpr int kTitle = 3;
constexpr int kBorder = 4;
constexpr int kBand = 5;
constexpr int kBandAlt = 6;
constexpr int kFirstStripe = 8;  // 8 to 15: the stripe colours

constexpr const char* kLyrics[] = {
    "Sing along with Lyrvox",
    "every word lights up",
    "in time with the tune",
    "and now we scroll away",
};
// One note per word, and the bass note under each line.
constexpr int kWordNotes[4][5] = {
    {60, 64, 67, 72, 0}, {69, 67, 64, 67, 0}, {65, 69, 67, 64, 60}, {62, 65, 64, 62, 60}};
constexpr int kLineBass[] = {48, 53, 55, 48};

constexpr int kLyricsStart = 1650;  // first lit word, 5.5 s
constexpr int kLinePackets = 900;   // 3 s per line of lyrics

// x of a text that starts on a tile edge and stands about in the middle.
int centredTileX(std::string_view text, int scale) {
    const int width = static_cast<int>(text.size()) * TileCanvas::advance(scale);
    return (kScreenWidth - width) / 2 / kTileWidth * kTileWidth;
}

std::vector<std::string_view> wordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        const std::size_t end = std::min(line.find(' ', i), line.size());
        words.push_back(line.substr(i, end - i));
        i = end + 1;
    }
    return words;
}

}  // namespace

DemoSong::DemoSong() {
    packets_.reserve(kPackets);
    palette_ = {{{0, 0, 4},     // background: deep blue
                 {15, 15, 15},  // lyrics
                 {15, 13, 0},   // lit lyrics
                 {15, 7, 1},    // title
                 {2, 4, 9},     // border
                 {10, 2, 6},    // band
                 {1, 9, 6},     // second band colour
                 {6, 6, 6},
                 {15, 0, 0},
                 {15, 8, 0},
                 {15, 15, 0},
                 {0, 12, 0},
                 {0, 12, 12},
                 {0, 6, 15},
                 {8, 0, 15},
                 {15, 0, 12}}};
    titleCard();
    lyrics();
    horizontalScrolls();
    verticalScrolls();
    farewell();
    waitUntil(kPackets);
}

std::vector<uint8_t> DemoSong::cdgFile() const {
    std::vector<uint8_t> file;
    file.reserve(packets_.size() * kPacketSize);
    for (const SubcodePacket& p : packets_) encode::append(file, p);
    return file;
}

std::vector<uint8_t> DemoSong::wavFile() const {
    return Melody::wavFile(Melody::render(notes_, kPackets));
}

void DemoSong::waitUntil(int packet) {
    if (static_cast<int>(packets_.size()) > packet) {
        throw std::logic_error("demo song: a section runs past packet " + std::to_string(packet) +
                               " (now at " + std::to_string(packets_.size()) + ")");
    }
    packets_.resize(static_cast<std::size_t>(packet), encode::emptyPacket());
}

void DemoSong::emit(const SubcodePacket& packet, int spacing) {
    packets_.push_back(packet);
    // Nothing happens in between: empty packets keep the time.
    for (int i = 1; i < spacing; ++i) packets_.push_back(encode::emptyPacket());
}

void DemoSong::note(int startPacket, int lengthPackets, int midiNote, double level) {
    notes_.push_back({startPacket, lengthPackets, midiNote, level});
}

void DemoSong::loadColours(const std::array<Level, 16>& table, bool upperHalf) {
    for (int base = 0; base < (upperHalf ? 16 : 8); base += 8) {
        std::array<encode::Rgb4, 8> eight{};
        for (int k = 0; k < 8; ++k) {
            const Level& c = table[static_cast<std::size_t>(base + k)];
            eight[static_cast<std::size_t>(k)] = {c.r, c.g, c.b};
        }
        emit(encode::loadColours(base, eight));
    }
}

void DemoSong::clearScreen(int colour, int borderColour) {
    // As on disc: sixteen memory presets counting their repeats, then the border.
    for (int repeat = 0; repeat < 16; ++repeat) emit(encode::memoryPreset(colour, repeat));
    emit(encode::borderPreset(borderColour));
}

void DemoSong::drawTiles(const TileCanvas& canvas, int rowFrom, int rowTo, int colFrom, int colTo,
                         int colour0, int colour1, bool xorMode, bool skipEmpty) {
    for (int row = rowFrom; row <= rowTo; ++row) {
        for (int col = colFrom; col <= colTo; ++col) {
            if (skipEmpty && canvas.tileEmpty(row, col)) continue;
            emit(encode::tileBlock(colour0, colour1, row, col, canvas.tile(row, col), xorMode));
        }
    }
}

void DemoSong::scrollStep(bool copy, int fill, Way way, int spacing) {
    using encode::scroll;
    // Offsets run towards the coarse step (or away from it after it) so that the
    // picture seems to glide one pixel (two rows vertically) per packet.
    switch (way) {
        case Way::Left:
            for (int h = 1; h <= 5; ++h) emit(scroll(copy, fill, 0, h, 0, 0), spacing);
            emit(scroll(copy, fill, 2, 0, 0, 0), spacing);
            break;
        case Way::Right:
            emit(scroll(copy, fill, 1, 5, 0, 0), spacing);
            for (int h = 4; h >= 0; --h) emit(scroll(copy, fill, 0, h, 0, 0), spacing);
            break;
        case Way::Up:
            for (int v = 2; v <= 10; v += 2) emit(scroll(copy, fill, 0, 0, 0, v), spacing);
            emit(scroll(copy, fill, 0, 0, 2, 0), spacing);
            break;
        case Way::Down:
            emit(scroll(copy, fill, 0, 0, 1, 10), spacing);
            for (int v = 8; v >= 0; v -= 2) emit(scroll(copy, fill, 0, 0, 0, v), spacing);
            break;
    }
}

void DemoSong::titleCard() {
    loadColours(palette_);
    clearScreen(kBackground, kBorder);

    waitUntil(30);
    TileCanvas canvas;
    canvas.drawText(centredTileX("Lyrvox", 3), 60, "Lyrvox", 3);
    drawTiles(canvas, 5, 7, 0, 49, kBackground, kTitle, false, true);
    canvas.clear();
    canvas.drawText(centredTileX("demo song", 2), 113, "demo song", 2);
    drawTiles(canvas, 9, 10, 0, 49, kBackground, kText, false, true);

    // Fanfare, then a held chord.
    const int fanfare[] = {60, 64, 67, 72};
    for (int i = 0; i < 4; ++i) note(30 + i * 45, 40, fanfare[i], 0.35);
    for (int n : {60, 64, 67, 48}) note(210, 240, n, 0.18);

    // The title's colour dims and comes back, one colour load each 0.1 s.
    waitUntil(480);
    for (int step = 0; step <= 20; ++step) {
        std::array<Level, 16> table = palette_;
        const int percent = std::abs(10 - step) * 10;
        Level& title = table[kTitle];
        title = {title.r * percent / 100, title.g * percent / 100, title.b * percent / 100};
        loadColours(table, false);
        waitUntil(480 + (step + 1) * 30);
    }
    note(600, 150, 67, 0.25);
    note(780, 150, 65, 0.25);
    note(960, 200, 64, 0.25);
}

void DemoSong::lyrics() {
    waitUntil(4 * kSecond);
    clearScreen(kBackground, kBorder);
    const int lineCount = static_cast<int>(std::size(kLyrics));
    std::vector<TileCanvas> lines(static_cast<std::size_t>(lineCount));
    for (int i = 0; i < lineCount; ++i) {
        const int row = 3 + 3 * i;  // each line takes two tile rows
        lines[static_cast<std::size_t>(i)].drawText(centredTileX(kLyrics[i], 2), row * 12 + 5,
                                                    kLyrics[i], 2);
        drawTiles(lines[static_cast<std::size_t>(i)], row, row + 1, 0, 49, kBackground, kText,
                  false, true);
    }

    for (int i = 0; i < lineCount; ++i) {
        const std::string_view line = kLyrics[i];
        const int row = 3 + 3 * i;
        const int lineStart = kLyricsStart + i * kLinePackets;
        const int firstColumn = centredTileX(line, 2) / kTileWidth;
        const auto words = wordsOf(line);
        const int slot = (kLinePackets - 60) / static_cast<int>(words.size());
        note(lineStart, kLinePackets - 40, kLineBass[i], 0.2);
        for (std::size_t w = 0; w < words.size(); ++w) {
            const int start = lineStart + static_cast<int>(w) * slot;
            waitUntil(start);
            note(start, slot - 15, kWordNotes[i][w], 0.35);
            // Each glyph is two tiles wide. Lines 1 and 3 light their words with
            // XOR tiles (white ^ 3 = yellow), lines 2 and 4 by drawing them again.
            const auto firstChar = static_cast<int>(words[w].data() - line.data());
            const int colFrom = firstColumn + 2 * firstChar;
            const int colTo = colFrom + 2 * static_cast<int>(words[w].size()) - 1;
            const bool xorMode = i % 2 == 0;
            drawTiles(lines[static_cast<std::size_t>(i)], row, row + 1, colFrom, colTo, kBackground,
                      xorMode ? (kText ^ kHighlight) : kHighlight, xorMode, true);
        }
    }
}

void DemoSong::horizontalScrolls() {
    const int start = kLyricsStart + 4 * kLinePackets;  // 17.5 s
    waitUntil(start);
    clearScreen(kBackground, kBorder);
    // Two rows of coloured stripes and a band with text: every scroll shows.
    for (int row : {4, 13}) {
        for (int col = 0; col < 50; ++col) {
            emit(encode::solidTile(kFirstStripe + (col + row) % 8, row, col));
        }
    }
    TileCanvas band;
    band.drawText(centredTileX("<< Lyrvox >>", 2), 7 * 12 + 17, "<< Lyrvox >>", 2);
    drawTiles(band, 7, 10, 0, 49, kBand, kText, false, false);

    int at = start + 330;
    waitUntil(at);
    struct Run {
        bool copy;
        int fill;
        Way way;
        int steps;
    };
    const Run runs[] = {{false, kBand, Way::Left, 4},
                        {false, kBandAlt, Way::Right, 4},
                        {true, 0, Way::Left, 6},
                        {true, 0, Way::Right, 6}};
    const int scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    int step = 0;
    for (const Run& run : runs) {
        for (int s = 0; s < run.steps; ++s, ++step) {
            // Up the scale and back down again, one note per coarse step.
            const int degree = step < 8 ? step : (step < 16 ? 15 - step : step - 16);
            note(at, 30, scale[degree % 8], 0.3);
            scrollStep(run.copy, run.fill, run.way, 6);
            at += 36;
        }
    }
}

void DemoSong::verticalScrolls() {
    int at = 21 * kSecond;
    waitUntil(at);
    const int arpeggio[] = {60, 64, 67, 72, 67, 64};
    struct Run {
        bool copy;
        int fill;
        Way way;
        int steps;
    };
    // Eighteen scroll copies up carry the whole screen once round and back; the
    // rest go back and forth and end with the origin where it started.
    const Run runs[] = {{true, 0, Way::Up, 18},
                        {false, kBandAlt, Way::Down, 3},
                        {false, kBand, Way::Up, 3},
                        {true, 0, Way::Down, 3},
                        {true, 0, Way::Up, 3}};
    int step = 0;
    for (const Run& run : runs) {
        for (int s = 0; s < run.steps; ++s, ++step) {
            note(at, 25, arpeggio[step % 6] + (step >= 18 && step < 27 ? 5 : 0), 0.28);
            scrollStep(run.copy, run.fill, run.way, 5);
            at += 30;
        }
    }
}

void DemoSong::farewell() {
    waitUntil(24 * kSecond);
    clearScreen(kBackground, kBorder);
    TileCanvas canvas;
    canvas.drawText(centredTileX("Thanks for", 2), 6 * 12 + 5, "Thanks for", 2);
    canvas.drawText(centredTileX("singing!", 2), 9 * 12 + 5, "singing!", 2);
    drawTiles(canvas, 6, 10, 0, 49, kBackground, kHighlight, false, true);
    note(24 * kSecond, 80, 67, 0.35);
    note(24 * kSecond + 90, 80, 64, 0.35);
    note(24 * kSecond + 180, 80, 62, 0.35);
    for (int n : {48, 60, 64, 67, 72}) note(25 * kSecond, 900, n, 0.16);

    // Fade to black: ten colour loads of both halves, 0.15 s apart.
    const int fadeStart = 27 * kSecond;
    for (int k = 9; k >= 0; --k) {
        waitUntil(fadeStart + (9 - k) * 45);
        std::array<Level, 16> table{};
        for (std::size_t i = 0; i < table.size(); ++i) {
            const Level& c = palette_[i];
            table[i] = {c.r * k / 10, c.g * k / 10, c.b * k / 10};
        }
        loadColours(table);
    }
    note(fadeStart, 500, 60, 0.12);
    waitUntil(29 * kSecond);
    clearScreen(kBackground, kBackground);
}

}  // namespace lyrvox
