// lyrvox-cdg render and info through their entry points, with string streams.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/packet_builder.h"
#include "tools/cli_commands.h"

namespace lyrvox {
namespace {

using namespace lyrvox::testing;
using Args = std::vector<std::string>;

const std::string kCorpus = LYRVOX_CORPUS_DIR;
const std::string kOutput = LYRVOX_TEST_OUTPUT_DIR;

struct Result {
    int status;
    std::string out, err;
    bool says(const std::string& text) const { return err.find(text) != std::string::npos; }
};

template <typename Command>
Result call(Command command, const Args& args) {
    std::ostringstream out, err;
    const int status = command(args, out, err);
    return {status, out.str(), err.str()};
}
Result render(const Args& args) {
    return call(runRender, args);
}
Result info(const Args& args) {
    return call(runInfo, args);
}

std::string firstBytes(const std::string& path, std::size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string s(n, '\0');
    in.read(s.data(), static_cast<std::streamsize>(n));
    return s.substr(0, static_cast<std::size_t>(in.gcount()));
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TEST(CliRender, Sha256OfACorpusPictureByPacketsOrTime) {
    const std::string song = kCorpus + "/demokar.cdg";
    const std::string hash9000 =
        "f957e01ec26d98415bc78985717dd073dc8764b5d78202ac0cc275c6b79390a6\n";
    const Result byPackets = render({song, "--packets", "9000", "--sha256"});
    EXPECT_EQ(byPackets.status, 0) << byPackets.err;
    EXPECT_EQ(byPackets.out, hash9000);
    EXPECT_EQ(render({"--time", "30", song, "--sha256"}).out, hash9000);
    EXPECT_EQ(render({song, "--sha256"}).out,  // every packet
              "8fe17e1c9edf08cbcd123d9ec01b0ab7b6ecfb0ab3ca83b610d78af4b777efbb\n");
}

TEST(CliRender, WritesPngOrBmpByTheExtension) {
    const std::string song = kCorpus + "/capemay.cdg";
    const std::string png = kOutput + "/cli-render.png", bmp = kOutput + "/cli-render.BMP";
    std::filesystem::remove(png);
    std::filesystem::remove(bmp);
    EXPECT_EQ(render({song, "--packets", "2000", "-o", png}).status, 0);
    EXPECT_EQ(firstBytes(png, 4), "\x89PNG");
    EXPECT_EQ(render({song, "-o", bmp}).status, 0);
    EXPECT_EQ(firstBytes(bmp, 2), "BM");
    const Result unknown = render({song, "-o", kOutput + "/x.gif"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.says(".bmp or .png"));

    // A song that happens to carry a picture extension is never overwritten.
    const std::string named = kOutput + "/song-named.png";
    writeFile(named, fileOf({memoryPreset(1)}));
    EXPECT_EQ(render({named, "-o", named}).status, 2);
    EXPECT_EQ(std::filesystem::file_size(named), 24u);

    const Result unwritable = render({song, "-o", kOutput + "/no-such-folder/x.png"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(unwritable.says("cannot write"));
}

TEST(CliRender, RejectsBadNumbersAndOptions) {
    const std::string song = kCorpus + "/capemay.cdg";
    for (const Args& args : std::vector<Args>{
             {song, "--packets", "abc", "--sha256"},
             {song, "--packets", "-5", "--sha256"},
             {song, "--packets", "12x", "--sha256"},
             {song, "--packets", "99999999999999999999999", "--sha256"},
             {song, "--time", "nan", "--sha256"},
             {song, "--time", "-1", "--sha256"},
             {song, "--time", "1e300", "--sha256"},
             {song, "--packets", "5", "--time", "1", "--sha256"},
             {song, "--sha256", "--packets"},
             {song, "--bogus"},
             {song},
             {"--sha256"},
         }) {
        const Result r = render(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_TRUE(r.says("usage:"));
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_TRUE(render({song, "--packets", "abc", "--sha256"}).says("'abc'"));
}

TEST(CliRender, MissingFileAndFolderFailWithAMessage) {
    const Result missing = render({kOutput + "/no-such.cdg", "--sha256"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.says("no such file"));
    const Result folder = render({kOutput, "--sha256"});
    EXPECT_EQ(folder.status, 1);
    EXPECT_TRUE(folder.says("folder"));
    EXPECT_EQ(info({kOutput + "/no-such.cdg"}).status, 1);
    EXPECT_EQ(info({kOutput}).status, 1);
    EXPECT_EQ(info({}).status, 2);
}

TEST(CliInfo, CountsInstructionsAndWarnsAboutATail) {
    const Result r = info({kCorpus + "/composer04.cdg"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* line : {"packets:   18000\n", "24  scroll copy", "38  tile block XOR"})
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty());

    // Two packets and 5 stray bytes: the tail is reported, never interpreted.
    std::vector<uint8_t> bytes = fileOf({memoryPreset(3), makePacket(0x7F)});
    bytes.insert(bytes.end(), {1, 2, 3, 4, 5});
    const std::string path = kOutput + "/tail.cdg";
    writeFile(path, bytes);
    const Result t = info({path});
    EXPECT_EQ(t.status, 0);
    for (const char* line : {"packets:   2\n", " 1  memory preset", "63  unknown, ignored"})
        EXPECT_NE(t.out.find(line), std::string::npos) << t.out;
    EXPECT_TRUE(t.says("last 5 bytes")) << t.err;
    EXPECT_EQ(render({path, "--sha256"}).status, 0);
    // Asking for more packets than the file holds renders them all, with a note.
    const Result more = render({path, "--packets", "10", "--sha256"});
    EXPECT_EQ(more.status, 0);
    EXPECT_TRUE(more.says("only 2 packets"));
}

}  // namespace
}  // namespace lyrvox
