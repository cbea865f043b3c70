#include "playback/media/gst_file_uri.h"

#include <glib.h>

#include <cstring>

namespace lyrvox {

std::string gstFileUri(const std::string& path) {
    std::string absolute = path;
    if (!path.starts_with('/')) {
        gchar* folder = g_get_current_dir();  // bytes, as the system gives them
        absolute = std::string(folder) + "/" + path;
        g_free(folder);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : absolute) {
        const auto byte = static_cast<unsigned char>(c);
        if (g_ascii_isalnum(static_cast<gchar>(byte)) ||
            (byte != 0 && std::strchr("-._~/", byte) != nullptr)) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0xF];
        }
    }
    return uri;
}

}  // namespace lyrvox
