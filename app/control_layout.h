#pragma once
// The control window's controls, built at their design places and styled: the
// player area above and the extraction area below it, hidden until the options
// toggle shows it. Places and sizes are in twips (1/1440 inch; inside an area
// relative to the area) and become pixels through the screen's logical DPI.
#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace lyrvox {

// Window metrics in twips. Linux window managers draw their own frames, so the
// window's client heights are set; the outer heights of the design add a
// 360-twip title bar and frame to them.
inline constexpr int kWindowLeft = 960;
inline constexpr int kWindowTop = 720;
inline constexpr int kClientWidth = 4890;
inline constexpr int kCompactClientHeight = 1365;
inline constexpr int kExpandedClientHeight = 2415;
inline constexpr int kFrameAllowance = 360;

struct ControlLayout {
    // The player area.
    QGroupBox* playerArea = nullptr;
    QPushButton* open = nullptr;
    QPushButton* play = nullptr;  // Play, Pause or Cont
    QPushButton* stop = nullptr;
    QPushButton* about = nullptr;
    QPushButton* size = nullptr;
    QPushButton* info = nullptr;
    QPushButton* snapshot = nullptr;
    QPushButton* options = nullptr;  // "v": shows or hides the extraction area
    QCheckBox* alternativeDevice = nullptr;
    QComboBox* frameRate = nullptr;
    QLabel* time = nullptr;
    QLabel* status = nullptr;
    QLabel* zoom = nullptr;
    // The extraction area.
    QGroupBox* extractionArea = nullptr;
    QPushButton* chooseImage = nullptr;  // "..."
    QLineEdit* source = nullptr;
    QPushButton* convert = nullptr;  // Convert, or Stop while a run goes on
    QLabel* imageName = nullptr;
    QLabel* progress = nullptr;
};

// Creates every control inside `window` (its font, colours, tab order and fixed
// size included) and places the window.
ControlLayout buildControlLayout(QWidget& window);

// Twips to pixels through the widget's logical DPI (15 twips a pixel at 96 dpi).
int twipsToPixelsX(const QWidget& widget, int twips);
int twipsToPixelsY(const QWidget& widget, int twips);

// Sets a label's text; a label that sizes itself to its text keeps its left edge,
// or its right edge when it is right-aligned.
void setLabelText(QLabel* label, const QString& text);

}  // namespace lyrvox
