#include "extract/converter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/extract/temp_folder.h"

namespace lyrvox {
namespace {

namespace fs = std::filesystem;
using testing::expectedSubcode;
using testing::makeImage;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

// Records what the window would show; onYield runs inside the n-th yield (from
// 1), as events served by the event queue would.
class FakeHost : public ConvertHost {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetConvertCaption(const std::string& text) override { caption = text; }
    void SetFileNameLabel(const std::string& text) override {
        fileName = text;
        if (!text.empty()) fileNames.push_back(text);
    }
    void SetProgressLabel(const std::string& text) override {
        progress = text;
        if (!text.empty()) progressTexts.push_back(text);
    }
    void Yield() override {
        ++yields;
        if (onYield) onYield(yields);
    }

    std::vector<std::string> messages, fileNames, progressTexts;
    std::string caption = "Convert", fileName = "-", progress;
    int yields = 0;
    std::function<void(int)> onYield;
};

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
    std::vector<std::string> messages(std::initializer_list<std::string> list) { return list; }

    TempFolder dir_;
    FakeHost host_;
    Converter converter_{host_, everySector()};
};

TEST_F(ConverterTest, OneImageOfOneSector) {
    const std::string image = makeImage(1);
    writeFile(dir_.path("song.bin"), image);
    converter_.btnConvert_Click(dir_.path("song.bin"));

    EXPECT_EQ(readFile(dir_.path("song.cdg")), image.substr(2448 - 96));
    EXPECT_EQ(host_.messages, messages({"File(s) converted!"}));
    EXPECT_EQ(host_.fileNames, std::vector<std::string>{"song.bin"});
    EXPECT_EQ(host_.progressTexts, std::vector<std::string>{"100%"});
    EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::Converted);
    expectIdle();

    // The next click starts a new run, replacing the earlier output.
    const std::string other = makeImage(3, 1);
    writeFile(dir_.path("song.bin"), other);
    converter_.btnConvert_Click(dir_.path("song.bin"));
    EXPECT_EQ(readFile(dir_.path("song.cdg")), expectedSubcode(other, 3));
    EXPECT_EQ(host_.progressTexts.back(), "100%");
    EXPECT_EQ(host_.progressTexts[1], "033%");
}

TEST_F(ConverterTest, EmptyImageAndMissingImages) {
    writeFile(dir_.path("empty.bin"), "");
    converter_.btnConvert_Click(dir_.path("empty.bin"));
    EXPECT_TRUE(fs::exists(dir_.path("empty.cdg")));
    EXPECT_EQ(fs::file_size(dir_.path("empty.cdg")), 0u);
    EXPECT_EQ(host_.messages, messages({"File(s) converted!"}));

    fs::create_directory(dir_.path("folder.bin"));
    for (const char* name : {"missing.bin", "folder.bin", "*.bin"}) {
        host_.messages.clear();
        converter_.btnConvert_Click(dir_.path(name));
        EXPECT_EQ(host_.messages, messages({"File not found!"})) << name;
        EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::NotFound);
    }
    expectIdle();

    // A name beginning with a full stop is hidden only by convention: the user
    // named it, so it converts, and its output keeps the leading full stop.
    host_.messages.clear();
    writeFile(dir_.path(".hidden.bin"), makeImage(1));
    converter_.btnConvert_Click(dir_.path(".hidden.bin"));
    EXPECT_EQ(host_.messages, messages({"File(s) converted!"}));
    EXPECT_EQ(fs::file_size(dir_.path(".hidden.cdg")), 96u);
}

TEST_F(ConverterTest, WrongLengthEndsTheRunWithoutSuccess) {
    for (std::size_t length : {2447u, 2449u}) {
        host_.messages.clear();
        writeFile(dir_.path("bad.bin"), std::string(length, 'x'));
        converter_.btnConvert_Click(dir_.path("bad.bin"));
        EXPECT_EQ(host_.messages, messages({"Not a valid CDRWin CD+G file!"}));
        EXPECT_FALSE(fs::exists(dir_.path("bad.cdg")));
        expectIdle();
    }
    // The next click starts a fresh run.
    writeFile(dir_.path("good.bin"), makeImage(2));
    converter_.btnConvert_Click(dir_.path("good.bin"));
    EXPECT_EQ(host_.messages.back(), "File(s) converted!");
}

