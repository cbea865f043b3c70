#pragma once
// One video frame of the CD+G picture: the visible 294x204 window scaled
// nearest-neighbour into a width x height frame, at its own shape between black
// bars or stretched to fill it, as planar YUV with BT.709 colours in the limited
// range that video players expect: 4:2:0 (I420, what every player and television
// decodes; the colour of each 2x2 block is their average) or 4:4:4 (Y444, every
// pixel's own colour). Colours the song marks transparent show a backdrop behind
// the picture when one is given. Plain C++.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/picture_fit.h"
#include "playback/cdg/cdg_machine.h"

namespace lyrvox {

// What shows where the song's colours are transparent: `pixels` of the picture's
// size (FramePainter::pictureRect()), rows of 0x??RRGGBB words; `serial` changes
// whenever they do. `clearTransparent`: in songs that mark no colour transparent,
// the colour of the last memory preset shows it.
struct FrameBackdrop {
    const uint32_t* pixels = nullptr;
    int64_t serial = 0;
    bool clearTransparent = false;
};

class FramePainter {
  public:
    // width and height even, at least 2 each.
    FramePainter(int width, int height, bool stretch, bool fullChroma = false);

    // Paints the machine's picture as it shows now, over `behind` where its colours
    // are transparent. False, with the frame left as it was, when the frame would be
    // the one painted last time.
    bool paint(const CdgMachine& machine, const FrameBackdrop& behind = {});

    // Y plane (width x height), then Cb and Cr (width/2 x height/2 each, or width x
    // height with full chroma).
    const std::vector<uint8_t>& yuv() const { return yuv_; }
    // Counts the paints that changed the frame (the first is 1). A frame row's count
    // is the paint that last changed it: a copy of the frame taken at count g is
    // brought up to date by the rows whose count is above g (for 4:2:0 the two rows
    // of a chroma row change together).
    int64_t generation() const { return generation_; }
    const std::vector<int64_t>& rowGenerations() const { return rowGeneration_; }
    // Where the picture lies inside the frame.
    const FitRect& pictureRect() const { return rect_; }

  private:
    void drawChangedRows(int hOffset, int top);
    void drawMixed(const CdgMachine& machine, const uint32_t* behind);
    void convert();
    void convertFull();

    int width_;
    bool fullChroma_;
    int height_;
    FitRect rect_;
    std::vector<uint32_t> argb_;       // the whole frame, bars black
    std::vector<uint8_t> rowChanged_;  // per frame row: to be converted again
    std::vector<uint16_t> columns_;    // picture column of each frame column in the picture
    std::vector<int64_t> rowGeneration_;
    int64_t generation_ = 0;
    bool first_ = true;
    std::vector<uint32_t> shown_;  // the 300x216 picture painted last
    std::vector<uint32_t> now_;
    int16_t hOffset_ = -1;
    int16_t vOffset_ = -1;
    bool mixed_ = false;  // the last paint laid the picture over a backdrop
    std::array<uint8_t, 16> opacity_{};
    int64_t behindSerial_ = 0;
    std::vector<uint8_t> yuv_;
};

}  // namespace lyrvox
