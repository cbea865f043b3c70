// The text helpers over arbitrary strings (invalid UTF-8 and very long paths
// included): no crash, and the results keep their relations to the argument.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/text_helpers.h"

namespace {
void check(bool ok) {
    if (!ok) std::abort();
}
bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}
bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // Long paths: repeat the input when its first byte asks for it.
    if (size > 0 && data[0] == 0xFF) {
        std::string longer;
        while (longer.size() < 70000) longer += text;
        text = longer;
    }
    const std::string folder = lyrvox::folderOf(text);
    check(startsWith(text, folder));
    const std::string name = lyrvox::fileNameOf(text);
    check(endsWith(text, name));
    const std::string ext = lyrvox::extensionOf(text);
    check(endsWith(text, ext));
    const std::string stem = lyrvox::stripExtension(text);
    check(startsWith(text, stem));

    double packets = 0;
    if (size >= sizeof(double)) std::memcpy(&packets, data, sizeof packets);
    const std::string time = lyrvox::packetsToTime(packets);
    check(time.size() >= 5 && time.find(':') != std::string::npos);
    const std::string seconds = time.substr(time.find(':') + 1);
    check(seconds.size() == 2 && seconds < "60");

    // Look-ups of odd names must answer, never throw; keep them inside a folder
    // that holds nothing of interest.
    (void)lyrvox::findFileIgnoreCase("/nonexistent-lyrvox/" + text);
    check(lyrvox::equalsIgnoreAsciiCase(text, lyrvox::toLowerAscii(text)));

    // Escaped for the terminal: nothing is lost and no control byte is left.
    const std::string shown = lyrvox::escapeForTerminal(text);
    check(shown.size() >= text.size());
    for (const char c : shown) check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    return 0;
}
