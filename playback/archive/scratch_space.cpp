#include "playback/archive/scratch_space.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace lyrvox {
namespace {

namespace fs = std::filesystem;

// The process id a folder name begins with, or 0.
pid_t ownerOf(const std::string& name) {
    pid_t pid = 0;
    std::size_t i = 0;
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && i < 9; ++i)
        pid = pid * 10 + (name[i] - '0');
    return i > 0 && i < name.size() && name[i] == '-' ? pid : 0;
}

bool processRuns(pid_t pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;  // EPERM: it runs, as someone else
}

}  // namespace

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ScratchSpace::defaultRoot() {
    std::error_code ec;
    fs::path tmp = fs::temp_directory_path(ec);
    if (ec) tmp = "/tmp";
    return (tmp / ("lyrvox-" + std::to_string(getuid()))).string();
}

bool ScratchSpace::rootIsSafe(std::string& error) {
    if (mkdir(root_.c_str(), 0700) != 0 && errno != EEXIST) {
        error = root_ + " (" + std::strerror(errno) + ")";
        return false;
    }
    // In a shared temporary folder anyone may have made this name first: use it
    // only if it is a real folder of ours that nobody else can enter.
    struct stat info {};
    if (lstat(root_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0) {
        error = root_ + " (not a private folder)";
        return false;
    }
    return true;
}

std::unique_ptr<ScratchFolder> ScratchSpace::make(std::string& error) {
    if (!rootIsSafe(error)) return nullptr;
    std::string pattern = root_ + "/" + std::to_string(getpid()) + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        error = root_ + " (" + std::strerror(errno) + ")";
        return nullptr;
    }
    return std::make_unique<ScratchFolder>(name.data());
}

int ScratchSpace::removeLeftovers() {
    std::string ignored;
    if (!rootIsSafe(ignored)) return 0;
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
        const pid_t pid = ownerOf(it->path().filename().string());
        if (pid <= 0 || processRuns(pid)) continue;
        std::error_code removeError;
        removed += fs::remove_all(it->path(), removeError) > 0;
    }
    return removed;
}

std::optional<std::uint64_t> ScratchSpace::freeBytes() const {
    struct statvfs info {};
    if (statvfs(root_.c_str(), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;  // as an ordinary user
}

}  // namespace lyrvox
