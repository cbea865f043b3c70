#include "tools/cli_commands.h"

namespace lyrvox {
// Placeholder; extract is filled in by its own change.
int runExtract(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
    err << "lyrvox-cdg: extract is not built yet\n";
    return 1;
}
}  // namespace lyrvox
