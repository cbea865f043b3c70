#pragma once
// Songs' loudness kept in the library's index, one row a file, valid for the
// version (size and modification time) that was measured: a file changed since is
// measured again. Qt-free.
#include <cstdint>
#include <optional>
#include <string>

namespace lyrvox {

class LibraryIndex;

struct FileVersion {
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;  // ns since the epoch
    bool operator==(const FileVersion&) const = default;
};

// The version of a file on disk; nullopt when it cannot be read.
std::optional<FileVersion> fileVersion(const std::string& path);

struct StoredLoudness {
    std::optional<double> integratedLufs;  // none: silent, or the measuring failed
    std::optional<double> truePeakDbtp;    // none: silent, or the measuring failed
    bool failed = false;                   // not measurable: not tried again for this version
};

class LoudnessStore {
  public:
    explicit LoudnessStore(LibraryIndex& index) : index_(index) {}

    // What was found for this version of the file; nullopt when it has not been
    // measured (or was measured in another version).
    std::optional<StoredLoudness> find(const std::string& path, const FileVersion& version);
    bool save(const std::string& path, const FileVersion& version, const StoredLoudness& loudness);

  private:
    LibraryIndex& index_;
};

}  // namespace lyrvox
