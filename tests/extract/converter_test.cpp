#include "extract/converter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/catalogue/catalogue_support.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;
using testing::expectedSubcode;
using testing::makeImage;
using testing::readFile;
using testing::writeFile;
using Strings = std::vector<std::string>;

ExtractOptions everySector(std::int64_t blockSectors = 428) {
    ExtractOptions options;
    options.progressInterval = std::chrono::nanoseconds::zero();
    options.blockSectors = blockSectors;
    return options;
}

class ConverterTest : public ::testing::Test {
  protected:
    // The window is back in its idle state.
    void expectIdle() {
        EXPECT_FALSE(converter_.Converting());
        EXPECT_EQ(host_.caption, "Convert");
        EXPECT_EQ(host_.fileName, "");
        EXPECT_EQ(host_.progress, "");
    }
    // Converts dir_/name afresh; returns the messages shown.
    Strings convert(const std::string& name) {
        host_.messages.clear();
        converter_.btnConvert_Click(dir_.path(name));
        return host_.messages;
    }
    std::string path(const std::string& name) const { return dir_.path(name); }

    testing::TempFolder dir_;
    testing::RecordingConvertHost host_;
    Converter converter_{host_, everySector()};
    const Strings converted{"File(s) converted!"};
};

TEST_F(ConverterTest, OneImageOfOneSector) {
    const std::string image = makeImage(1);
    writeFile(path("song.bin"), image);
    EXPECT_EQ(convert("song.bin"), converted);
    EXPECT_EQ(readFile(path("song.cdg")), image.substr(2448 - 96));
    EXPECT_EQ(host_.fileNames, Strings{"song.bin"});
    EXPECT_EQ(host_.progressTexts, Strings{"100%"});
    EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::Converted);
    expectIdle();

    // The next click starts a new run, replacing the earlier output.
    const std::string other = makeImage(3, 1);
    writeFile(path("song.bin"), other);
    convert("song.bin");
    EXPECT_EQ(readFile(path("song.cdg")), expectedSubcode(other, 3));
    EXPECT_EQ(host_.progressTexts.back(), "100%");
    EXPECT_EQ(host_.progressTexts[1], "033%");
}

TEST_F(ConverterTest, EmptyImageAndMissingImages) {
    writeFile(path("empty.bin"), "");
    EXPECT_EQ(convert("empty.bin"), converted);
    EXPECT_TRUE(fs::exists(path("empty.cdg")));
    EXPECT_EQ(fs::file_size(path("empty.cdg")), 0u);

    fs::create_directory(path("folder.bin"));
    for (const char* name : {"missing.bin", "folder.bin", "*.bin"}) {
        EXPECT_EQ(convert(name), Strings{"File not found!"}) << name;
        EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::NotFound);
    }
    expectIdle();

    // A leading full stop hides a name only by convention: it converts, and keeps the full stop.
    writeFile(path(".hidden.bin"), makeImage(1));
    EXPECT_EQ(convert(".hidden.bin"), converted);
    EXPECT_EQ(fs::file_size(path(".hidden.cdg")), 96u);
}

TEST_F(ConverterTest, SeriesSkipsGapsFindsAnyCaseAndStopsAtAnInvalidMember) {
    writeFile(path("disc01.bin"), makeImage(2, 1));
    writeFile(path("disc03.bin"), makeImage(1, 3));
    writeFile(path("Disc05.BIN"), makeImage(1, 5));
    writeFile(path("disc100.bin"), makeImage(1));  // beyond 99: never looked at
    EXPECT_EQ(convert("disc"), converted);
    EXPECT_EQ(readFile(path("disc01.cdg")), expectedSubcode(makeImage(2, 1), 2));
    EXPECT_EQ(readFile(path("disc03.cdg")), expectedSubcode(makeImage(1, 3), 1));
    EXPECT_EQ(readFile(path("Disc05.cdg")), expectedSubcode(makeImage(1, 5), 1));
    EXPECT_FALSE(fs::exists(path("disc100.cdg")));
    EXPECT_FALSE(fs::exists(path("disc10.cdg")));
    EXPECT_EQ(host_.fileNames, (Strings{"disc01.bin", "disc03.bin", "Disc05.BIN"}));
    EXPECT_EQ(converter_.lastRun().imagesConverted, 3);
    expectIdle();

    // A bad member ends the run: earlier outputs stay, later members are not read.
    for (const char* name : {"disc01.cdg", "disc03.cdg", "Disc05.cdg"}) fs::remove(path(name));
    writeFile(path("disc03.bin"), "short");
    EXPECT_EQ(convert("disc"), Strings{"Not a valid CDRWin CD+G file!"});
    EXPECT_TRUE(fs::exists(path("disc01.cdg")));
    EXPECT_FALSE(fs::exists(path("disc03.cdg")));
    EXPECT_FALSE(fs::exists(path("Disc05.cdg")));
    expectIdle();

    // A series with no member at all completes at once.
    EXPECT_EQ(convert("nothing"), converted);
    EXPECT_EQ(converter_.lastRun().imagesConverted, 0);
}

TEST_F(ConverterTest, EmptySourceIsASeriesInTheCurrentFolder) {
    writeFile(path("07.bin"), makeImage(1, 7));
    writeFile(path("rel.bin"), makeImage(1, 8));
    const auto previous = fs::current_path();
    fs::current_path(path(""));
    converter_.btnConvert_Click("");
    converter_.btnConvert_Click("./rel.bin");  // the output keeps its "./"
    fs::current_path(previous);
    EXPECT_EQ(host_.messages, (Strings{"File(s) converted!", "File(s) converted!"}));
    EXPECT_EQ(readFile(path("07.cdg")), expectedSubcode(makeImage(1, 7), 1));
    EXPECT_EQ(readFile(path("rel.cdg")), expectedSubcode(makeImage(1, 8), 1));
}

