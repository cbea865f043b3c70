#pragma once
// File URIs for GStreamer made from a path's bytes (Qt-free).
#include <string>

namespace lyrvox {

// A file URI for a path of any bytes: every byte but the unreserved ones and the
// separators percent-encoded, so that a name in no known encoding reaches the file
// as it is on disk. A relative path is taken from the current folder.
std::string gstFileUri(const std::string& path);

}  // namespace lyrvox
