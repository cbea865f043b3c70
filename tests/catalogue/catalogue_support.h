#pragma once
// Shared pieces of the bad-input catalogue: random bytes, a folder's files to
// compare before and after, a small tmpfs where mounting is allowed, and a
// convert host that records what the window shows.
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "extract/converter.h"
#include "tests/extract/temp_folder.h"

namespace lyrvox::testing {

// `size` random bytes.
inline std::string bytesOf(std::size_t size, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
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

// A tmpfs of `bytes` mounted on a folder of its own, or nothing when mounting is
// not allowed here (not root, no mount namespace rights).
class SmallDisk {
  public:
    explicit SmallDisk(std::size_t bytes) {
        const std::string options = "size=" + std::to_string(bytes);
        if (::mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, options.c_str()) == 0)
            mounted_ = true;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.path().c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    std::string path(const std::string& name = {}) const { return folder_.path(name); }
    // Fills the disk to the last byte.
    void fill() const {
        std::ofstream out(path("filler"), std::ios::binary);
        const std::string block(4096, 'x');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size()))) {
        }
        std::ofstream tail(path("filler2"), std::ios::binary);
        while (tail.put('x')) {
        }
    }

  private:
    TempFolder folder_;
    bool mounted_ = false;
};

inline bool runningAsRoot() {
    return ::geteuid() == 0;
}

// Records what the window shows; onYield runs inside the n-th yield (from 1), as
// events served by the event queue would.
class RecordingConvertHost : public ConvertHost {
  public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetConvertCaption(const std::string& text) override { caption = text; }
    void SetFileNameLabel(const std::string& text) override {
        fileName = text;
        if (!text.empty()) fileNames.push_back(text);
    }
    void SetProgressLabel(const std::string& text) override {
        progress = text;
        if (!text.empty()) progressTexts.push_back(text);
    }
    void Yield() override {
        if (onYield) onYield(++yields);
    }

    std::vector<std::string> messages, fileNames, progressTexts;
    std::string caption = "Convert", fileName = "-", progress;
    int yields = 0;
    std::function<void(int)> onYield;
};

}  // namespace lyrvox::testing
