// lyrvox-cdg: the player's CD+G machine and extractor on the command line.
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli/cli_commands.h"
#include "tools/cli/command_line.h"

namespace {

const char kUsage[] =
    "usage: lyrvox-cdg render FILE [--packets N | --time SECONDS] [-o OUT] [--sha256]\n"
    "       lyrvox-cdg info FILE\n"
    "       lyrvox-cdg extract [--force] IMAGE_OR_STEM\n"
    "       lyrvox-cdg library scan DIR... [--db FILE]\n"
    "       lyrvox-cdg library search WORDS... [--db FILE]\n"
    "       lyrvox-cdg singers add [--next-round] NAME... [--db FILE]\n"
    "       lyrvox-cdg singers remove NAME... [--db FILE]\n"
    "       lyrvox-cdg singers list [--db FILE]\n"
    "       lyrvox-cdg queue add [--singer NAME] [--key N] SONG... [--db FILE]\n"
    "       lyrvox-cdg queue list [--db FILE]\n"
    "       lyrvox-cdg loudness SONG...\n"
    "       lyrvox-cdg loudness --update [--db FILE]\n"
    "       lyrvox-cdg video SONG... -o OUT [--format mp4|mkv] [--size WxH] [--stretch]\n"
    "                        [--fps 25|30|50|60] [--key N] [--tempo P] [--offset MS] [--yuv444]\n"
    "                        [--background COLOUR|IMAGE|FOLDER|VIDEO] [--transparent-background]\n"
    "                        [--slide-seconds N] [--jobs N]\n"
    "       lyrvox-cdg --help\n";

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    parser.addPositionalArgument(QStringLiteral("command"), QString());
    // Everything from the command on belongs to the command.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (lyrvox::parseArguments(parser, args).kind != lyrvox::ParseProblem::None) {
        std::cerr << "lyrvox-cdg: unknown command '" << args.front() << "'\n" << kUsage;
        return 2;
    }
    const QStringList words = parser.positionalArguments();
    if (parser.isSet(help) || (!words.isEmpty() && words.front() == QStringLiteral("help"))) {
        std::cout << kUsage;
        return 0;
    }
    if (words.isEmpty()) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = lyrvox::toStd(words.front());
    std::vector<std::string> rest;
    for (qsizetype i = 1; i < words.size(); ++i) rest.push_back(lyrvox::toStd(words[i]));
    if (command == "render") return lyrvox::runRender(rest, std::cout, std::cerr);
    if (command == "info") return lyrvox::runInfo(rest, std::cout, std::cerr);
    if (command == "extract") return lyrvox::runExtract(rest, std::cout, std::cerr);
    if (command == "library") return lyrvox::runLibrary(rest, std::cout, std::cerr);
    if (command == "singers") return lyrvox::runSingers(rest, std::cout, std::cerr);
    if (command == "queue") return lyrvox::runQueue(rest, std::cout, std::cerr);
    if (command == "loudness") return lyrvox::runLoudness(rest, std::cout, std::cerr);
    if (command == "video") return lyrvox::runVideo(rest, std::cout, std::cerr);
    std::cerr << "lyrvox-cdg: unknown command '" << command << "'\n" << kUsage;
    return 2;
}
