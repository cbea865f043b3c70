#pragma once
// Subcommands of lyrvox-cdg. Each takes the arguments after its own name, prints
// to out/err and returns the process exit status: 0 done, 1 a file could not be
// read or written, 2 the command line itself was wrong.
#include <ostream>
#include <string>
#include <vector>

namespace lyrvox {

int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runLibrary(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runSingers(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runQueue(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// Prints "LUFS<TAB>dBTP<TAB>SONG" a line; 1 when any song had no audio to measure.
int runLoudness(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Songs to video files: 1 when any song could not be exported or a signal stopped the run.
int runVideo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace lyrvox
