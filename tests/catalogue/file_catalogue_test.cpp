// The bad-input catalogue, Qt-free part: graphics files and names a player meets
// in other people's song folders, and disc images a converter meets. Each case
// states the exact outcome: what the user is told, the status line, and the
// files on disk before and after.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include "extract/converter.h"
#include "playback/disk_files.h"
#include "playback/playback_session.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/session/session_fakes.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;
using testing::bytesOf;
using testing::filesIn;
using testing::makeImage;
using testing::readFile;
using testing::RecordingConvertHost;
using testing::SmallDisk;
using testing::TempFolder;
using testing::writeFile;

long residentKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One song played from the real disk (or `files`) with a simulated clock and media control.
struct Playback {
    testing::World world;
    PlayerState state;
    testing::FakeHost host{world, state};
    DiskSessionFiles disk;

    void play(const std::string& chosen, SessionFiles* files = nullptr) {
        PlaybackSession(state, world.media, host, world, files ? *files : disk).DoCDGFile(chosen);
    }
    int packets() const { return state.machine.PacketCount; }
};

// Converts `source`; returns what the window showed.
RecordingConvertHost convert(const std::string& source) {
    RecordingConvertHost host;
    Converter(host).btnConvert_Click(source);
    return host;
}

using Strings = std::vector<std::string>;

// ---- Graphics files ---------------------------------------------------------

struct GraphicsCase {
    const char* name;
    std::size_t bytes;
    int packets;  // whole packets interpreted
};

class GraphicsFileLengths : public ::testing::TestWithParam<GraphicsCase> {};

TEST_P(GraphicsFileLengths, PlayTheirWholePacketsAndEndReady) {
    const GraphicsCase c = GetParam();
    TempFolder folder;
    writeFile(folder.path("song.cdg"), bytesOf(c.bytes));
    const auto before = filesIn(folder.path());
    Playback p;
    p.play(folder.path("song.cdg"));
    EXPECT_EQ(p.packets(), c.packets);
    EXPECT_EQ(p.host.statuses, (Strings{"Playing: song.CDG (only)", "Ready."}));
    EXPECT_TRUE(p.host.messages.empty());
    EXPECT_FALSE(p.state.ProFlag);
    EXPECT_EQ(filesIn(folder.path()), before);  // a player never writes a song's files
}

