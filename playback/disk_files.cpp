#include "playback/disk_files.h"

#include <sys/stat.h>

#include "util/steady_clock.h"
#include "util/text_helpers.h"

namespace lyrvox {

DiskPacketSource::~DiskPacketSource() {
    std::fclose(file_);
}

std::size_t DiskPacketSource::read(uint8_t* buffer, std::size_t size) {
    return std::fread(buffer, 1, size, file_);
}

bool DiskPacketSource::atEnd() {
    const int c = std::fgetc(file_);
    if (c == EOF) return true;  // end, or an error: nothing more can be read either way
    std::ungetc(c, file_);
    return false;
}

std::optional<std::string> DiskSessionFiles::find(const std::string& path) {
    return findFileIgnoreCase(path);
}

std::unique_ptr<PacketSource> DiskSessionFiles::open(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    // fopen accepts a directory on POSIX systems; only plain files hold packets.
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return std::make_unique<DiskPacketSource>(file);
}

double SteadySessionClock::seconds() {
    return steadyMilliseconds() / 1000.0;
}

UnpackedSong DiskSessionFiles::unpackZip(const std::string& path) {
    return unpackSongZip(path, scratch_);
}

}  // namespace lyrvox
