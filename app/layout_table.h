#pragma once
// The control window's design: every control with its kind, caption, tip,
// position and size in twips (1/1440 inch; inside a frame relative to the frame)
// and tab index, in creation order.
#include <array>

namespace lyrvox {

enum class ControlKind {
    Frame,         // frame without caption
    PictureBox,    // hidden picture; lives in PlayerState::machine, no widget
    Timer,         // QTimer
    MediaControl,  // the media control; no widget
    CommonDialog,  // the file dialog; no widget
    CheckBox,
    Button,
    ComboBox,  // choice from the list only
    Label,
    TextBox,
};

enum class TextAlign { Left, Right, Centre };

struct ControlDesign {
    const char* name;
    ControlKind kind;
    const char* frame;             // "" for the window itself
    const char* caption;           // with '&' before the access key
    const char* tip;               // "" for none
    int left, top, width, height;  // twips; all 0 for controls without a place
    int tabIndex;                  // -1 for none
    TextAlign align = TextAlign::Left;
    bool autoSize = false;  // a label that sizes itself to its text
};

inline constexpr int kControlCount = 27;
extern const std::array<ControlDesign, kControlCount> kControlLayout;

// Window metrics in twips. Linux window managers draw their own frames, so the
// window's client heights are set; the outer heights of the design assume a
// 360-twip title bar and frame on top of them.
inline constexpr int kWindowLeft = 960;
inline constexpr int kWindowTop = 720;
inline constexpr int kClientWidth = 4890;
inline constexpr int kCompactClientHeight = 1365;
inline constexpr int kExpandedClientHeight = 2415;
inline constexpr int kFrameAllowance = 360;
inline constexpr int kCompactOuterHeight = kCompactClientHeight + kFrameAllowance;    // 1725
inline constexpr int kExpandedOuterHeight = kExpandedClientHeight + kFrameAllowance;  // 2775

}  // namespace lyrvox
