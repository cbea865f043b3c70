#pragma once
// The CD+G screen's geometry, shared by the machine, the picture copy, the zoom
// steps and the demo song. All sizes in pixels.
namespace lyrvox {

inline constexpr int kScreenWidth = 300;
inline constexpr int kScreenHeight = 216;
// Screen memory has one spare column and row beyond the screen that nothing writes.
inline constexpr int kMemoryWidth = 301;
inline constexpr int kMemoryHeight = 217;

// A tile block draws 6x12 pixels; the screen is 50 tile columns by 18 tile rows.
inline constexpr int kTileWidth = 6;
inline constexpr int kTileHeight = 12;
inline constexpr int kTileColumns = kScreenWidth / kTileWidth;
inline constexpr int kTileRows = kScreenHeight / kTileHeight;

// The visible window of the picture: the screen without its one-tile border, at
// (kViewLeft + HOffset, kViewTop + VOffset). Every zoom step multiplies it.
inline constexpr int kViewWidth = 294;
inline constexpr int kViewHeight = 204;
inline constexpr int kViewLeft = kTileWidth;
inline constexpr int kViewTop = kTileHeight;

}  // namespace lyrvox
