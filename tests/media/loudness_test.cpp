// Songs' loudness: the meter against reference signals made here (EBU Tech 3341's
// 1 kHz stereo sines), the gain rule, the store's once-per-version rule, and the
// command-line tool.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "library/library_index.h"
#include "library/loudness_store.h"
#include "playback/media/loudness_gain.h"
#include "playback/media/loudness_meter.h"
#include "support/test_files.h"
#include "support/tone_wav.h"
#include "support/zip_maker.h"
#include "tools/cli/cli_commands.h"

namespace lyrvox {
namespace {

using testing::sineWav;
using testing::TempFolder;
using testing::writeFile;

struct MeterCase {
    const char* name;
    double peakDbfs;
    double hz;
    double seconds;
    double lufs;  // NaN: no integrated loudness
    double lufsTolerance;
    double truePeak;  // dBTP; -inf for silence
    double peakTolerance;
};

class LoudnessMeterTest : public ::testing::TestWithParam<MeterCase> {};

TEST_P(LoudnessMeterTest, ReadsTheReferenceSignal) {
    const MeterCase& c = GetParam();
    TempFolder dir;
    const std::string path = dir.path(std::string(c.name) + ".wav");
    writeFile(path, sineWav(c.peakDbfs, c.hz, c.seconds));
    const LoudnessReading reading = measureAudioLoudness(path);
    ASSERT_TRUE(reading.ok()) << reading.error;
    if (std::isnan(c.lufs)) {
        EXPECT_FALSE(reading.integratedLufs.has_value());
    } else {
        ASSERT_TRUE(reading.integratedLufs.has_value());
        EXPECT_NEAR(*reading.integratedLufs, c.lufs, c.lufsTolerance);
    }
    if (std::isinf(c.truePeak))
        EXPECT_TRUE(std::isinf(reading.truePeakDbtp) && reading.truePeakDbtp < 0);
    else
        EXPECT_NEAR(reading.truePeakDbtp, c.truePeak, c.peakTolerance);
}

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr double kSilent = -std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Tech3341, LoudnessMeterTest,
    ::testing::Values(MeterCase{"minus23", -23.0, 1000.0, 20.0, -23.0, 0.1, -23.0, 0.3},
                      MeterCase{"minus33", -33.0, 1000.0, 20.0, -33.0, 0.1, -33.0, 0.3},
                      MeterCase{"minus20", -20.0, 1000.0, 20.0, -20.0, 0.1, -20.0, 0.3},
                      // A full-scale sine whose samples miss its peaks: true peak finds them.
                      MeterCase{"fullScale", 0.0, 997.0, 5.0, -0.0, 0.2, 0.0, 0.3},
                      MeterCase{"silence", kSilent, 1000.0, 5.0, kNone, 0.0, kSilent, 0.0}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(LoudnessMeter, SongsFindTheirAudioOrSayTheyHaveNone) {
    TempFolder dir;
    const std::string wav = sineWav(-23.0, 1000.0, 4.0);
    writeFile(dir.path("Partner.cdg"), std::string(24 * 300, '\0'));
    writeFile(dir.path("Partner.wav"), wav);
    writeFile(dir.path("Alone.cdg"), std::string(24 * 300, '\0'));
    testing::writeZip(dir.path("Zipped.zip"),
                      {{"Zipped.cdg", std::string(24 * 300, '\0')}, {"Zipped.wav", wav}});
    writeFile(dir.path("Noise.mp3"), std::string("not audio at all"));
    const std::string scratch = dir.path("scratch");
    struct Case {
        const char* song;
        bool measured;
    } cases[] = {{"Partner.cdg", true},
                 {"Zipped.zip", true},
                 {"Alone.cdg", false},
                 {"Noise.mp3", false},
                 {"Missing.cdg", false}};
    for (const Case& c : cases) {
        const LoudnessReading reading = measureSongLoudness(dir.path(c.song), scratch);
        EXPECT_EQ(reading.ok(), c.measured) << c.song << ": " << reading.error;
        if (c.measured) {
            ASSERT_TRUE(reading.integratedLufs.has_value()) << c.song;
            EXPECT_NEAR(*reading.integratedLufs, -23.0, 0.2) << c.song;
        }
    }
}

TEST(LoudnessGain, TowardTheTargetWithinTheTruePeakCeiling) {
    struct Case {
        double target;
        std::optional<double> measured;
        double truePeak;
        double gain;
    } cases[] = {
        {-16.0, -23.0, -10.0, 7.0},       // quiet song, room to rise
        {-16.0, -23.0, -5.0, 4.0},        // rising stops at -1 dBTP
        {-16.0, -9.5, 0.2, -6.5},         // loud song comes down
        {-16.0, -16.0, -3.0, 0.0},        // already at the target
        {-16.0, -16.0, 0.5, -1.5},        // at the target but peaking over: down to the ceiling
        {-20.0, -12.0, -0.1, -8.0},       // another target
        {-16.0, std::nullopt, 0.0, 0.0},  // unmeasured or silent: unity
        {-16.0, -40.0, kSilent, 24.0},    // no peak known: loudness alone
    };
    for (const Case& c : cases)
        EXPECT_NEAR(loudnessGainDb(c.target, c.measured, c.truePeak), c.gain, 1e-9)
            << c.target << " " << c.measured.value_or(0) << " " << c.truePeak;
    EXPECT_NEAR(gainFactor(-6.0), 0.501187, 1e-6);
    EXPECT_DOUBLE_EQ(gainFactor(0.0), 1.0);
}

TEST(LoudnessStore, KeepsOneReadingPerFileVersion) {
    TempFolder dir;
    const std::string song = dir.path("song.mp3");
    writeFile(song, std::string("one"));
    const FileVersion first = *fileVersion(song);
    {
        LibraryIndex index(dir.path("library.db"));
        ASSERT_TRUE(index.isOpen()) << index.error();
        LoudnessStore store(index);
        EXPECT_FALSE(store.find(song, first).has_value());  // never measured
        ASSERT_TRUE(store.save(song, first, {.integratedLufs = -12.5, .truePeakDbtp = -0.3}));
        ASSERT_TRUE(store.save(dir.path("silent.wav"), first,
                               {.integratedLufs = std::nullopt, .truePeakDbtp = kSilent}));
        ASSERT_TRUE(store.save(dir.path("broken.mp3"), first,
                               {.integratedLufs = {}, .truePeakDbtp = {}, .failed = true}));
    }
    LibraryIndex index(dir.path("library.db"));  // after a restart
    LoudnessStore store(index);
    const auto found = store.find(song, first);
    ASSERT_TRUE(found.has_value());
    EXPECT_DOUBLE_EQ(found->integratedLufs.value_or(0), -12.5);
    EXPECT_DOUBLE_EQ(found->truePeakDbtp.value_or(0), -0.3);
    const auto silent = store.find(dir.path("silent.wav"), first);
    ASSERT_TRUE(silent.has_value());
    EXPECT_FALSE(silent->integratedLufs.has_value());
    EXPECT_FALSE(silent->truePeakDbtp.has_value());
    EXPECT_TRUE(store.find(dir.path("broken.mp3"), first).value_or(StoredLoudness{}).failed);

    // A changed file is another version: measured again, then the new reading holds.
    const FileVersion changed{first.size, first.mtimeNs + 1'000'000'000};
    EXPECT_FALSE(store.find(song, changed).has_value());
    EXPECT_FALSE(store.find(song, {first.size + 1, first.mtimeNs}).has_value());
    ASSERT_TRUE(store.save(song, changed, {.integratedLufs = -20.0, .truePeakDbtp = -6.0}));
    EXPECT_DOUBLE_EQ(store.find(song, changed)->integratedLufs.value_or(0), -20.0);
    EXPECT_FALSE(store.find(song, first).has_value());
}

std::string runCli(const std::vector<std::string>& args, int& status, std::string& err) {
    std::ostringstream out, errors;
    status = runLoudness(args, out, errors);
    err = errors.str();
    return out.str();
}

TEST(LoudnessCommand, PrintsEachSongAndFailsAtTheEndForThoseWithoutAudio) {
    TempFolder dir;
    writeFile(dir.path("quiet.wav"), sineWav(-23.0, 1000.0, 20.0));
    writeFile(dir.path("odd\x1b[31mname.wav"), sineWav(-20.0, 1000.0, 20.0));
    writeFile(dir.path("alone.cdg"), std::string(24 * 300, '\0'));
    int status = -1;
    std::string err;
    const std::string out =
        runCli({dir.path("quiet.wav"), dir.path("alone.cdg"), dir.path("odd\x1b[31mname.wav")},
               status, err);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "-23.0\t-23.0\t" + dir.path("quiet.wav") + "\n-20.0\t-20.0\t" +
                       dir.path("odd\\x1B[31mname.wav") + "\n");
    EXPECT_NE(err.find("alone.cdg: has no audio"), std::string::npos) << err;

    runCli({dir.path("quiet.wav")}, status, err);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(err.empty());
    runCli({}, status, err);
    EXPECT_EQ(status, 2);
}

TEST(LoudnessCommand, UpdateMeasuresTheLibraryOncePerFileVersion) {
    TempFolder dir;
    const std::string songs = dir.path("songs");
    std::filesystem::create_directory(songs);
    const std::string wav = sineWav(-20.0, 1000.0, 4.0);
    const std::string graphics(24 * 300, '\0');
    writeFile(songs + "/Artist - Partner.cdg", graphics);
    writeFile(songs + "/Artist - Partner.wav", wav);
    writeFile(songs + "/Artist - Alone.cdg", graphics);
    testing::writeZip(songs + "/Artist - Zipped.zip",
                      {{"Artist - Zipped.cdg", graphics}, {"Artist - Zipped.wav", wav}});
    const std::string db = dir.path("library.db");
    std::ostringstream ignored;
    ASSERT_EQ(runLibrary({"scan", songs, "--db", db}, ignored, ignored), 0) << ignored.str();

    int status = -1;
    std::string err;
    const std::vector<std::string> update{"--update", "--db", db};
    EXPECT_EQ(runCli(update, status, err), "2 measured, 0 without audio, 0 already known\n") << err;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(runCli(update, status, err), "0 measured, 0 without audio, 2 already known\n");

    // The partner rewritten: only that file is measured again (the new reading held:
    // LoudnessStore.KeepsOneReadingPerFileVersion).
    writeFile(songs + "/Artist - Partner.wav", sineWav(-30.0, 1000.0, 4.0));
    EXPECT_EQ(runCli(update, status, err), "1 measured, 0 without audio, 1 already known\n");
}

}  // namespace
}  // namespace lyrvox
