#pragma once
// File URIs for GStreamer's playbin, from paths of any bytes.
#include <string>

namespace lyrvox {

// Every byte but the unreserved ones and the separators percent-encoded, so that a
// name in no known encoding reaches the file as it is on disk. A relative path is
// taken from the current folder.
std::string fileUri(const std::string& path);

}  // namespace lyrvox
