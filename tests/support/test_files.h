#pragma once
// Files for tests: a temporary folder removed with its content, whole-file reads
// and writes, a folder's files to compare before and after, random bytes, and
// disc images whose every byte tells where it came from.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>

namespace lyrvox::testing {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lyrvox-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder itself, or a name inside it.
    std::string path(const std::string& name = {}) const {
        return name.empty() ? path_.string() : (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

template <typename Bytes>
inline void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file below `folder`, by relative path, with its content.
inline std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec))
            files[std::filesystem::relative(it->path(), folder).string()] =
                readFile(it->path().string());
    }
    return files;
}

inline std::string randomBytes(std::size_t size, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// An image of `sectors` 2448-byte sectors whose bytes differ from sector to
// sector and from offset to offset, so a block taken from the wrong place shows.
inline std::string makeImage(std::int64_t sectors, int seed = 0) {
    std::string image(static_cast<std::size_t>(sectors * 2448), '\0');
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(
            (i / 2448 * 31 + i % 2448 * 7 + static_cast<std::size_t>(seed)) & 0xFF);
    }
    return image;
}

// The subcode an extraction of the first `sectors` sectors of `image` must give.
inline std::string expectedSubcode(const std::string& image, std::int64_t sectors) {
    std::string out;
    for (std::int64_t s = 0; s < sectors; ++s)
        out.append(image, static_cast<std::size_t>(s * 2448 + 2352), 96);
    return out;
}

}  // namespace lyrvox::testing
