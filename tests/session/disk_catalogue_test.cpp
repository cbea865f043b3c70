// Songs on the real disk (DiskSessionFiles) in a simulated world.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "playback/disk_files.h"
#include "playback/playback_session.h"
#include "support/session_world.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// One song played from the real disk; `at` runs inside the n-th serving.
struct Playback {
    void play(const std::string& chosen) {
        PlaybackSession(state, world.media, host, world, disk).play(chosen, false);
    }
    void at(std::size_t serving, std::function<void()> action) {
        host.onServe = [=](std::size_t n) {
            if (n == serving) action();
        };
    }
    testing::World world;
    PlayerState state;
    testing::FakeHost host{world, state};
    DiskSessionFiles disk;
};

// `bytes` random bytes, then `prepare`: whole packets play, nothing is loaded whole or written.
TEST(DiskCatalogue, GraphicsFilesOfEveryKind) {
    testing::TempFolder folder;
    const std::string song = folder.path("song.cdg");
    Playback* p = nullptr;
    const auto gigabyteOfZeros = [&] {  // sparse; Stopped after four minutes
        ASSERT_EQ(truncate(song.c_str(), 1LL << 30), 0);
        p->at(20000, [&] { p->host.sessionEnded(); });
    };
    const auto removedWhilePlaying = [&] { p->at(10, [&] { fs::remove(song); }); };
    // Found, not readable: no permission; for root, who reads anything, gone before the open.
    const auto unreadable = [&] {
        geteuid() ? fs::permissions(song, {}) : p->at(1, [&] { fs::remove(song); });
    };
    const auto folderOfThatName = [&] {
        fs::remove(song), fs::create_directory(song);
        p->world.media.unplayable = {song};  // the media control refuses it too
    };
    struct Case {
        std::size_t bytes;
        int packets;
        std::function<void()> prepare = nullptr;
        std::string message = "";
        Strings statuses = {"Playing: song.CDG (only)", "Ready."};
        int tolerance = 0;
    };
    std::vector<Case> cases = {
        {0, 80000, gigabyteOfZeros, "", {"Playing: song.CDG (only)", "Ready.", "Ready."}, 4000},
        {24 * 1200, 1200, removedWhilePlaying},  // the open file stays readable
        {960, 0, unreadable, "Cannot open the graphics file: " + song},
        {0, 0, folderOfThatName, "", {"Playing: song.cdg", "Ready.", "Cannot play: song.cdg"}},
    };
    for (auto [bytes, packets] : {std::pair{0, 0}, {1, 0}, {23, 0}, {25, 1}, {96000, 4000}})
        cases.push_back({static_cast<std::size_t>(bytes), packets});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        fs::remove_all(song);
        testing::writeFile(song, testing::randomBytes(c.bytes));
        const auto files = testing::filesIn(folder.path());
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        Playback playback;
        p = &playback;
        if (c.prepare) c.prepare();
        playback.play(song);
        getrusage(RUSAGE_SELF, &after);
        EXPECT_EQ(playback.host.statuses, c.statuses);
        EXPECT_EQ(playback.host.messages, c.message.empty() ? Strings{} : Strings{c.message});
        EXPECT_NEAR(playback.state.machine.PacketCount, c.packets, c.tolerance);
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 50 * 1024);  // kilobytes
        EXPECT_EQ(c.prepare ? files : testing::filesIn(folder.path()), files);
    }
}

// Graphics and audio under an awkward name find each other, whichever is chosen.
TEST(DiskCatalogue, AwkwardNamesFindTheirPartners) {
    for (const std::string name :
         {"My Songs/Hit Song 1", "quotes/It's \"the\" one", "100% #1/song #2 %20",
          "Lieder für Ännchen/Café Ωmega", "my.songs/v1.2/hit", ".karaoke/hit", "songs/..hit"}) {
        testing::TempFolder root;
        const std::string base = root.path(name), stem = fs::path(base).filename();
        fs::create_directories(fs::path(base).parent_path());
        testing::writeFile(base + ".cdg", testing::randomBytes(24 * 40));
        testing::writeFile(base + ".Mp3", std::string("not really audio"));
        for (const char* chosen : {".cdg", ".Mp3"}) {
            SCOPED_TRACE(base + chosen);
            Playback p;
            p.play(base + chosen);
            EXPECT_EQ(p.host.statuses.front(), "Playing: " + stem + ".MP3/CDG");
            EXPECT_EQ(p.world.media.calls.at(2), "open " + base + ".Mp3");
            EXPECT_TRUE(p.state.machine.PacketCount == 40 && p.state.graphicsFile == base + ".cdg");
        }
    }
}

}  // namespace
}  // namespace lyrvox
