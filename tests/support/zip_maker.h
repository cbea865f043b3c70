#pragma once
// Zips for tests, written with libzip: entries by their raw name bytes (no UTF-8
// flag unless the bytes are UTF-8, as Windows' own zip writer leaves CP437 names),
// deflated, stored or encrypted; then patched where libzip would not write what
// hostile archives hold.
#include <zip.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace lyrvox::testing {

struct ZipEntry {
    std::string name;
    std::string bytes;
    bool store = false;
    bool encrypt = false;
};

inline void writeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) throw std::runtime_error("cannot make " + path);
    for (const ZipEntry& e : entries) {
        zip_source_t* source = zip_source_buffer(z, e.bytes.data(), e.bytes.size(), 0);
        const zip_int64_t i = zip_file_add(z, e.name.c_str(), source, ZIP_FL_ENC_RAW);
        if (i < 0) throw std::runtime_error(zip_strerror(z));
        if (e.encrypt)
            zip_file_set_encryption(z, static_cast<zip_uint64_t>(i), ZIP_EM_AES_256, "secret");
        if (e.store) zip_set_file_compression(z, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
    }
    if (zip_close(z) != 0) throw std::runtime_error(zip_strerror(z));
}

// Every `from` in the bytes replaced by `to` of the same length: a name in both the
// local and the central header.
inline std::string replaceAll(std::string bytes, const std::string& from, const std::string& to) {
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + 1))
        bytes.replace(at, to.size(), to);
    return bytes;
}

// The compression method of every entry set to `method` (9 Deflate64, 14 LZMA) in
// both of its headers, as a writer that uses it would leave them.
inline std::string setMethod(std::string bytes, std::uint16_t method) {
    const auto put = [&](std::size_t at) {
        bytes[at] = static_cast<char>(method & 0xFF);
        bytes[at + 1] = static_cast<char>(method >> 8);
    };
    for (std::size_t at = bytes.find("PK\x03\x04"); at != std::string::npos;
         at = bytes.find("PK\x03\x04", at + 1))
        put(at + 8);
    for (std::size_t at = bytes.find("PK\x01\x02"); at != std::string::npos;
         at = bytes.find("PK\x01\x02", at + 1))
        put(at + 10);
    return bytes;
}

// One second of graphics: a memory preset, then blank packets.
inline std::string secondOfGraphics() {
    std::string cdg(24 * 300, '\0');
    cdg[0] = 0x09;  // TV graphics
    cdg[1] = 0x01;  // memory preset
    return cdg;
}

}  // namespace lyrvox::testing
