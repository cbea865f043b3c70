#include "video/frame_blocks.h"

#include <algorithm>

namespace lyrvox {

FrameBlocks::FrameBlocks(int width, int height, bool fullChroma)
    : width_(static_cast<std::size_t>(width)),
      height_(static_cast<std::size_t>(height)),
      fullChroma_(fullChroma),
      size_(width_ * height_ * 3 / (fullChroma ? 1 : 2)) {}

FrameBlocks::~FrameBlocks() {
    for (Block* block : free_) delete block;
}

GstBuffer* FrameBlocks::buffer(const FramePainter& painter) {
    Block* block = nullptr;
    {
        const std::lock_guard lock(mutex_);
        if (!free_.empty()) {
            block = free_.back();
            free_.pop_back();
        }
    }
    if (block == nullptr) block = new Block{this, std::vector<uint8_t>(size_), -1};
    const std::vector<int64_t>& rows = painter.rowGenerations();
    const uint8_t* from = painter.yuv().data();
    uint8_t* to = block->bytes.data();
    const std::size_t chromaWidth = fullChroma_ ? width_ : width_ / 2;
    const std::size_t chromaRows = fullChroma_ ? height_ : height_ / 2;
    const std::size_t plane = width_ * height_;
    for (std::size_t y = 0; y < height_; ++y) {
        if (rows[y] <= block->generation) continue;
        std::copy_n(from + y * width_, width_, to + y * width_);
        const std::size_t c = fullChroma_ ? y : y / 2;
        if (!fullChroma_ && y % 2 == 1) continue;  // its chroma row came with the row above
        for (std::size_t p = 0; p < 2; ++p) {
            const std::size_t at = plane + p * chromaWidth * chromaRows + c * chromaWidth;
            std::copy_n(from + at, chromaWidth, to + at);
        }
    }
    block->generation = painter.generation();
    return gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, to, size_, 0, size_, block,
                                       &FrameBlocks::giveBack);
}

void FrameBlocks::giveBack(gpointer data) {
    auto* block = static_cast<Block*>(data);
    const std::lock_guard lock(block->owner->mutex_);
    block->owner->free_.push_back(block);
}

}  // namespace lyrvox
