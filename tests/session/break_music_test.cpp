// The music between songs: its fades against a fake clock, its playlists, and the
// order it plays and passes over tracks in.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "playback/break_music.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

// One moment of a night: an event at `at` seconds (or none), then the level read.
enum class Event { None, SongStarts, SongEnds, Silence };
struct Moment {
    double at;
    Event event;
    double position;  // expected, linear in time
    bool fading;
    bool audible;
};
struct FadeCase {
    const char* name;
    double fadeSeconds;
    std::vector<Moment> moments;
};

class Fades : public ::testing::TestWithParam<FadeCase> {};

TEST_P(Fades, FollowTheSongsOnTheClock) {
    const FadeCase& c = GetParam();
    BreakMusic music(c.fadeSeconds);
    for (const Moment& m : c.moments) {
        SCOPED_TRACE("at " + std::to_string(m.at));
        if (m.event == Event::SongStarts) music.songStarted(m.at);
        if (m.event == Event::SongEnds) music.songEnded(m.at);
        if (m.event == Event::Silence) music.silence(m.at);
        EXPECT_NEAR(music.position(m.at), m.position, 1e-9);
        EXPECT_NEAR(music.gain(m.at), std::sin(m.position * std::numbers::pi / 2), 1e-9);
        EXPECT_EQ(music.fading(m.at), m.fading);
        EXPECT_EQ(music.audible(m.at), m.audible);
    }
}

INSTANTIATE_TEST_SUITE_P(
    BreakMusic, Fades,
    ::testing::Values(
        // Silent at first; the first break fades in over 3 s, a song fades it out over
        // 3 s to silence, where it stays (paused) until the song is over.
        FadeCase{"InAndOut",
                 3.0,
                 {{0.0, Event::None, 0.0, false, false},
                  {10.0, Event::SongEnds, 0.0, true, true},
                  {11.5, Event::None, 0.5, true, true},
                  {13.0, Event::None, 1.0, false, true},
                  {60.0, Event::SongStarts, 1.0, true, true},
                  {61.0, Event::None, 2.0 / 3, true, true},
                  {62.999, Event::None, 0.001 / 3, true, true},
                  {63.0, Event::None, 0.0, false, false},
                  {200.0, Event::None, 0.0, false, false},
                  {240.0, Event::SongEnds, 0.0, true, true},
                  {241.5, Event::None, 0.5, true, true}}},
        // A song starting in the middle of a fade-in turns it around from the level
        // reached: from 0.25 down to silence in 1 s (a quarter of the fade), never jumping.
        FadeCase{"ReversedMidFadeIn",
                 4.0,
                 {{0.0, Event::SongEnds, 0.0, true, true},
                  {1.0, Event::SongStarts, 0.25, true, true},
                  {1.5, Event::None, 0.125, true, true},
                  {2.0, Event::None, 0.0, false, false}}},
        // And a song over in the middle of a fade-out rises again from where it was.
        FadeCase{"ReversedMidFadeOut",
                 2.0,
                 {{0.0, Event::SongEnds, 0.0, true, true},
                  {5.0, Event::SongStarts, 1.0, true, true},
                  {6.0, Event::SongEnds, 0.5, true, true},
                  {6.5, Event::None, 0.75, true, true},
                  {7.0, Event::None, 1.0, false, true}}},
        // A repeated event does not restart its fade.
        FadeCase{"RepeatedEventsKeepTheirFade",
                 3.0,
                 {{0.0, Event::SongEnds, 0.0, true, true},
                  {1.5, Event::SongEnds, 0.5, true, true},
                  {3.0, Event::None, 1.0, false, true}}},
        // No fade: at once; silence (turned off) is immediate too.
        FadeCase{"NoFade",
                 0.0,
                 {{0.0, Event::SongEnds, 1.0, false, true},
                  {1.0, Event::SongStarts, 0.0, false, false},
                  {2.0, Event::SongEnds, 1.0, false, true}}},
        FadeCase{"SilenceIsImmediate",
                 3.0,
                 {{0.0, Event::SongEnds, 0.0, true, true},
                  {9.0, Event::Silence, 0.0, false, false},
                  {10.0, Event::None, 0.0, false, false}}}),
    [](const auto& test) { return std::string(test.param.name); });

// The equal-power curve: half way the power is half, and the gain never leaves 0..1.
TEST(BreakMusic, EqualPowerCurve) {
    const struct {
        double position, gain;
    } cases[] = {{-1.0, 0.0}, {0.0, 0.0}, {0.5, std::sqrt(0.5)}, {1.0, 1.0}, {2.0, 1.0}};
    for (const auto& c : cases) EXPECT_NEAR(equalPowerGain(c.position), c.gain, 1e-12);
}