INSTANTIATE_TEST_SUITE_P(Catalogue, GraphicsFileLengths,
                         ::testing::Values(GraphicsCase{"empty", 0, 0},
                                           GraphicsCase{"one_byte", 1, 0},
                                           GraphicsCase{"23_bytes", 23, 0},
                                           GraphicsCase{"25_bytes", 25, 1},
                                           GraphicsCase{"random_96000_bytes", 96000, 4000}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

class GraphicsFileCatalogue : public ::testing::Test {
  protected:
    TempFolder folder;
    const std::string song = folder.path("song.cdg");
    Playback p;
};

TEST_F(GraphicsFileCatalogue, OneGigabyteOfZerosPlaysWithoutBeingLoaded) {
    writeFile(song, "");
    ASSERT_EQ(::truncate(song.c_str(), 1LL << 30), 0);  // sparse: no disk used
    const long residentBefore = residentKilobytes();
    p.host.onYield = [&](std::size_t n) {
        if (n == 20000) p.host.btnStop_Click();  // about four minutes of song
    };
    p.play(song);
    EXPECT_GE(p.packets(), 4 * 19000);
    EXPECT_EQ(p.host.statuses.back(), "Ready.");
    EXPECT_LT(residentKilobytes() - residentBefore, 50 * 1024);
}

TEST_F(GraphicsFileCatalogue, FolderNamedLikeASongIsNotAGraphicsFile) {
    fs::create_directory(song);
    p.world.media.unplayable.push_back(song);  // the media control refuses folders
    p.play(song);
    EXPECT_EQ(p.packets(), 0);
    EXPECT_EQ(p.host.statuses, (Strings{"Playing: song.cdg", "Ready.", "Cannot play: song.cdg"}));
    EXPECT_TRUE(fs::is_directory(song));
}

// A file that is found but cannot be opened: no permission when the tests run as
// an ordinary user; as root (who may read anything), the same outcome through a
// file that vanishes between the look-up and the open.
TEST_F(GraphicsFileCatalogue, UnreadableGraphicsFileIsReported) {
    writeFile(song, bytesOf(960));
    class VanishingFiles : public SessionFiles {
      public:
        DiskSessionFiles disk;
        std::optional<std::string> find(const std::string& path) override {
            auto found = disk.find(path);
            if (found && testing::runningAsRoot()) fs::remove(*found);
            return found;
        }
        std::unique_ptr<PacketSource> open(const std::string& path) override {
            return disk.open(path);
        }
    } files;
    if (!testing::runningAsRoot()) fs::permissions(song, fs::perms::none);
    p.play(song, &files);
    EXPECT_EQ(p.host.messages, Strings{"Cannot open the graphics file: " + song});
    EXPECT_EQ(p.host.statuses.back(), "Ready.");
    EXPECT_FALSE(p.state.ProFlag);
    EXPECT_EQ(p.packets(), 0);
}

TEST_F(GraphicsFileCatalogue, RemovedWhilePlayingPlaysToItsEnd) {
    writeFile(song, bytesOf(24 * 1200));
    p.host.onYield = [&](std::size_t n) {
        if (n == 10) fs::remove(song);  // the open file stays readable
    };
    p.play(song);
    EXPECT_EQ(p.packets(), 1200);
    EXPECT_EQ(p.host.statuses.back(), "Ready.");
    EXPECT_FALSE(fs::exists(song));
}

TEST_F(GraphicsFileCatalogue, SongOnAFullDiskPlays) {
    SmallDisk disk(256 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    const std::string songOnDisk = disk.path("song.cdg");
    writeFile(songOnDisk, bytesOf(24 * 300));
    disk.fill();
    p.play(songOnDisk);
    EXPECT_EQ(p.packets(), 300);
    EXPECT_EQ(p.host.statuses.back(), "Ready.");
}

// ---- Names ------------------------------------------------------------------

struct NameCase {
    const char* label;
    const char* folder;  // below the temporary folder
    const char* stem;
};

class AwkwardNames : public ::testing::TestWithParam<NameCase> {};

// Graphics and audio of one song under an awkward name are found together,
// whichever of the two is chosen, in whatever letter case the audio is.
TEST_P(AwkwardNames, FindTheirPartnersAndPlay) {
    const NameCase c = GetParam();
    TempFolder root;
    const std::string folder = root.path(c.folder);
    fs::create_directories(folder);
    const std::string graphics = folder + "/" + c.stem + ".cdg";
    const std::string audio = folder + "/" + c.stem + ".Mp3";
    writeFile(graphics, bytesOf(24 * 40));
    writeFile(audio, "not really audio");
    for (const std::string& chosen : {graphics, audio}) {
        Playback p;
        p.play(chosen);
        EXPECT_EQ(p.host.statuses.front(), std::string("Playing: ") + c.stem + ".MP3/CDG")
            << chosen;
        EXPECT_EQ(p.packets(), 40) << chosen;
        EXPECT_EQ(p.state.CDGFile, graphics);
        const auto& log = p.world.media.log;
        EXPECT_NE(std::find(log.begin(), log.end(), "FileName " + audio), log.end()) << chosen;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, AwkwardNames,
    ::testing::Values(NameCase{"spaces", "My Songs", "Hit Song 1"},
                      NameCase{"quotes", "quotes", "It's \"the\" one"},
                      NameCase{"hash_and_percent", "100% #1", "song #2 %20"},
                      NameCase{"non_ascii", "Lieder für Ännchen", "Café Ωmega"},
                      NameCase{"full_stops_in_folders", "my.songs/v1.2", "hit"},
                      NameCase{"hidden_folder", ".karaoke", "hit"},
                      NameCase{"leading_full_stop_in_name", "songs", "..hit"}),
    [](const auto& testInfo) { return std::string(testInfo.param.label); });

// ---- Disc images -------------------------------------------------------------

TEST(DiscImageCatalogue, EveryInvalidLengthIsRefusedAndWritesNothing) {
    for (std::size_t length : {1u, 95u, 96u, 2447u, 2449u, 4895u, 4897u, 2448u * 3 + 1}) {
        TempFolder folder;
        writeFile(folder.path("disc.bin"), std::string(length, 'x'));
        const auto before = filesIn(folder.path());
        const auto host = convert(folder.path("disc.bin"));
        EXPECT_EQ(host.messages, Strings{"Not a valid CDRWin CD+G file!"}) << length;
        EXPECT_EQ(host.caption, "Convert");
        EXPECT_EQ(filesIn(folder.path()), before) << length;
    }
}

TEST(DiscImageCatalogue, UnreadableImageIsReportedAndWritesNothing) {
    TempFolder folder;
    const std::string image = folder.path("disc.bin");
    if (testing::runningAsRoot()) {
        // Root reads anything: a name that exists as a folder stands in.
        fs::create_directory(image);
        EXPECT_EQ(convert(image).messages, Strings{"File not found!"});
    } else {
        writeFile(image, makeImage(2));
        fs::permissions(image, fs::perms::none);
        const auto messages = convert(image).messages;
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind("Cannot read the image: " + image, 0), 0u) << messages[0];
    }
    EXPECT_FALSE(fs::exists(folder.path("disc.cdg")));
}

TEST(DiscImageCatalogue, OutputOnAFullDiskIsReportedAndRemoved) {
    SmallDisk disk(64 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    TempFolder source;
    const std::string image = source.path("disc.bin");
    writeFile(image, makeImage(1000));  // 96,000 bytes of subcode: more than the disk holds
    // The image lives elsewhere; the output goes to the small disk through a link.
    const std::string linked = disk.path("disc.bin");
    fs::create_symlink(image, linked);
    EXPECT_EQ(convert(linked).messages,
              Strings{"Cannot write the output: " + disk.path("disc.cdg") +
                      " (No space left on device)"});
    EXPECT_FALSE(fs::exists(disk.path("disc.cdg")));
    EXPECT_EQ(readFile(image), makeImage(1000));
}

TEST(DiscImageCatalogue, OutputInAReadOnlyFolderIsReported) {
    SmallDisk disk(64 * 1024);
    if (!disk.mounted()) GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    const std::string image = disk.path("disc.bin");
    writeFile(image, makeImage(2));
    // Read-only for root too: remount the whole small disk read-only.
    ASSERT_EQ(::mount("tmpfs", disk.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_EQ(convert(image).messages, Strings{"Cannot write the output: " + disk.path("disc.cdg") +
                                               " (Read-only file system)"});
    EXPECT_EQ(filesIn(disk.path()).size(), 1u);
}

TEST(DiscImageCatalogue, OutputThatIsTheImageItselfIsRefused) {
    TempFolder folder;
    const std::string image = folder.path("x.cdg");
    writeFile(image, makeImage(3));
    EXPECT_EQ(convert(image).messages, Strings{"The output would overwrite the image: " + image});
    EXPECT_EQ(readFile(image), makeImage(3));
    EXPECT_EQ(filesIn(folder.path()).size(), 1u);
}

}  // namespace
}  // namespace lyrvox
