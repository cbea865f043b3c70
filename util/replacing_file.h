#pragma once
// An output file that appears under its name only once it is whole. The bytes go
// to a hidden temporary file in the same folder (".NAME.XXXXXX.part", so that the
// final rename stays on one file system), which commit() writes through to the
// disk and then puts under the name. Until then an existing file of that name is
// untouched; a failure, discard() or the destructor removes the temporary file.
// A process killed outright can leave the hidden temporary file, never a cut file
// under the final name. Plain C++ on POSIX calls.
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>

namespace lyrvox {

class ReplacingFile {
  public:
    // No file is touched until open().
    explicit ReplacingFile(std::string target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file, mode 0666 less the umask, as any new file gets.
    std::error_code open();
    // Appends bytes; false once any write has failed (error() tells why).
    bool write(const char* data, std::size_t size);
    // The same writes as a stream, unbuffered; a failed write sets badbit.
    std::ostream& stream() { return stream_; }
    std::error_code error() const { return error_; }

    // Writes the bytes through to the disk and puts the file under its name. With
    // replaceExisting false, whatever holds the name (a file, a link, a folder,
    // even one that appeared after the caller looked) is left alone and the
    // commit fails with "File exists". Any failure removes the temporary file.
    std::error_code commit(bool replaceExisting);
    // Removes the temporary file; the target stays as it was.
    void discard();

    const std::string& target() const { return target_; }
    const std::string& temporaryPath() const { return temporary_; }  // "" when none

  private:
    class Buffer;
    std::error_code putInPlace(bool replaceExisting);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    std::error_code error_;
    std::unique_ptr<Buffer> buffer_;
    std::ostream stream_;
};

}  // namespace lyrvox
