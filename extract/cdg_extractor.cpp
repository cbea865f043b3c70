#include "extract/cdg_extractor.h"

namespace lyrvox {
// Placeholder; the extractor is filled in by its own change.
ExtractResult ExtractSubcode(std::istream&, std::int64_t, std::ostream&,
                             const std::function<bool(const ExtractProgress&)>&) {
    return {};
}
}  // namespace lyrvox
