#pragma once
// Stateless path, extension, file-finding and time-text helpers shared by the
// player, the extractor and the command-line tool. Paths are UTF-8 bytes; the
// separator is '/' (on Windows builds '\\' and '/' alike). The extension is only
// ever looked for in the last path component, so a full stop in a folder name
// never cuts a path.
#include <optional>
#include <string>
#include <string_view>

namespace lyrvox {

// Folder part with its trailing separator; empty when there is none (or when the
// only separator is the first character).
std::string folderOf(const std::string& path);
// Text after the last full stop of the last component; empty when none, or when
// the only full stops begin the component (".cdg").
std::string extensionOf(const std::string& name);
// Text after the last separator; the whole argument when there is none (or when
// the only separator is the first character).
std::string fileNameOf(const std::string& path);
// Path without everything from the last full stop of the last component on
// ("a.b.c" gives "a.b"); full stops that begin the component belong to the name,
// so ".cdg" is kept whole.
std::string stripExtension(const std::string& name);
// mm:ss for a packet count (300 packets a second); seconds are rounded half to
// even and a rounded 60 carries into the minutes; minutes take as many digits as
// they need. Negative counts and NaN give "00:00".
std::string packetsToTime(double packets);

// The real name on disk of an existing regular file (a name beginning with a full
// stop included: hidden only by convention) whose last component equals
// that of `path` without regard to ASCII letter case (the folder part must exist
// as given, and is returned as given). Prefers an exact match; among several
// case variants the first in byte order wins. No wildcards: '*' and '?' are
// ordinary characters here. Every error gives nullopt.
std::optional<std::string> findFileIgnoreCase(const std::string& path);

// The bytes of a name as text that is safe to print on a terminal and says
// exactly which bytes they were: valid UTF-8 stays as it is, a backslash becomes
// "\\", tab, line feed and carriage return "\t", "\n", "\r", and every other
// control character (C0, DEL, C1) and every byte that is not part of valid UTF-8
// "\xHH" (upper-case hexadecimal), byte by byte.
std::string escapeForTerminal(std::string_view bytes);

// ASCII letters to lower case; every other byte (UTF-8 included) unchanged.
std::string toLowerAscii(std::string text);
std::string toUpperAscii(std::string text);
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace lyrvox