TEST_F(ConverterTest, SeriesSkipsGapsFindsAnyCaseAndStopsAtAnInvalidMember) {
    const std::string stem = dir_.path("disc");
    writeFile(stem + "01.bin", makeImage(2, 1));
    writeFile(stem + "03.bin", makeImage(1, 3));
    writeFile(dir_.path("Disc05.BIN"), makeImage(1, 5));
    writeFile(stem + "100.bin", makeImage(1));  // beyond 99: never looked at
    converter_.btnConvert_Click(stem);

    EXPECT_EQ(readFile(stem + "01.cdg"), expectedSubcode(makeImage(2, 1), 2));
    EXPECT_EQ(readFile(stem + "03.cdg"), expectedSubcode(makeImage(1, 3), 1));
    EXPECT_EQ(readFile(dir_.path("Disc05.cdg")), expectedSubcode(makeImage(1, 5), 1));
    EXPECT_FALSE(fs::exists(stem + "100.cdg"));
    EXPECT_FALSE(fs::exists(stem + "10.cdg"));
    EXPECT_EQ(host_.fileNames,
              (std::vector<std::string>{"disc01.bin", "disc03.bin", "Disc05.BIN"}));
    EXPECT_EQ(host_.messages, messages({"File(s) converted!"}));
    EXPECT_EQ(converter_.lastRun().imagesConverted, 3);
    expectIdle();

    // A bad member ends the run: earlier outputs stay, later members are not read.
    fs::remove(stem + "01.cdg");
    fs::remove(stem + "03.cdg");
    fs::remove(dir_.path("Disc05.cdg"));
    writeFile(stem + "03.bin", "short");
    host_.messages.clear();
    converter_.btnConvert_Click(stem);
    EXPECT_TRUE(fs::exists(stem + "01.cdg"));
    EXPECT_FALSE(fs::exists(stem + "03.cdg"));
    EXPECT_FALSE(fs::exists(dir_.path("Disc05.cdg")));
    EXPECT_EQ(host_.messages, messages({"Not a valid CDRWin CD+G file!"}));
    expectIdle();

    // A series with no member at all completes at once.
    host_.messages.clear();
    converter_.btnConvert_Click(dir_.path("nothing"));
    EXPECT_EQ(host_.messages, messages({"File(s) converted!"}));
    EXPECT_EQ(converter_.lastRun().imagesConverted, 0);
}

TEST_F(ConverterTest, EmptySourceIsASeriesInTheCurrentFolder) {
    writeFile(dir_.path("07.bin"), makeImage(1, 7));
    writeFile(dir_.path("rel.bin"), makeImage(1, 8));
    const auto previous = fs::current_path();
    fs::current_path(dir_.path());
    converter_.btnConvert_Click("");
    converter_.btnConvert_Click("./rel.bin");  // the output keeps its "./"
    fs::current_path(previous);
    EXPECT_EQ(host_.messages, messages({"File(s) converted!", "File(s) converted!"}));
    EXPECT_EQ(readFile(dir_.path("07.cdg")), expectedSubcode(makeImage(1, 7), 1));
    EXPECT_EQ(readFile(dir_.path("rel.cdg")), expectedSubcode(makeImage(1, 8), 1));
}

TEST_F(ConverterTest, FullStopInAFolderNameIsJustPartOfTheFolder) {
    fs::create_directory(dir_.path("my.rips"));
    const std::string folder = dir_.path("my.rips") + "/";
    writeFile(folder + "disc01.bin", makeImage(1, 7));
    writeFile(folder + "song.bin", makeImage(1, 8));

    converter_.btnConvert_Click(folder + "disc");  // a stem, not an image
    EXPECT_EQ(host_.messages, messages({"File(s) converted!"}));
    EXPECT_EQ(readFile(folder + "disc01.cdg"), expectedSubcode(makeImage(1, 7), 1));

    converter_.btnConvert_Click(folder + "song.bin");
    EXPECT_EQ(readFile(folder + "song.cdg"), expectedSubcode(makeImage(1, 8), 1));
    EXPECT_FALSE(fs::exists(dir_.path("my.cdg")));
}

TEST_F(ConverterTest, StopKeepsThePartialOutputAndEndsTheSeries) {
    const std::string stem = dir_.path("disc");
    const std::string first = makeImage(6, 1);
    writeFile(stem + "01.bin", first);
    writeFile(stem + "02.bin", makeImage(2, 2));
    // Yield 1 comes before the first image; yield 1 + k after its k-th sector.
    // The second click arrives twice in the same yield, as a double click would:
    // the first is the Stop request, the second must not start a nested run.
    const int k = 4;
    host_.onYield = [&](int n) {
        if (n != 1 + k) return;
        converter_.btnConvert_Click(stem);
        EXPECT_FALSE(converter_.Converting());
        EXPECT_EQ(host_.caption, "Stop");
        converter_.btnConvert_Click(stem);
    };
    converter_.btnConvert_Click(stem);

    EXPECT_EQ(readFile(stem + "01.cdg"), expectedSubcode(first, k));
    EXPECT_FALSE(fs::exists(stem + "02.cdg"));
    EXPECT_EQ(host_.messages, messages({"File(s) converted!"}));
    EXPECT_EQ(host_.progressTexts.back(), "067%");  // 4 of 6 sectors
    EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::Stopped);
    expectIdle();
}

TEST_F(ConverterTest, StopBeforeTheFirstSectorLeavesAnEarlierOutputAlone) {
    writeFile(dir_.path("song.bin"), makeImage(3));
    writeFile(dir_.path("song.cdg"), "earlier output");
    host_.onYield = [&](int n) {
        if (n == 1) converter_.btnConvert_Click(dir_.path("song.bin"));
    };
    converter_.btnConvert_Click(dir_.path("song.bin"));
    EXPECT_EQ(readFile(dir_.path("song.cdg")), "earlier output");
    EXPECT_EQ(host_.messages, messages({"File(s) converted!"}));
    expectIdle();
}

