#include "util/replacing_file.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <streambuf>
#include <utility>

namespace lyrvox {
namespace {

std::error_code systemError(int e = errno) {
    return std::error_code(e, std::generic_category());
}

// The longest file name most Linux file systems take; the temporary name cuts
// the target's name to fit, the final rename still reports a name too long.
constexpr std::size_t kNameMax = 255;
constexpr std::size_t kTemporaryExtra = sizeof(".") - 1 + sizeof(".XXXXXX.part") - 1;

}  // namespace

// Hands every write straight to the file: the callers write large blocks.
class ReplacingFile::Buffer : public std::streambuf {
  public:
    explicit Buffer(ReplacingFile& file) : file_(file) {}

  protected:
    std::streamsize xsputn(const char* data, std::streamsize size) override {
        return file_.write(data, static_cast<std::size_t>(size)) ? size : 0;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return file_.write(&byte, 1) ? c : traits_type::eof();
    }

  private:
    ReplacingFile& file_;
};

ReplacingFile::ReplacingFile(std::string target)
    : target_(std::move(target)),
      buffer_(std::make_unique<Buffer>(*this)),
      stream_(buffer_.get()) {}

ReplacingFile::~ReplacingFile() {
    discard();
}

std::error_code ReplacingFile::open() {
    discard();
    error_.clear();
    stream_.clear();
    const std::size_t slash = target_.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string name = target_.substr(nameStart, kNameMax - kTemporaryExtra);
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = target_.substr(0, nameStart) + "." + name + ".";
        for (int i = 0; i < 6; ++i) path += kLetters[pick(random)];
        path += ".part";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = std::move(path);
            return {};
        }
        if (errno != EEXIST) return error_ = systemError();
    }
    return error_ = std::make_error_code(std::errc::file_exists);
}

bool ReplacingFile::write(const char* data, std::size_t size) {
    if (!error_ && fd_ < 0) error_ = std::make_error_code(std::errc::bad_file_descriptor);
    while (!error_ && size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error_ = written < 0 ? systemError() : std::make_error_code(std::errc::io_error);
            break;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return !error_;
}

std::error_code ReplacingFile::commit(bool replaceExisting) {
    std::error_code result = error_;
    if (!result && fd_ < 0) result = std::make_error_code(std::errc::bad_file_descriptor);
    if (!result && ::fsync(fd_) != 0) result = systemError();
    // A file system may report a failed write only when the file is closed.
    if (fd_ >= 0 && ::close(std::exchange(fd_, -1)) != 0 && !result) result = systemError();
    if (!result) result = putInPlace(replaceExisting);
    if (result) {
        discard();
        return error_ = result;
    }
    temporary_.clear();
    // The new name itself reaches the disk with the folder.
    const std::size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

std::error_code ReplacingFile::putInPlace(bool replaceExisting) {
    if (replaceExisting) {
        return ::rename(temporary_.c_str(), target_.c_str()) == 0 ? std::error_code()
                                                                  : systemError();
    }
    // A second name for the finished file is created only when the name is free.
    if (::link(temporary_.c_str(), target_.c_str()) == 0) {
        ::unlink(temporary_.c_str());
        return {};
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return systemError();
    // File systems without hard links (FAT on a memory stick): an exclusive rename.
    if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) ==
        0) {
        return {};
    }
    return systemError();
}

void ReplacingFile::discard() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace lyrvox
