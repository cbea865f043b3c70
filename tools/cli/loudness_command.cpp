// lyrvox-cdg loudness: each song's integrated loudness (EBU R128) and true peak.
#include <cmath>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "playback/archive/scratch_space.h"
#include "playback/media/loudness_meter.h"
#include "tools/cli/cli_commands.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {

// One decimal, as loudness meters show it; "-inf" where there is nothing above the
// gate (silence).
std::string decibels(double value) {
    if (!std::isfinite(value)) return "-inf";
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << (std::abs(value) < 0.05 ? 0.0 : value);
    return text.str();
}

}  // namespace

int runLoudness(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args.front().starts_with('-')) {
        err << "usage: lyrvox-cdg loudness SONG...\n";
        return 2;
    }
    const std::string scratch = ScratchSpace::defaultRoot();
    int status = 0;
    for (const std::string& song : args) {
        const LoudnessReading reading = measureSongLoudness(song, scratch);
        if (!reading.ok()) {
            err << "lyrvox-cdg: " << escapeForTerminal(song) << ": " << reading.error << "\n";
            status = 1;
            continue;
        }
        out << decibels(reading.integratedLufs.value_or(-INFINITY)) << "\t"
            << decibels(reading.truePeakDbtp) << "\t" << escapeForTerminal(song) << "\n";
    }
    return status;
}

}  // namespace lyrvox
