// The demo song has what the real songs lack (horizontal scrolls, scroll copy), so
// its pictures are pinned; a failure writes the actual picture.
#include <gtest/gtest.h>

#include "playback/cdg_machine.h"
#include "tests/support/golden_picture.h"
#include "tools/demo_song/demo_song.h"

namespace lyrvox {
namespace {

struct Moment {
    int packets;
    const char* sha256;
};

// Lyrics shown, all lit, mid horizontal scrolls, after vertical scrolls, faded out.
const Moment kMoments[] = {
    {1500, "032bf97bf180003caafb83404dbab42183d781b1383755690bf612fb2201b175"},
    {5100, "2b70fecd5259b788667446ba03339f6da4a461970cd9519d0a2d754e9deb522f"},
    {6000, "2f38de6a5607847af49ed8366ddd9030afb1d89e0642a4ca4d3cd89e32b2241f"},
    {7200, "dec2facf81737dca2dc85e1ec6781606a7e9d5f0da3e3089343f12fa8d8c8ace"},
    {9000, "8306f4bef97b1428f294fda136d5d65d84c83d59922ca28a1028e491c542c695"},
};

TEST(DemoSongPictures, MatchThePinnedHashes) {
    const DemoSong song;
    CdgMachine machine;
    machine.beginSession();
    std::size_t next = 0;
    for (const Moment& moment : kMoments) {
        while (next < static_cast<std::size_t>(moment.packets) && next < song.packets().size())
            machine.InterpretPacket(song.packets()[next++]);
        const auto rgb = testing::pictureRgb24(machine);
        const std::string actual = testing::pictureSha256(rgb);
        if (actual != moment.sha256) {
            ADD_FAILURE() << "picture after " << moment.packets << " packets: " << actual
                          << ", written to "
                          << testing::writePpm("demo-" + std::to_string(moment.packets), rgb);
        }
    }
    // The scrolls of every kind bring the screen back to where it started.
    EXPECT_EQ(machine.XOff, 0);
    EXPECT_EQ(machine.YOff, 0);
}

}  // namespace
}  // namespace lyrvox
