#pragma once
// SHA-256 for golden pictures and the command-line tool's --sha256.
#include <cstddef>
#include <cstdint>
#include <string>

namespace lyrvox {

// Lowercase hex digest of `size` bytes.
std::string sha256Hex(const uint8_t* data, std::size_t size);

}  // namespace lyrvox
