#pragma once
// Frame memory used again once the encoder lets go of it: fresh blocks of a few
// megabytes a frame would each cost the kernel a round of page clearing, and a
// block used again needs only the rows that changed since it was last filled (a
// karaoke wipe changes a few rows a frame). A block comes back only when no buffer
// holds it any more (repeats of a frame share it). Outlives the pipeline.
#include <gst/gst.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "video/frame_painter.h"

namespace lyrvox {

class FrameBlocks {
  public:
    FrameBlocks(int width, int height, bool fullChroma);
    ~FrameBlocks();
    FrameBlocks(const FrameBlocks&) = delete;
    FrameBlocks& operator=(const FrameBlocks&) = delete;

    // Bytes of one frame.
    std::size_t size() const { return size_; }

    // A buffer holding the painter's frame.
    GstBuffer* buffer(const FramePainter& painter);

  private:
    struct Block {
        FrameBlocks* owner;
        std::vector<uint8_t> bytes;
        int64_t generation;  // the painter's count when last filled
    };
    static void giveBack(gpointer data);  // in whichever thread freed the memory

    std::size_t width_;
    std::size_t height_;
    bool fullChroma_;
    std::size_t size_;
    std::mutex mutex_;
    std::vector<Block*> free_;
};

}  // namespace lyrvox
