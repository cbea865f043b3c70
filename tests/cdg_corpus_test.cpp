// Real songs against reference picture hashes; a failure writes the actual picture.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "playback/cdg_machine.h"
#include "tests/support/golden_picture.h"

namespace lyrvox {
namespace {

using namespace lyrvox::testing;

struct Reference {
    const char* file;
    int packets;
    const char* sha256;
};

// Pictures after the first N packets from a fresh session start, as RGB24.
const Reference kReferences[] = {
    {"demokar.cdg", 9000, "f957e01ec26d98415bc78985717dd073dc8764b5d78202ac0cc275c6b79390a6"},
    {"demokar.cdg", 18000, "a43d1a23e7e74e6b217e1897d85b2ef44546c07cce7c0de978ea45947fee67de"},
    {"demokar.cdg", 27000, "87e8b9a95a7e28f9971129d2a278ba2a6eb6ce455cd780cebb372eeedcd932d0"},
    {"demokar.cdg", 36000, "a83515d93a35434da014314ed2968f66f7a2859468dc5c4c2eeacd73c973150d"},
    {"demokar.cdg", 45000, "8fe17e1c9edf08cbcd123d9ec01b0ab7b6ecfb0ab3ca83b610d78af4b777efbb"},
    {"composer04.cdg", 3300, "3b38a6b2f02b1bc54f56ed8aeef5f8fd800c4ab19bcefa52dca9379e9727e3da"},
    {"composer04.cdg", 4500, "2ffbab1912942eccf6ce309c93bb5a8b501df6989912982270f7db975b59500c"},
    {"composer04.cdg", 6000, "3077905e562fc1677c14d118d6edfa5d3cc703361a59628254396787b6bf1ef8"},
    {"composer04.cdg", 9000, "aad68944d541931051f49576442906dca532ceca5dd5cef90ad34587584b89e7"},
    {"composer04.cdg", 18000, "8306f4bef97b1428f294fda136d5d65d84c83d59922ca28a1028e491c542c695"},
    {"capemay.cdg", 1000, "d48a6e8dceb4dad9a55b82ea26eeaf1618134463bef5edb885953b2ac1f87886"},
    {"capemay.cdg", 2000, "f8ba782aa5e277c7c317ec77be61501bb6ce0a46f2a8ecaff027637f36708878"},
    {"capemay.cdg", 3000, "24f194f3e5052a003516b48336ea34b8668dbd14e3dca310e15c2070b47e59ed"},
    {"capemay.cdg", 4000, "3cfc2a8cbd51ae0f14ffa75b3f8085a3501c381ab5bca8a21c6c09aacb00eafa"},
};

std::vector<uint8_t> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string nameOf(const Reference& ref) {
    const std::string file = ref.file;
    return file.substr(0, file.find('.')) + "_" + std::to_string(ref.packets);
}

class CorpusPicture : public ::testing::TestWithParam<Reference> {};

TEST_P(CorpusPicture, MatchesTheReferenceHash) {
    const Reference& ref = GetParam();
    const std::vector<uint8_t> file = readWhole(std::string(LYRVOX_CORPUS_DIR) + "/" + ref.file);
    ASSERT_GE(file.size(), static_cast<std::size_t>(ref.packets) * kPacketSize)
        << ref.file << " missing or short in " << LYRVOX_CORPUS_DIR;
    auto machine = std::make_unique<CdgMachine>();
    machine->beginSession();
    for (int i = 0; i < ref.packets; ++i)
        machine->InterpretPacket(
            packetFromBytes(file.data() + static_cast<std::size_t>(i) * kPacketSize));
    EXPECT_EQ(machine->PacketCount, ref.packets);
    const std::vector<uint8_t> rgb = pictureRgb24(*machine);
    const std::string actual = pictureSha256(rgb);
    if (actual != ref.sha256)
        ADD_FAILURE() << nameOf(ref) << ": hash " << actual << ", expected " << ref.sha256
                      << "; actual picture in " << writePpm(nameOf(ref), rgb);
}

INSTANTIATE_TEST_SUITE_P(Songs, CorpusPicture, ::testing::ValuesIn(kReferences),
                         [](const auto& param) { return nameOf(param.param); });

}  // namespace
}  // namespace lyrvox
