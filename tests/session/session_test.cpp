// The playback session in a simulated world, the song's files, and the media's status.
#include "playback/playback_session.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cmath>
#include <functional>

#include "playback/disk_files.h"
#include "playback/media/media_status.h"
#include "playback/media/position_smoother.h"
#include "playback/song_files.h"
#include "support/session_world.h"
#include "support/test_files.h"
#include "support/zip_maker.h"

namespace lyrvox {
namespace {

using Strings = std::vector<std::string>;

TEST(SongFiles, PartnersAndStatusFollowTheFilesPresent) {
    // Chosen file, files present, "graphics|audio" found by real name, and the status.
    const std::tuple<const char*, Strings, const char*> cases[] = {
        {"a.mp3", {"a.CDG", "a.MP3"}, "a.CDG|a.MP3 paced|Playing: a.MP3/CDG"},
        {"b.cdg", {"b.cdg", "b.rw", "b.wav", "b.mp3"}, "b.rw|b.mp3 paced|Playing: b.MP3/RW"},
        {"HIT.cdg", {"hit.Cdg", "hit.wAv"}, "hit.Cdg|hit.wAv paced|Playing: HIT.WAV/CDG"},
        {"c.cdg", {"c.cdg"}, "c.cdg||Playing: c.CDG (only)"},
        {"d.wav", {"d.wav"}, "|d.wav paced|Playing: d.WAV"},
        {"clip.avi", {}, "|clip.avi|Playing: clip.avi"},  // other media are played themselves
        {"a.b/e.cdg", {"a.b/e.cdg", "a.b/e.mp3"}, "a.b/e.cdg|a.b/e.mp3 paced|Playing: e.MP3/CDG"},
        {"Mr. X.cdg",
         {"Mr. X.cdg", "Mr. X.mp3"},
         "Mr. X.cdg|Mr. X.mp3 paced|Playing: Mr. X.MP3/CDG"},
    };
    for (const auto& [chosen, present, expected] : cases) {
        testing::FakeFiles files;
        files.addSong("", present, 1);
        const SongFiles song = findSongFiles(chosen, files);
        EXPECT_EQ(song.graphics + "|" + song.audio + (song.audioPaces ? " paced|" : "|") +
                      playingStatus(chosen, song),
                  expected);
    }
}

// One session, on the simulated disk or the real one. play() runs a song to its end on
// the simulated clock, recording packets, target and the wait asked for after each pass
// (index 0: before the first), and runs `at(n)` after pass n.
struct Rig {
    explicit Rig(bool realDisk = false) : onDisk(realDisk) {}
    void play(const std::string& chosen, std::function<void(std::size_t)> at = {}) {
        session.play(chosen, alt);
        record();
        host.run(session, [this, at](std::size_t n) {
            record();
            if (n > 100000) session.stop();  // stuck: end it, to fail, not hang
            if (at) at(n);
        });
    }
    void record() {
        counts.push_back(packets());
        targets.push_back(state().targetPacket);
        waits.push_back(host.dueMs ? *host.dueMs - world.nowMs() : -1.0);
    }
    int32_t packets() const { return session.state().machine.PacketCount; }
    PlayerState& state() { return session.state(); }
    bool idle() const { return session.transport() == Transport::Idle && files.openNow == 0; }
    testing::World world;
    testing::FakeHost host{world};
    testing::FakeFiles files;
    struct Disk : DiskSessionFiles {
        std::function<void(const std::string&)> beforeOpen = [](const std::string&) {};
        std::unique_ptr<PacketSource> open(const std::string& path) override {
            beforeOpen(path);
            return DiskSessionFiles::open(path);
        }
    } disk;
    bool onDisk;
    PlaybackSession session{world.media, host, world,
                            onDisk ? static_cast<SessionFiles&>(disk) : files};
    bool alt = false;                      // the alternative device
    std::vector<int32_t> counts, targets;  // after each pass
    std::vector<double> waits;             // ms asked for by each pass
};
class SessionTest : public ::testing::Test, public Rig {};

// A whole song; paused after passes 100-150, the audio a second ahead after pass 300.
TEST_F(SessionTest, AudioPacesOneBatchAheadAtMostWaitsAndCatchesUp) {
    files.addSong("/songs/Pace", {".Cdg", ".mp3"}, 3000);
    alt = true;
    state().machine.colourTable[5] = 0xFFF;  // left by an earlier song: starts black again
    play("/songs/pace.cdg", [&](std::size_t n) {
        if (n == 100) session.pause();
        if (n == 150) session.resume();
        if (n == 300) world.media.position += 1000.0;
    });
    EXPECT_EQ(world.media.calls, (Strings{"stop", "close", "open /songs/Pace.mp3 alt", "play",
                                          "pause", "play", "stop", "close"}));
    EXPECT_EQ(host.statuses, (Strings{"Playing: pace.MP3/CDG", "Ready."}));
    EXPECT_EQ(files.log, (Strings{"open /songs/Pace.Cdg", "close /songs/Pace.Cdg"}));
    EXPECT_EQ(counts.at(102), counts.at(150));  // paused: frozen
    int idlePasses = 0, passesBehind = 0;
    for (std::size_t i = 1; i + 1 < counts.size(); ++i) {  // the last pass ended the song
        SCOPED_TRACE(i);
        const int32_t batch = counts[i] - counts[i - 1];
        EXPECT_LE(counts[i], targets[i] + kPacketsPerBatch);
        EXPECT_LE(batch, kPacketsPerBatch);
        EXPECT_EQ(waits[i] == 0.0, counts[i] <= targets[i]);  // no wait while behind
        passesBehind += waits[i] == 0.0;
        idlePasses += batch == 0 && (i < 100 || i > 151);
    }
    EXPECT_GE(passesBehind, 70);  // for the second the audio jumped: 300 packets, 4 a pass
    EXPECT_LE(idlePasses, 10);    // no spinning: almost every wake-up finds a batch due
    EXPECT_EQ(packets(), 3000);
    EXPECT_EQ(state().machine.colourTable, decltype(state().machine.colourTable){});
    EXPECT_NEAR(targets.back(), 3000, 4);  // 3000 packets take 10 s of audio
    const double ms = kMsPerPacket;        // targets: the nearest packet, halves to even
    EXPECT_EQ(std::tuple(ms, packetTarget(2.5 * ms), packetTarget(3.5 * ms),
                         packetTarget(-1.5 * ms), packetTarget(1e12)),
              std::tuple(3.3333332538604736, 2, 4, -2, INT32_MAX));
}

// The offset shifts the picture's play time: +200 ms is 60 packets behind the sound, -200
// ahead; a change mid-song applies at once and never takes drawn packets back.
TEST_F(SessionTest, OffsetShiftsTheTargetEitherWayAtOnce) {
    files.addSong("/s/o", {".cdg", ".mp3"}, 3000);
    std::vector<double> positions;  // the sound's, after each pass
    play("/s/o.cdg", [&](std::size_t n) {
        positions.push_back(world.media.position);
        if (n == 100) session.setOffsetMs(200);
        if (n == 200) session.setOffsetMs(-200);
        if (n == 100 || n == 200) {
            EXPECT_EQ(host.dueMs, world.nowMs());  // a pass at once
        }
    });
    for (std::size_t i = 1; i < positions.size(); ++i) {
        SCOPED_TRACE(i);
        const int offset = i <= 100 ? 0 : i <= 200 ? 200 : -200;
        EXPECT_EQ(targets[i], packetTarget(positions[i - 1] - offset));
        // Never back; held while ahead of the target, at most a batch beyond it.
        EXPECT_LE(counts[i - 1], counts[i]);
        EXPECT_LE(counts[i], std::max(targets[i] + kPacketsPerBatch, counts[i - 1]));
    }
}

// What the controls are told, in order: the transport before the media move, then the
// status; every end of a song or of the wait before the next one.
TEST(SessionTransport, CommandsAndTheirEventsInOrder) {
    using Command = std::function<void(Rig&)>;
    const Command play = [](Rig& r) { r.session.play("/s/a.cdg", false); };
    const Command pause = [](Rig& r) { r.session.pause(); };
    const Command resume = [](Rig& r) { r.session.resume(); };
    const Command stop = [](Rig& r) { r.session.stop(); };
    const Command wait = [](Rig& r) { r.session.waitBeforeNext(3000.0); };
    const Command runOut = [](Rig& r) { r.host.run(r.session); };  // to the end of it all
    const std::string start = "Playing|status Playing: a.MP3/CDG|display 1";
    const std::pair<std::vector<Command>, std::string> cases[] = {
        {{play, pause, resume, stop}, start + "|Paused|Playing|Idle|status Ready.|stopped"},
        {{play, runOut}, start + "|Idle|status Ready.|ended by itself"},
        {{play, play}, start + "|Idle|status Ready.|stopped|" + start},  // replaced
        {{pause, resume}, ""},                                           // nothing to pause
        {{wait, runOut}, "Waiting|Idle|waited"},
        {{wait, stop}, "Waiting|Idle|wait cancelled|status Ready."},
        {{wait, play}, "Waiting|Idle|wait cancelled|" + start},
        {{play, wait}, start},  // no wait while a song plays
        {{stop}, "Idle|status Ready."},
    };
    for (const auto& [commands, expected] : cases) {
        SCOPED_TRACE(expected);
        Rig r;
        r.files.addSong("/s/a", {".cdg", ".mp3"}, 300);
        for (const Command& command : commands) command(r);
        std::string events;
        for (const std::string& e : r.host.events) events += (events.empty() ? "" : "|") + e;
        EXPECT_EQ(events, expected);
    }
    // Closing the program: the media halted and closed, the song's files released, nothing
    // told.
    Rig r;
    r.files.addSong("/s/a", {".cdg", ".mp3"}, 300);
    play(r);
    const std::size_t told = r.host.events.size();
    r.session.shutDown();
    EXPECT_TRUE(r.host.events.size() == told && r.idle() && !r.host.dueMs);
    EXPECT_EQ(Strings(r.world.media.calls.end() - 2, r.world.media.calls.end()),
              (Strings{"stop", "close"}));
}

// Every way a song of /s/song.cdg (5 s of graphics) or its audio alone ends: idle, its
// file closed, the target never back; the clock takes over from audio that gives out, and
// Pause holds that clock as it holds the audio.
TEST(SessionEnds, ByStopByTheEndOfTheFileOrByAFailure) {
    const std::string cannotPlay = "Cannot play: song.wav", lost = "Audio output lost";
    struct Case {
        bool graphics = true, audio = true, unplayable = false;
        bool playAgain = false;  // another song played right after the Stop
        double failAtMs = 1e12, durationMs = 1e4, start = 1000.0;  // start: the clock, in s
        std::size_t stopAt = 0, pauseAt = 0, continueAt = 0;       // after these passes
        int tempo = 100;                                           // percent
        int packets = 1500;           // played, and the time shown; -1: as many as when Stop came
        double seconds = 5.0;         // -1: any
        std::string last = "Ready.";  // the last status
        std::string shown = "";       // a status shown while the song runs
    } const cases[] = {
        {.stopAt = 30, .packets = -1, .seconds = -1},
        {.playAgain = true, .stopAt = 20, .packets = 200, .seconds = -1},
        // The clock paces from the start in whole seconds, halves to even.
        {.audio = false, .start = 2000.5, .seconds = 4.5},
        {.audio = false, .pauseAt = 10, .continueAt = 200, .seconds = -1},
        {.audio = false, .tempo = 50, .seconds = 10.0},  // the clock runs in song time
        {.audio = false, .tempo = 150, .seconds = 10.0 / 3},
        {.unplayable = true,
         .last = cannotPlay,
         .shown = "Cannot play the audio: song.wav (graphics continue)"},
        {.failAtMs = 2000.0, .last = lost, .shown = "Audio output lost (graphics continue)"},
        {.failAtMs = 2000.0, .pauseAt = 200, .continueAt = 300, .seconds = -1, .last = lost},
        {.durationMs = 2000.0},
        {.durationMs = 2000.0, .pauseAt = 200, .continueAt = 300, .seconds = -1},
        {.graphics = false, .stopAt = 5, .packets = 30, .seconds = 0.1},
        {.graphics = false, .unplayable = true, .packets = 0, .seconds = 0, .last = cannotPlay},
        {.graphics = false, .failAtMs = 2000.0, .packets = 600, .seconds = 2, .last = lost},
        // Paused after passes 10-199 of 25 ms: 10 s of audio take 14.75 s.
        {.graphics = false, .pauseAt = 10, .continueAt = 200, .packets = 3000, .seconds = 14.75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        Rig r;
        if (c.audio) r.files.addSong("/s/song", {".wav"}, 0);
        if (c.playAgain) r.files.addSong("/s/again", {".cdg"}, 200);
        if (c.graphics) r.files.files["/s/song.cdg"].assign(24 * 1500, '\0');
        r.world.now = c.start;
        if (c.unplayable) r.world.media.unplayable = {"/s/song.wav"};
        r.world.media.failAtMs = c.failAtMs;
        r.world.media.durationMs = c.durationMs;
        r.session.setKeyAndTempo(0, c.tempo);
        r.play("/s/song.cdg", [&](std::size_t n) {
            if (n == c.stopAt) r.session.stop();
            if (n == c.stopAt && c.playAgain) r.session.play("/s/again.cdg", false);
            if (n == c.pauseAt) r.session.pause();
            if (n == c.continueAt) r.session.resume();
        });
        if (c.graphics && c.pauseAt) {  // held: neither the target nor the picture moves
            EXPECT_TRUE(r.targets.at(c.pauseAt + 1) == r.targets.at(c.continueAt) &&
                        r.counts.at(c.pauseAt + 1) == r.counts.at(c.continueAt));
        }
        EXPECT_TRUE(c.shown.empty() || r.host.heard("status " + c.shown));
        const int packets = c.packets < 0 ? r.counts.back() : c.packets;
        EXPECT_EQ(r.packets(), c.graphics ? packets : 0);
        EXPECT_NEAR(r.state().targetPacket, packets, 8);  // within a pass
        EXPECT_NEAR(c.seconds < 0 ? 0.0 : r.world.now - c.start - c.seconds, 0.0, 0.03);
        EXPECT_EQ(r.targets.size() > 1 ? r.targets[1] : 0, c.start == 1000.0 ? 0 : 150);
        EXPECT_EQ(r.host.statuses.back(), c.last);
        EXPECT_TRUE(r.host.messages.empty());
        std::string ends;
        for (const std::string& e : r.host.events)
            if (e == "stopped" || e == "ended by itself") ends += e + ";";
        EXPECT_EQ(ends, c.playAgain ? "stopped;ended by itself;"
                        : c.stopAt  ? "stopped;"
                                    : "ended by itself;");
        Strings log = {"open /s/song.cdg", "close /s/song.cdg"};  // each closes its own file
        if (c.playAgain) log.insert(log.end(), {"open /s/again.cdg", "close /s/again.cdg"});
        EXPECT_EQ(r.files.log, c.graphics ? log : Strings{});
        EXPECT_TRUE(r.idle() && !r.world.media.playing() && r.host.displays.at(0) == c.graphics);
        EXPECT_TRUE(c.playAgain || std::is_sorted(r.targets.begin(), r.targets.end()));
        if (c.graphics && !c.stopAt && !c.pauseAt) {  // a pass a batch: no waking early
            EXPECT_LE(r.counts.size(), 1500 / kPacketsPerBatch * 11 / 10);
        }
    }
}

// Songs on the real disk: whole packets play, nothing is loaded whole or written.
TEST(DiskCatalogue, GraphicsFilesOfEveryKind) {
    namespace fs = std::filesystem;
    const testing::TempFolder folder;
    const std::string song = folder.path("song.cdg");
    struct Case {
        std::size_t bytes = 0;
        int packets = 0;
        std::size_t at = 0;  // the pass after which `action` runs
        std::function<void(Rig&)> action = nullptr, prepare = nullptr;
        Strings statuses = {"Playing: song.CDG (only)", "Ready."};
        std::string message = "";
    };
    std::vector<Case> cases = {
        {.packets = 76000,
         .at = 19000,  // a sparse gigabyte, Stopped after four minutes
         .action = [](Rig& r) { r.session.stop(); },
         .prepare = [&](Rig&) { ASSERT_EQ(truncate(song.c_str(), 1LL << 30), 0); }},
        {.bytes = 24 * 1200,
         .packets = 1200,
         .at = 10,  // the open file stays readable
         .action = [&](Rig&) { fs::remove(song); }},
        // Found, then not readable: gone before the open.
        {.bytes = 960,
         .prepare =
             [&](Rig& r) { r.disk.beforeOpen = [](const std::string& path) { fs::remove(path); }; },
         .message = "Cannot open the graphics file: " + song},
    };
    for (auto [bytes, packets] : {std::pair{0, 0}, {1, 0}, {23, 0}, {25, 1}, {96000, 4000}})
        cases.push_back({.bytes = static_cast<std::size_t>(bytes), .packets = packets});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        fs::remove_all(song);
        testing::writeFile(song, testing::randomBytes(c.bytes));
        const auto files = testing::filesIn(folder.path());
        Rig r(true);
        if (c.prepare) c.prepare(r);
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        r.play(song, [&](std::size_t n) {
            if (n == c.at && c.action) c.action(r);
        });
        getrusage(RUSAGE_SELF, &after);
        EXPECT_EQ(r.host.statuses, c.statuses);
        EXPECT_EQ(r.host.messages, c.message.empty() ? Strings{} : Strings{c.message});
        EXPECT_NEAR(r.packets(), c.packets, c.packets > 10000 ? 4000 : 0);
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 50 * 1024);  // kilobytes
        EXPECT_EQ(c.prepare || c.action ? files : testing::filesIn(folder.path()), files);
    }
}

// Zipped songs on the real disk: the right pair or the right message, nothing written
// outside the scratch folder, and the scratch folder gone when the session is. One
// refusal shows its message reaching the user; every kind of refusal:
// ScanAndPlayer.AgreeOnEveryZipAndGraphicsFile.
TEST(ZipSongs, PlayThePairInsideOrSayWhyNot) {
    const testing::TempFolder dir;
    const std::string cdg(24 * 300, '\0');
    using Entries = std::vector<testing::ZipEntry>;  // stored where the case says
    const std::tuple<Entries, std::string, std::string> cases[] = {
        {{{"Song.cdg", cdg}, {"Song.mp3", "a"}}, "song.mp3", "Playing: s.zip (MP3/CDG)"},
        {{{"x/SONG.CDG", cdg}, {"y/z/song.Wav", "a"}, {"song.mp3", "b"}}, "song.mp3", "(MP3/CDG)"},
        {{{"a/Disc 1/", ""}, {"a/Disc 1/A.cdg", cdg}, {"b.ogg", "a"}}, "song.ogg", "(OGG/CDG)"},
        {{{"x.cdg", cdg}, {"x.flac", "a"}, {"y.mp3", "b"}}, "song.flac", "(FLAC/CDG)"},
        {{{"x.cdg", cdg}, {"notes.txt", "a"}}, "", "Playing: s.zip (CDG)"},
        {{}, "", "Cannot open the zip: s.zip (Not a zip archive)"}};
    for (const auto& [entries, audio, shown] : cases) {
        SCOPED_TRACE(shown);
        const std::string zip = dir.path("s.zip");
        testing::writeZip(zip, entries);
        std::string bytes = testing::readFile(zip);
        if (entries.empty()) bytes = "not a zip";
        testing::writeFile(zip, bytes);
        testing::World world;
        testing::FakeHost host{world};
        DiskSessionFiles disk(dir.path("scratch"));
        {
            PlaybackSession session(world.media, host, world, disk);
            session.play(zip, false);
            host.run(session);
            const std::string said = host.messages.empty() ? host.statuses.at(0) : host.messages[0];
            EXPECT_NE(said.find(shown), std::string::npos) << said;
            EXPECT_EQ(session.state().machine.PacketCount,
                      audio.empty() && !host.messages.empty() ? 0 : 300);
        }
        const auto opened =
            std::find_if(world.media.calls.begin(), world.media.calls.end(),
                         [](const std::string& c) { return c.starts_with("open"); });
        EXPECT_EQ(opened == world.media.calls.end() ? "" : fileNameOf(*opened), audio);
        EXPECT_EQ(testing::filesIn(dir.path()).size(), 1u);  // the zip: nothing else is left
    }
}

// Only the chosen pair is unpacked, under the player's own names, and only when the
// scratch space has room for what the archive claims; otherwise a message names the
// folder and nothing is left. The space: a tmpfs of 1 MiB, where the system lets a test
// mount one.
TEST(ZipSongs, OnlyThePairIsUnpackedWhenThereIsRoom) {
    const testing::TempFolder dir;
    const std::string root = dir.path("scratch");
    std::filesystem::create_directory(root);
    if (mount("tmpfs", root.c_str(), "tmpfs", 0, "size=1m,mode=0700") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        std::string path;
        ~Unmount() { umount(path.c_str()); }
    } unmount{root};
    const std::string cdg = testing::secondOfGraphics();
    const std::string zip = dir.path("s.zip");
    ScratchSpace scratch(root);
    testing::writeZip(zip, {{"Caf\x82.cdg", cdg},
                            {"Caf\x82.mp3", testing::randomBytes(100000)},
                            {"other.wav", testing::randomBytes(800000)}});
    {
        const UnpackedSong song = unpackSongZip(zip, scratch);
        ASSERT_EQ(song.error, "");
        EXPECT_EQ(song.graphics, song.folder->path() + "/song.cdg");
        EXPECT_EQ(song.audio, song.folder->path() + "/song.mp3");
        const auto files = testing::filesIn(song.folder->path());
        EXPECT_EQ(files.size(), 2u);
        EXPECT_EQ(files.at("song.cdg"), cdg);
    }
    testing::writeZip(zip, {{"Song.cdg", cdg}, {"Song.mp3", testing::randomBytes(1100000)}});
    const UnpackedSong song = unpackSongZip(zip, scratch);
    EXPECT_EQ(song.error, "Cannot unpack s.zip: not enough space in " + root);
    EXPECT_TRUE(testing::filesIn(root).empty());
}

// What a killed run left is removed at the next start, what a running one uses is kept; a
// root that others can enter is not used.
TEST(ZipSongs, ScratchFoldersOfDeadRunsGoAndOpenRootsAreRefused) {
    const testing::TempFolder dir;
    ScratchSpace space(dir.path("scratch"));
    std::string error;
    const auto mine = space.make(error);
    ASSERT_TRUE(mine) << error;
    std::filesystem::create_directories(dir.path("scratch/4194304-dead/x"));  // above pid_max
    EXPECT_EQ(space.removeLeftovers(), 1);
    EXPECT_TRUE(std::filesystem::exists(mine->path()));
    std::filesystem::permissions(dir.path("scratch"), std::filesystem::perms::all);
    EXPECT_FALSE(space.make(error));
    EXPECT_EQ(error, dir.path("scratch") + " (not a private folder)");
}

// A backend that stalls 1.5 s at the start, jumps, moves every 30 ms, then goes back.
// A steady reading is followed exactly, at any pace; one that steps or stalls gives a
// smooth estimate that never leaps, never runs far ahead and never goes back.
TEST(PositionSmoother, SteersTowardTheReadingSmoothly) {
    const struct {
        double pace;
        std::function<double(double)> reading;  // at steady ms since the start
        double within;                          // of the reading, from 3 s on
    } cases[] = {
        {1.0, [](double t) { return t; }, 0.5},
        {0.8, [](double t) { return 0.8 * t; }, 0.5},
        {1.0, [](double t) { return std::floor(t / 90.0) * 90.0; }, 90.0},  // coarse updates
        {1.0, [](double t) { return t < 700.0 ? std::min(t, 120.0) : t - 580.0; }, 1.0},  // stall
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        PositionSmoother p;
        p.setPace(c.pace);
        p.run(0.0);
        double last = 0.0;
        for (double t = 0.0; t < 5000.0; t += 7.0) {
            const double ms = p.read(t, c.reading(t));
            EXPECT_GE(ms, last);
            EXPECT_LE(ms - last, 2.0 * 7.0 * c.pace + 1e-9);  // no leap between passes
            EXPECT_LE(ms, c.reading(t) + PositionSmoother::kLeadMs);
            EXPECT_TRUE(t < 3000.0 || std::fabs(ms - c.reading(t)) <= c.within) << t;
            last = ms;
        }
    }
    PositionSmoother p;
    p.run(0.0);
    EXPECT_EQ(p.read(500.0, 0.0), 0.0);      // not before the reading first moves
    EXPECT_EQ(p.read(510.0, 900.0), 900.0);  // a reading far ahead is taken at once
    p.halt(520.0, 910.0);
    EXPECT_EQ(p.read(9000.0, 2000.0), p.read(9500.0, 0.0));  // held while halted
    p.holdAt(2600.0);                                        // the media's end
    p.holdAt(100.0);                                         // never back
    EXPECT_EQ(p.read(20000.0, 0.0), 2600.0);
    p.reset();
    EXPECT_EQ(p.read(20000.0, 0.0), 0.0);
}

// The bookkeeping every media control shares: each command or news of the backend gives
// the state and error below, the listener hears of each change once, and a failure
// blames the file only until something was heard.
TEST(MediaStatus, StatesErrorsAndTheListener) {
    struct Listener : MediaListener {
        int heard = 0;
        void mediaChanged() override { ++heard; }
    };
    using Step = std::function<void(MediaStatus&)>;
    const Step open = [](MediaStatus& m) { m.opened(); };
    const Step start = [](MediaStatus& m) { m.started(0.0); };
    const Step halt = [](MediaStatus& m) { m.halted(100.0, 100.0); };
    const Step end = [](MediaStatus& m) { m.ended(2000.0); };
    const Step failEarly = [](MediaStatus& m) { m.failed(0.0); };
    const Step failLate = [](MediaStatus& m) { m.failed(500.0); };
    const Step refuse = [](MediaStatus& m) { m.refused(MediaError::Unreadable); };
    const Step close = [](MediaStatus& m) { m.closed(); };
    const std::tuple<std::vector<Step>, MediaState, MediaError, int, int32_t> cases[] = {
        {{}, MediaState::Closed, MediaError::None, 0, 0},
        {{open, start}, MediaState::Playing, MediaError::None, 2, 0},
        {{open, start, start}, MediaState::Playing, MediaError::None, 2, 0},
        {{open, start, halt, start}, MediaState::Playing, MediaError::None, 4, 100},
        {{open, start, end}, MediaState::Ended, MediaError::None, 3, 2000},
        {{open, start, end, start, failLate}, MediaState::Failed, MediaError::OutputLost, 4, 2000},
        {{open, refuse}, MediaState::Failed, MediaError::Unreadable, 2, 0},
        {{open, start, failEarly}, MediaState::Failed, MediaError::Unplayable, 3, 0},
        {{open, start, failLate}, MediaState::Failed, MediaError::OutputLost, 3, 500},
        {{open, start, failLate, close, open}, MediaState::Stopped, MediaError::None, 5, 0},
        {{close, halt}, MediaState::Closed, MediaError::None, 0, 0},
    };
    for (const auto& [steps, state, error, heard, positionMs] : cases) {
        SCOPED_TRACE(heard);
        MediaStatus status;
        Listener listener;
        status.setListener(&listener);
        for (const Step& step : steps) step(status);
        EXPECT_EQ(std::tuple(status.state(), status.error(), listener.heard,
                             status.positionMs(200.0, -1.0)),
                  std::tuple(state, error, heard, positionMs));
    }
}

}  // namespace
}  // namespace lyrvox
