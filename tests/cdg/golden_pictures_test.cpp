// Golden pictures: the SHA-256 of the RGB24 picture after the first N packets from a session
// start. LYRVOX_REBASELINE=1 prints each entry's actual row instead of failing.
#include <gtest/gtest.h>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <tuple>

#include "playback/cdg/cdg_machine.h"
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
    const std::string actual = sha256Hex(reinterpret_cast<const uint8_t*>(rgb.data()), rgb.size());
    if (const char* r = std::getenv("LYRVOX_REBASELINE"); r && std::string(r) == "1") {
        std::cout << "    {\"" << file << "\", " << packets << ", \"" << actual << "\"},\n";
    } else if (actual != sha256) {  // the actual picture, as a binary PPM, for a person to see
        const std::string path = LYRVOX_TEST_OUTPUT_DIR "/" + name(GetParam()) + ".ppm";
        testing::writeFile(path, "P6\n300 216\n255\n" + rgb);
        ADD_FAILURE() << "hash " << actual << ", expected " << sha256 << "; picture in " << path;
    }
    if (std::string(file) == "demo") {  // the scrolls of every kind come round by its end
        interpretPackets(*machine, song.data() + size, song.size() - size);
        EXPECT_TRUE(machine->XOff == 0 && machine->YOff == 0) << "at the end of the demo song";
    }
}

INSTANTIATE_TEST_SUITE_P(Songs, GoldenPicture, ::testing::ValuesIn(kGolden),
                         [](const auto& param) { return name(param.param); });

}  // namespace
}  // namespace lyrvox
