#include "util/text_helpers.h"

namespace lyrvox {
// Placeholder; the helpers are filled in by their own change.
std::string FolderOf(const std::string&) { return {}; }
std::string ExtensionOf(const std::string&) { return {}; }
std::string FileNameOf(const std::string& path) { return path; }
std::string StripExtension(const std::string& name) { return name; }
std::string PacketsToTime(double) { return "00:00"; }
bool FileExists(const std::string&) { return false; }
std::optional<std::string> findFileIgnoreCase(const std::string&) { return std::nullopt; }
}  // namespace lyrvox
