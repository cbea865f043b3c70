#pragma once
// Pure pieces of the control window that need no widgets: the command line, the
// frame rates, the About text and file-system names.
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "app/dialog_provider.h"

namespace lyrvox {

// The arguments, as the bytes the system gave them (a Latin-1 name from an old rip
// is no UTF-8 and must reach the file system unchanged), joined with single
// spaces into one text; the program plays a file at start-up exactly when this
// text is not empty.
std::string commandLineText(const std::vector<std::string>& args);
// The file to play: the joined arguments without one leading and then one
// trailing double quote. Quotes inside the text stay.
std::string joinCommandLine(const std::vector<std::string>& args);

// The Open dialog's file types, in list order: "Lyrvox Files" (every kind of song),
// "CDG Files (*.CDG)", "MPEG Audio Files (*.MP3)", "ActiveMovie Files".
std::vector<FileFilter> songFileFilters();
// A name Open would list: one of those types, letter case aside.
bool isSongFileName(const QString& fileName);

// The rates of the FPS list, in list order.
QStringList frameRateEntries();
// Timer interval in ms for an entry of the list: 1000 / its leading decimal
// number, to the nearest whole millisecond, halves to even. 0 when the text does
// not start with a positive number.
int frameIntervalMs(const QString& entry);

// "Key +2, Tempo 90%": a key shift in semitones and a tempo in percent.
QString keyAndTempoText(int semitones, int tempoPercent);

// The About text: four lines each ended by a lone "\r".
QString aboutText(const QString& version, const QString& releaseDate,
                  const QString& documentationPath);
// "lyrvox.txt" in the given folder, without a doubled separator.
QString documentationPath(const QString& programFolder);
// The guide Info opens: lyrvox.txt beside the program (a build tree, a copy run
// from its own folder), else in `installedFolder`, relative to the program's
// folder (an installed program: bin/ -> ../share/lyrvox). When neither is
// readable, the one beside the program, the name the messages have always shown.
QString findDocumentation(const QString& programFolder, const QString& installedFolder);

// Paths cross between QString and the core's UTF-8 std::string only here.
std::string toFsPath(const QString& path);
QString fromFsPath(const std::string& path);
// A text holding file names as the user sees it: bytes that are not UTF-8 become
// replacement characters and control characters (a newline in a name) visible
// marks, so that the text is never cut or broken over lines.
QString visibleText(const std::string& text);

// The folder of a path with its trailing '/', as saved for the next Open.
QString folderWithSeparator(const QString& path);

}  // namespace lyrvox