TEST_F(ConverterTest, NeverWritesOverTheImage) {
    const std::string image = makeImage(2);
    writeFile(dir_.path("x.cdg"), image);
    converter_.btnConvert_Click(dir_.path("x.cdg"));
    EXPECT_EQ(host_.messages,
              messages({"The output would overwrite the image: " + dir_.path("x.cdg")}));
    EXPECT_EQ(readFile(dir_.path("x.cdg")), image);
    EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::WouldOverwrite);
    expectIdle();

    // The output name is another name of the image: a hard link, a symbolic link.
    fs::create_hard_link(dir_.path("x.cdg"), dir_.path("hard.bin"));
    fs::create_hard_link(dir_.path("x.cdg"), dir_.path("hard.cdg"));
    writeFile(dir_.path("sym.bin"), image);
    fs::create_symlink(dir_.path("sym.bin"), dir_.path("sym.cdg"));
    for (const char* name : {"hard.bin", "sym.bin"}) {
        host_.messages.clear();
        converter_.btnConvert_Click(dir_.path(name));
        ASSERT_EQ(host_.messages.size(), 1u);
        EXPECT_EQ(host_.messages[0].rfind("The output would overwrite the image: ", 0), 0u) << name;
        expectIdle();
    }
    EXPECT_EQ(readFile(dir_.path("x.cdg")), image);
    EXPECT_EQ(readFile(dir_.path("sym.bin")), image);
}

TEST_F(ConverterTest, OutputThatCannotBeCreatedIsReported) {
    writeFile(dir_.path("song.bin"), makeImage(2));
    fs::create_directory(dir_.path("song.cdg"));  // fails for root too
    converter_.btnConvert_Click(dir_.path("song.bin"));
    ASSERT_EQ(host_.messages.size(), 1u);
    EXPECT_EQ(host_.messages[0],
              "Cannot write the output: " + dir_.path("song.cdg") + " (Is a directory)");
    EXPECT_EQ(converter_.lastRun().outcome, ConvertOutcome::WriteFailed);
    expectIdle();
}

TEST_F(ConverterTest, ReadOnlyFolderIsReported) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders; see the test above";
    fs::create_directory(dir_.path("ro"));
    writeFile(dir_.path("ro/song.bin"), makeImage(2));
    fs::permissions(dir_.path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
    converter_.btnConvert_Click(dir_.path("ro/song.bin"));
    EXPECT_EQ(host_.messages, messages({"Cannot write the output: " + dir_.path("ro/song.cdg") +
                                        " (Permission denied)"}));
}

TEST_F(ConverterTest, WriteFailureMidwayRemovesTheOutput) {
    // The file-size limit makes a real file fail part way, as a full disk does.
    const std::string image = makeImage(3000);
    writeFile(dir_.path("big.bin"), image);
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 100000;  // of an output of 288,000 bytes
    auto* const previousHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    converter_.btnConvert_Click(dir_.path("big.bin"));
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(host_.messages,
              messages({"Cannot write the output: " + dir_.path("big.cdg") + " (File too large)"}));
    EXPECT_FALSE(fs::exists(dir_.path("big.cdg")));
    EXPECT_EQ(readFile(dir_.path("big.bin")), image);
    expectIdle();
}

TEST_F(ConverterTest, ImageShrinkingDuringTheRunIsAReadError) {
    Converter converter(host_, everySector(2));
    writeFile(dir_.path("song.bin"), makeImage(10));
    host_.onYield = [&](int n) {
        if (n == 2) fs::resize_file(dir_.path("song.bin"), 2448 * 3);
    };
    converter.btnConvert_Click(dir_.path("song.bin"));
    EXPECT_EQ(host_.messages, messages({"Cannot read the image: " + dir_.path("song.bin") +
                                        " (the image ended early)"}));
    EXPECT_FALSE(fs::exists(dir_.path("song.cdg")));
    EXPECT_EQ(converter.lastRun().outcome, ConvertOutcome::ReadFailed);
    EXPECT_FALSE(converter.Converting());
    EXPECT_EQ(host_.caption, "Convert");
}

TEST_F(ConverterTest, TwoConvertersShareNothing) {
    // A second converter (another window, the command line) running inside the
    // first one's yield works on its own files and state.
    FakeHost otherHost;
    Converter other(otherHost, everySector());
    writeFile(dir_.path("a.bin"), makeImage(3, 1));
    writeFile(dir_.path("b.bin"), makeImage(2, 2));
    host_.onYield = [&](int n) {
        if (n == 2) other.btnConvert_Click(dir_.path("b.bin"));
    };
    converter_.btnConvert_Click(dir_.path("a.bin"));
    EXPECT_EQ(readFile(dir_.path("a.cdg")), expectedSubcode(makeImage(3, 1), 3));
    EXPECT_EQ(readFile(dir_.path("b.cdg")), expectedSubcode(makeImage(2, 2), 2));
    EXPECT_EQ(host_.messages, messages({"File(s) converted!"}));
    EXPECT_EQ(otherHost.messages, messages({"File(s) converted!"}));
}

}  // namespace
}  // namespace lyrvox
