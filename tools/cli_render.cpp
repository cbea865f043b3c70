#include "tools/cli_commands.h"

namespace lyrvox {
// Placeholder; render and info are filled in by their own change.
int runRender(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "lyrvox-cdg: render is not built yet\n";
    return 1;
}
int runInfo(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "lyrvox-cdg: info is not built yet\n";
    return 1;
}
}  // namespace lyrvox
