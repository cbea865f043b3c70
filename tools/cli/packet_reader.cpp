#include "tools/cli/packet_reader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "playback/cdg/subcode_packet.h"
#include "util/text_helpers.h"

namespace lyrvox {
namespace {
constexpr std::size_t kBlockPackets = 4096;  // 96 KiB per read
}  // namespace

std::string PacketReader::open(const std::string& path) {
    namespace fs = std::filesystem;
    // Built piece by piece: GCC 12 warns wrongly about "'" + std::string&&.
    std::string name(1, '\'');
    name += escapeForTerminal(path);
    name += '\'';
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) return name + ": no such file";
    // The system's own reason: a name too long for it, a folder it may not search.
    if (ec) return name + ": " + ec.message();
    if (fs::is_directory(st)) return name + " is a folder, not a CD+G file";
    if (!fs::is_regular_file(st)) return name + " is not an ordinary file";
    errno = 0;
    in_.open(path, std::ios::binary);
    if (!in_) return name + " cannot be read (" + std::strerror(errno != 0 ? errno : EIO) + ")";
    return {};
}

std::size_t PacketReader::next(std::vector<uint8_t>& buffer, bool& error) {
    buffer.resize(kBlockPackets * kPacketSize);
    std::size_t filled = 0;
    while (filled < buffer.size() && in_) {
        in_.read(reinterpret_cast<char*>(buffer.data() + filled),
                 static_cast<std::streamsize>(buffer.size() - filled));
        const auto got = static_cast<std::size_t>(in_.gcount());
        filled += got;
        bytes_ += got;
        if (got == 0) break;
    }
    if (in_.bad()) {
        error = true;
        return 0;
    }
    if (filled % kPacketSize != 0) tail_ = filled % kPacketSize;
    return filled / kPacketSize;
}

}  // namespace lyrvox
