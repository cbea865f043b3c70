#pragma once
// A CD+G file read in blocks of whole packets, never loaded whole: what the
// render and info commands of lyrvox-cdg read songs with.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace lyrvox {

class PacketReader {
  public:
    // Empty = opened; otherwise a sentence for the user, the name in it escaped
    // for the terminal. Folders, devices and FIFOs are refused: only an ordinary
    // file holds packets.
    std::string open(const std::string& path);

    // The next block of whole packets in `buffer` (0 at the end). `error` is set on
    // a read failure. A block is filled completely unless the file ends, so a
    // partial packet can only be the file's tail, which is counted but never
    // handed out.
    std::size_t next(std::vector<uint8_t>& buffer, bool& error);

    unsigned long long bytes() const { return bytes_; }  // read so far
    std::size_t tail() const { return tail_; }           // bytes after the last whole packet

  private:
    std::ifstream in_;
    unsigned long long bytes_ = 0;
    std::size_t tail_ = 0;
};

}  // namespace lyrvox
