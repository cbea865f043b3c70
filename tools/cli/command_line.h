#pragma once
// The subcommands' arguments through QCommandLineParser, with problems reported
// in lyrvox-cdg's own words.
#include <QCommandLineParser>
#include <QString>
#include <string>
#include <vector>

namespace lyrvox {

struct ParseProblem {
    enum Kind { None, UnknownOption, MissingValue } kind = None;
    std::string argument;  // the option as the user typed it
};

// Parses `args` (the words after the subcommand's name). Options may come before
// or after the positional arguments; "--" ends them, so that the words after it
// are names even when they begin with '-'.
ParseProblem parseArguments(QCommandLineParser& parser, const std::vector<std::string>& args);

// An argument from the parser as the bytes the user gave.
std::string toStd(const QString& text);

// The library file the player uses: its data folder under the player's own names
// (made when missing).
std::string playerLibraryFile();

}  // namespace lyrvox
