#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/extract/temp_folder.h"
#include "tools/cli_commands.h"

namespace lyrvox {
namespace {

using testing::expectedSubcode;
using testing::makeImage;
using testing::readFile;
using testing::writeFile;

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun extract(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = runExtract(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(CliExtract, ExitStatusIsZeroOnlyWhenEverythingWasConverted) {
    testing::TempFolder dir;
    writeFile(dir.path("song.bin"), makeImage(2));
    CliRun run = extract({dir.path("song.bin")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "File(s) converted!\n");
    EXPECT_EQ(run.err, "");  // no progress: err is not a terminal
    EXPECT_EQ(readFile(dir.path("song.cdg")), expectedSubcode(makeImage(2), 2));

    writeFile(dir.path("disc02.BIN"), makeImage(1, 3));
    EXPECT_EQ(extract({dir.path("disc")}).status, 0);
    EXPECT_EQ(readFile(dir.path("disc02.cdg")), expectedSubcode(makeImage(1, 3), 1));

    writeFile(dir.path("bad.bin"), std::string(2449, 'x'));
    writeFile(dir.path("x.cdg"), makeImage(1));
    const std::pair<const char*, std::string> failures[] = {
        {"missing.bin", "File not found!"},
        {"bad.bin", "Not a valid CDRWin CD+G file!"},
        {"x.cdg", "The output would overwrite the image: " + dir.path("x.cdg")}};
    for (const auto& [name, message] : failures) {
        run = extract({dir.path(name)});
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.out, "") << name;
        EXPECT_EQ(run.err, "lyrvox-cdg: " + message + "\n");
    }
    run = extract({dir.path("none")});  // a series with no member
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no image found"), std::string::npos);
}

TEST(CliExtract, Usage) {
    CliRun run = extract({});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
    EXPECT_EQ(extract({"a.bin", "b.bin"}).status, 2);
    run = extract({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage:"), std::string::npos);
}

}  // namespace
}  // namespace lyrvox
