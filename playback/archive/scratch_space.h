#pragma once
// Private folders for files that exist only while a song plays (the entries of a
// zipped song). They live in one folder per user, readable by that user alone,
// and each is named after the process that made it, so that what a killed run
// left behind can be told from what a running one uses and removed.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lyrvox {

// One folder; removed with everything in it when this object goes.
class ScratchFolder {
  public:
    explicit ScratchFolder(std::string path) : path_(std::move(path)) {}
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }  // with no trailing separator

  private:
    std::string path_;
};

class ScratchSpace {
  public:
    // `root` is made (mode 0700) when first needed. The usual root is
    // defaultRoot(); tests give their own.
    explicit ScratchSpace(std::string root) : root_(std::move(root)) {}
    // "<system temporary folder>/lyrvox-<uid>".
    static std::string defaultRoot();

    // A new empty folder "<pid>-XXXXXX" inside the root; nullptr with `error` set
    // when the root is unsafe (not a folder of ours, open to others) or full.
    std::unique_ptr<ScratchFolder> make(std::string& error);
    // Removes the folders of processes that no longer run. Returns how many.
    int removeLeftovers();
    // The bytes that may still be written in the root's file system; nullopt when
    // the system cannot tell.
    std::optional<std::uint64_t> freeBytes() const;
    const std::string& root() const { return root_; }

  private:
    bool rootIsSafe(std::string& error);
    std::string root_;
};

}  // namespace lyrvox