// M3U playlists: comments and headers skipped, CR LF lines, relative paths from the
// playlist's folder, absolute ones and file URIs as they are (bytes kept); entries that
// are no readable file counted as missing, not listed.
TEST(BreakMusic, ParsesM3uPlaylists) {
    const std::set<std::string> existing = {"/music/a.mp3", "/music/sub/b.ogg", "/abs/c.flac",
                                            "/x y/\xE9t\xE9.mp3"};
    const auto readable = [&](const std::string& path) { return existing.count(path) > 0; };
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> paths;
        std::size_t missing;
    } cases[] = {
        {"plain", "a.mp3\nsub/b.ogg\n", {"/music/a.mp3", "/music/sub/b.ogg"}, 0},
        {"extended",
         "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:123,Artist - A\r\na.mp3\r\n\r\n  # "
         "note\r\n/abs/c.flac\r\n",
         {"/music/a.mp3", "/abs/c.flac"},
         0},
        {"missing", "gone.mp3\na.mp3\n/abs/gone.wav\n", {"/music/a.mp3"}, 2},
        {"uri and bytes",
         "file:///x%20y/%E9t%E9.mp3\n/x y/\xE9t\xE9.mp3\n",
         {"/x y/\xE9t\xE9.mp3", "/x y/\xE9t\xE9.mp3"},
         0},
        {"empty", "#EXTM3U\n", {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const BreakPlaylist list = parseM3u(c.text, "/music", readable);
        EXPECT_EQ(list.paths, c.paths);
        EXPECT_EQ(list.missing, c.missing);
    }
}

// On disk: a folder's audio files in byte order of their names (not others, not
// subfolders); a playlist file read against its own folder; a single file.
TEST(BreakMusic, LoadsFoldersAndPlaylistFiles) {
    const testing::TempFolder dir;
    for (const char* name : {"b.ogg", "A.mp3", "c.wav", "notes.txt", "list.m3u8"})
        testing::writeFile(dir.path(name), std::string("x"));
    std::filesystem::create_directory(dir.path("sub"));
    testing::writeFile(dir.path("sub/d.mp3"), std::string("x"));
    testing::writeFile(dir.path("sub/list.m3u"),
                       std::string("#EXTM3U\nd.mp3\n../c.wav\nnone.mp3\n"));

    const BreakPlaylist folder = loadBreakMusic(dir.path());
    EXPECT_EQ(folder.paths,
              (std::vector<std::string>{dir.path("A.mp3"), dir.path("b.ogg"), dir.path("c.wav")}));
    const BreakPlaylist playlist = loadBreakMusic(dir.path("sub/list.m3u"));
    EXPECT_EQ(playlist.paths,
              (std::vector<std::string>{dir.path("sub/d.mp3"), dir.path("sub/../c.wav")}));
    EXPECT_EQ(playlist.missing, 1U);
    EXPECT_EQ(loadBreakMusic(dir.path("c.wav")).paths, std::vector<std::string>{dir.path("c.wav")});
    EXPECT_EQ(loadBreakMusic(dir.path("nothing.m3u")).missing, 1U);
    EXPECT_TRUE(loadBreakMusic(dir.path("nothing")).paths.empty());
}

// Tracks play in order and round again; an unplayable one is passed over from then
// on; with every one unplayable nothing is left to play.
TEST(BreakMusic, PlaysInOrderAndPassesOverUnplayableTracks) {
    BreakMusic music;
    EXPECT_EQ(music.current(), nullptr);
    EXPECT_EQ(music.next(), nullptr);
    EXPECT_EQ(music.skipUnplayable(), nullptr);
    music.setPlaylist({"a", "b", "c"});
    const auto name = [](const std::string* path) { return path ? *path : std::string("-"); };
    EXPECT_EQ(name(music.current()), "a");
    EXPECT_EQ(name(music.next()), "b");
    EXPECT_EQ(name(music.skipUnplayable()), "c");  // b is bad
    EXPECT_EQ(name(music.next()), "a");
    EXPECT_EQ(name(music.next()), "c");  // b passed over
    EXPECT_EQ(music.unplayableCount(), 1U);
    EXPECT_EQ(name(music.skipUnplayable()), "a");
    EXPECT_EQ(name(music.next()), "a");  // the only one left, again
    EXPECT_EQ(name(music.skipUnplayable()), "-");
    EXPECT_EQ(music.current(), nullptr);
    EXPECT_EQ(music.unplayableCount(), 3U);
    music.setPlaylist({"d"});  // a new list starts afresh
    EXPECT_EQ(name(music.current()), "d");
    EXPECT_EQ(music.unplayableCount(), 0U);
}

}  // namespace
}  // namespace lyrvox
