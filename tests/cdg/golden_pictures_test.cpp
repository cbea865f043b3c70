// Golden pictures: the SHA-256 of the RGB24 picture after the first N packets from a session
// start, and of a synthetic song's transparent colours laid over a background.
// LYRVOX_REBASELINE=1 prints each entry's actual row instead of failing.
#include <gtest/gtest.h>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <tuple>

#include "display/picture_copy.h"
#include "playback/cdg/cdg_machine.h"
#include "playback/cdg/packet_encoder.h"
#include "support/test_files.h"
#include "tools/demo_song/demo_song.h"
#include "util/sha256.h"

namespace lyrvox {
namespace {

// Song (NAME.cdg in LYRVOX_CORPUS_DIR, or the generated "demo"), packets, SHA-256.
using Golden = std::tuple<const char*, int, const char*>;
std::string name(const Golden& g) {
    return std::string(std::get<0>(g)) + "_" + std::to_string(std::get<1>(g));
}

const Golden kGolden[] = {
    {"demokar", 9000, "f957e01ec26d98415bc78985717dd073dc8764b5d78202ac0cc275c6b79390a6"},
    {"demokar", 18000, "a43d1a23e7e74e6b217e1897d85b2ef44546c07cce7c0de978ea45947fee67de"},
    {"demokar", 27000, "87e8b9a95a7e28f9971129d2a278ba2a6eb6ce455cd780cebb372eeedcd932d0"},
    {"demokar", 36000, "a83515d93a35434da014314ed2968f66f7a2859468dc5c4c2eeacd73c973150d"},
    {"demokar", 45000, "8fe17e1c9edf08cbcd123d9ec01b0ab7b6ecfb0ab3ca83b610d78af4b777efbb"},
    {"composer04", 3300, "3b38a6b2f02b1bc54f56ed8aeef5f8fd800c4ab19bcefa52dca9379e9727e3da"},
    {"composer04", 4500, "2ffbab1912942eccf6ce309c93bb5a8b501df6989912982270f7db975b59500c"},
    {"composer04", 6000, "3077905e562fc1677c14d118d6edfa5d3cc703361a59628254396787b6bf1ef8"},
    {"composer04", 9000, "aad68944d541931051f49576442906dca532ceca5dd5cef90ad34587584b89e7"},
    {"composer04", 18000, "8306f4bef97b1428f294fda136d5d65d84c83d59922ca28a1028e491c542c695"},
    {"capemay", 1000, "d48a6e8dceb4dad9a55b82ea26eeaf1618134463bef5edb885953b2ac1f87886"},
    {"capemay", 2000, "f8ba782aa5e277c7c317ec77be61501bb6ce0a46f2a8ecaff027637f36708878"},
    {"capemay", 3000, "24f194f3e5052a003516b48336ea34b8668dbd14e3dca310e15c2070b47e59ed"},
    {"capemay", 4000, "3cfc2a8cbd51ae0f14ffa75b3f8085a3501c381ab5bca8a21c6c09aacb00eafa"},
    // The demo song has what the real songs lack: horizontal scrolls and scroll copy.
    {"demo", 1500, "032bf97bf180003caafb83404dbab42183d781b1383755690bf612fb2201b175"},
    {"demo", 5100, "2b70fecd5259b788667446ba03339f6da4a461970cd9519d0a2d754e9deb522f"},
    {"demo", 6000, "2f38de6a5607847af49ed8366ddd9030afb1d89e0642a4ca4d3cd89e32b2241f"},
    {"demo", 7200, "dec2facf81737dca2dc85e1ec6781606a7e9d5f0da3e3089343f12fa8d8c8ace"},
};

std::vector<uint8_t> songBytes(const std::string& song) {
    static const std::vector<uint8_t> demo = DemoSong().cdgFile();  // built once
    if (song == "demo") return demo;
    const std::string bytes = testing::readFile(LYRVOX_CORPUS_DIR "/" + song + ".cdg");
    return {bytes.begin(), bytes.end()};
}

// Compares `rgb` (width x height RGB24) with its golden hash; on a mismatch the picture is
// written as a binary PPM for a person to see. `row` is the table row printed on rebaseline.
void checkGolden(const std::string& caseName, const std::string& rgb, int width, int height,
                 const char* sha256, const std::string& rowStart) {
    const std::string actual = sha256Hex(reinterpret_cast<const uint8_t*>(rgb.data()), rgb.size());
    if (const char* r = std::getenv("LYRVOX_REBASELINE"); r && std::string(r) == "1") {
        std::cout << "    {" << rowStart << "\"" << actual << "\"},\n";
    } else if (actual != sha256) {
        const std::string path = LYRVOX_TEST_OUTPUT_DIR "/" + caseName + ".ppm";
        testing::writeFile(
            path, "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n" + rgb);
        ADD_FAILURE() << "hash " << actual << ", expected " << sha256 << "; picture in " << path;
    }
}

class GoldenPicture : public ::testing::TestWithParam<Golden> {};

TEST_P(GoldenPicture, MatchesItsHash) {
    const auto& [file, packets, sha256] = GetParam();
    const std::vector<uint8_t> song = songBytes(file);
    const std::size_t size = std::size_t(packets) * kPacketSize;
    ASSERT_GE(song.size(), size) << file << " missing or short in " << LYRVOX_CORPUS_DIR;
    auto machine = std::make_unique<CdgMachine>();
    machine->beginSession();
    interpretPackets(*machine, song.data(), size);
    std::string rgb(kScreenWidth * kScreenHeight * 3, '\0');
    machine->renderRgb24(reinterpret_cast<uint8_t*>(rgb.data()));
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "literal" + string.
    std::string rowStart = "\"";
    rowStart.append(file).append("\", ").append(std::to_string(packets)).append(", ");
    checkGolden(name(GetParam()), rgb, kScreenWidth, kScreenHeight, sha256, rowStart);
    if (std::string(file) == "demo") {  // the scrolls of every kind come round by its end
        interpretPackets(*machine, song.data() + size, song.size() - size);
        EXPECT_TRUE(machine->XOff == 0 && machine->YOff == 0) << "at the end of the demo song";
    }
}

INSTANTIATE_TEST_SUITE_P(Songs, GoldenPicture, ::testing::ValuesIn(kGolden),
                         [](const auto& param) { return name(param.param); });

// Composites: a synthetic song (white letters on colour 0, a blue border, a red box) whose
// colours are made transparent, laid over what lies behind at the display's size or larger.
enum class Behind { Solid, Gradient };
struct GoldenComposite {
    const char* name;
    bool songMarks;  // the song marks colour 0 transparent and the border half; else the option
    Behind behind;
    int width, height;
    const char* sha256;
};

const GoldenComposite kGoldenComposite[] = {
    {"marked_over_solid", true, Behind::Solid, 294, 204,
     "0e81cc688cb47b87961d78d28cd23c53728043d9c4c028cefc38d7afa4f8fed2"},
    {"marked_over_gradient", true, Behind::Gradient, 294, 204,
     "5ae5d8594d026fb0f9f16c3b10c43acbf132a1d2f9aa218a5581b8f5c76d8680"},
    {"preset_colour_over_gradient_doubled", false, Behind::Gradient, 588, 408,
     "510aeb439f0b1220f7abf3a8605d9c09a7e2ffc1f9f010ef7b12897cb77477b8"},
};

std::unique_ptr<CdgMachine> transparentSong(bool marks) {
    using namespace encode;
    auto m = std::make_unique<CdgMachine>();
    m->beginSession();
    const SubcodePacket packets[] = {
        loadColours(0, {Rgb4{0, 0, 0}, Rgb4{15, 15, 15}, Rgb4{15, 0, 0}, Rgb4{0, 0, 15}}),
        memoryPreset(0), borderPreset(3)};
    for (const SubcodePacket& p : packets) m->interpret(p);
    const std::array<uint8_t, 12> letter = {0x1E, 0x21, 0x21, 0x21, 0x3F, 0x21,
                                            0x21, 0x21, 0x21, 0x00, 0x00, 0x00};
    for (int col = 3; col < 45; ++col) m->interpret(tileBlock(0, 1, 8, col, letter));
    for (int col = 10; col < 20; ++col) m->interpret(solidTile(2, 12, col));
    if (marks) m->interpret(packet(28, {0x3F, 0, 0, 0x20}));
    return m;
}

class GoldenCompositePicture : public ::testing::TestWithParam<GoldenComposite> {};

TEST_P(GoldenCompositePicture, MatchesItsHash) {
    const GoldenComposite& c = GetParam();
    const auto machine = transparentSong(c.songMarks);
    const auto opacity = machine->opacityTable(/*backgroundTransparent=*/true);
    ASSERT_TRUE(CdgMachine::anyTransparent(opacity));
    const auto size = std::size_t(c.width) * std::size_t(c.height);
    std::vector<uint32_t> behind(size), out(size);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            behind[std::size_t(y * c.width + x)] =
                c.behind == Behind::Solid
                    ? 0x00336699u
                    : uint32_t((x * 255 / (c.width - 1)) << 16 | (y * 255 / (c.height - 1)) << 8 |
                               ((x ^ y) & 0xFF));
    compositeVisibleWindow(*machine, opacity, c.width, c.height, out.data(), c.width, behind.data(),
                           c.width);
    std::string rgb;
    rgb.reserve(size * 3);
    for (uint32_t p : out) {
        ASSERT_EQ(p >> 24, 0xFFu);
        rgb += char(p >> 16);
        rgb += char(p >> 8);
        rgb += char(p);
    }
    checkGolden(std::string("composite_") + c.name, rgb, c.width, c.height, c.sha256,
                std::string("\"") + c.name + "\", " + (c.songMarks ? "true" : "false") + ", " +
                    (c.behind == Behind::Solid ? "Behind::Solid" : "Behind::Gradient") + ", " +
                    std::to_string(c.width) + ", " + std::to_string(c.height) + ", ");
}

INSTANTIATE_TEST_SUITE_P(Songs, GoldenCompositePicture, ::testing::ValuesIn(kGoldenComposite),
                         [](const auto& param) { return std::string(param.param.name); });

// With every colour opaque the composite is the plain picture copy, whatever lies behind.
TEST(GoldenCompositePicture, OpaqueSongIsThePlainCopy) {
    const auto machine = transparentSong(false);
    std::vector<uint32_t> plain(294 * 204), composite(294 * 204), behind(294 * 204, 0x123456u);
    stretchVisibleWindow(*machine, 294, 204, plain.data(), 294);
    compositeVisibleWindow(*machine, machine->opacityTable(false), 294, 204, composite.data(), 294,
                           behind.data(), 294);
    EXPECT_EQ(plain, composite);
}

}  // namespace
}  // namespace lyrvox