TEST_F(ConverterTest, StopKeepsThePartialOutputAndEndsTheSeries) {
    const std::string first = makeImage(6, 1);
    writeFile(path("disc01.bin"), first);
    writeFile(path("disc02.bin"), makeImage(2, 2));
    // Yield 1 comes before the first image; yield 1 + k after its k-th sector.
    // The second click arrives twice in the same yield, as a double click would:
    // the first is the Stop request, the second must not start a nested run.
    const int k = 4;
    host_.onYield = [&](int n) {
        if (n != 1 + k) return;
        converter_.btnConvert_Click(path("disc"));
        EXPECT_FALSE(converter_.Converting());
        EXPECT_EQ(host_.caption, "Stop");
        converter_.btnConvert_Click(path("disc"));
    };
    EXPECT_EQ(convert("disc"), converted);
    EXPECT_EQ(readFile(path("disc01.cdg")), expectedSubcode(first, k));
    EXPECT_FALSE(fs::exists(path("disc02.cdg")));
    EXPECT_EQ(host_.progressTexts.back(), "067%");  // 4 of 6 sectors
    EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::Stopped);
    expectIdle();
}

TEST_F(ConverterTest, StopBeforeTheFirstSectorLeavesAnEarlierOutputAlone) {
    writeFile(path("song.bin"), makeImage(3));
    writeFile(path("song.cdg"), "earlier output");
    host_.onYield = [&](int n) {
        if (n == 1) converter_.btnConvert_Click(path("song.bin"));
    };
    EXPECT_EQ(convert("song.bin"), converted);
    EXPECT_EQ(readFile(path("song.cdg")), "earlier output");
    expectIdle();
}

// The output name may be another name of the image: a hard link, a symbolic link.
TEST_F(ConverterTest, NeverWritesOverTheImageThroughALink) {
    const std::string image = makeImage(2);
    writeFile(path("x.cdg"), image);
    fs::create_hard_link(path("x.cdg"), path("hard.bin"));
    fs::create_hard_link(path("x.cdg"), path("hard.cdg"));
    writeFile(path("sym.bin"), image);
    fs::create_symlink(path("sym.bin"), path("sym.cdg"));
    for (const char* name : {"hard.bin", "sym.bin"}) {
        const Strings messages = convert(name);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].rfind("The output would overwrite the image: ", 0), 0u) << name;
        EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::WouldOverwrite);
        expectIdle();
    }
    EXPECT_EQ(readFile(path("x.cdg")), image);
    EXPECT_EQ(readFile(path("sym.bin")), image);
}

TEST_F(ConverterTest, OutputThatCannotBeCreatedIsReported) {
    writeFile(path("song.bin"), makeImage(2));
    fs::create_directory(path("song.cdg"));  // fails for root too
    EXPECT_EQ(convert("song.bin"),
              Strings{"Cannot write the output: " + path("song.cdg") + " (Is a directory)"});
    EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::WriteFailed);
    expectIdle();

    if (geteuid() == 0) return;  // root writes into read-only folders
    fs::create_directory(path("ro"));
    writeFile(path("ro/song.bin"), makeImage(2));
    fs::permissions(path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(convert("ro/song.bin"),
              Strings{"Cannot write the output: " + path("ro/song.cdg") + " (Permission denied)"});
}

TEST_F(ConverterTest, WriteFailureMidwayRemovesTheOutput) {
    // The file-size limit makes a real file fail part way, as a full disk does.
    const std::string image = makeImage(3000);
    writeFile(path("big.bin"), image);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 100000;  // of an output of 288,000 bytes
    auto* const previousHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const Strings messages = convert("big.bin");
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(messages,
              Strings{"Cannot write the output: " + path("big.cdg") + " (File too large)"});
    EXPECT_FALSE(fs::exists(path("big.cdg")));
    EXPECT_EQ(readFile(path("big.bin")), image);
    expectIdle();
}

TEST_F(ConverterTest, ImageShrinkingDuringTheRunIsAReadError) {
    Converter converter(host_, everySector(2));
    writeFile(path("song.bin"), makeImage(10));
    host_.onYield = [&](int n) {
        if (n == 2) fs::resize_file(path("song.bin"), 2448 * 3);
    };
    converter.btnConvert_Click(path("song.bin"));
    EXPECT_EQ(host_.messages,
              Strings{"Cannot read the image: " + path("song.bin") + " (the image ended early)"});
    EXPECT_FALSE(fs::exists(path("song.cdg")));
    EXPECT_EQ(converter.lastRun().outcome, ConvertOutcome::ReadFailed);
    EXPECT_FALSE(converter.Converting());
    EXPECT_EQ(host_.caption, "Convert");
}

// A second converter (another window, the command line) running inside the
// first one's yield works on its own files and state.
TEST_F(ConverterTest, TwoConvertersShareNothing) {
    testing::RecordingConvertHost otherHost;
    Converter other(otherHost, everySector());
    writeFile(path("a.bin"), makeImage(3, 1));
    writeFile(path("b.bin"), makeImage(2, 2));
    host_.onYield = [&](int n) {
        if (n == 2) other.btnConvert_Click(path("b.bin"));
    };
    EXPECT_EQ(convert("a.bin"), converted);
    EXPECT_EQ(otherHost.messages, converted);
    EXPECT_EQ(readFile(path("a.cdg")), expectedSubcode(makeImage(3, 1), 3));
    EXPECT_EQ(readFile(path("b.cdg")), expectedSubcode(makeImage(2, 2), 2));
}

}  // namespace
}  // namespace lyrvox
