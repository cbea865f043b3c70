// lyrvox-cdg: the player's CD+G machine and extractor on the command line.
#include <iostream>
#include <string>
#include <vector>

#include "tools/cli_commands.h"

namespace {

const char kUsage[] =
    "usage: lyrvox-cdg render FILE [--packets N | --time SECONDS] [-o OUT] [--sha256]\n"
    "       lyrvox-cdg info FILE\n"
    "       lyrvox-cdg extract IMAGE_OR_STEM\n"
    "       lyrvox-cdg --help\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "render") return lyrvox::runRender(args, std::cout, std::cerr);
    if (command == "info") return lyrvox::runInfo(args, std::cout, std::cerr);
    if (command == "extract") return lyrvox::runExtract(args, std::cout, std::cerr);
    std::cerr << "lyrvox-cdg: unknown command '" << command << "'\n" << kUsage;
    return 2;
}
