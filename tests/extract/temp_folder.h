#pragma once
// A fresh temporary folder, removed with its content at the end of the test, and
// small file helpers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace lyrvox::testing {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lyrvox-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;

    // The folder itself, or a name inside it.
    std::string path(const std::string& name = {}) const {
        return name.empty() ? path_.string() : (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An image of `sectors` 2448-byte sectors whose bytes differ from sector to
// sector and from offset to offset, so a block taken from the wrong place shows.
inline std::string makeImage(std::int64_t sectors, int seed = 0) {
    std::string image(static_cast<std::size_t>(sectors * 2448), '\0');
    for (std::size_t i = 0; i < image.size(); ++i) {
        const std::size_t sector = i / 2448, offset = i % 2448;
        image[i] =
            static_cast<char>((sector * 31 + offset * 7 + static_cast<std::size_t>(seed)) & 0xFF);
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
