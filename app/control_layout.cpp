#include "app/control_layout.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "app/window_text.h"

namespace lyrvox {
namespace {

constexpr char kAutoSize[] = "lyrvoxAutoSize";

struct Twips {
    int left, top, width, height;
};

int scaleTwips(int twips, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

template <typename Widget>
Widget* place(Widget* widget, Twips at, const char* tip = "") {
    const QWidget& window = *widget->window();
    widget->setToolTip(QString::fromLatin1(tip));
    widget->setGeometry(twipsToPixelsX(window, at.left), twipsToPixelsY(window, at.top),
                        twipsToPixelsX(window, at.width), twipsToPixelsY(window, at.height));
    return widget;
}

QPushButton* button(QWidget* area, const char* caption, Twips at, const char* tip = "") {
    return place(new QPushButton(QString::fromLatin1(caption), area), at, tip);
}

enum class Align { Left, Right, Centre };

QLabel* label(QWidget* area, const char* text, Twips at, const char* tip = "",
              Align align = Align::Left, bool autoSize = false) {
    auto* l = place(new QLabel(QString::fromLatin1(text), area), at, tip);
    // File names reach the labels: never read them as markup.
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(align == Align::Right    ? Qt::AlignRight | Qt::AlignTop
                    : align == Align::Centre ? Qt::AlignHCenter | Qt::AlignTop
                                             : Qt::AlignLeft | Qt::AlignTop);
    l->setProperty(kAutoSize, autoSize);
    // A label that sizes itself takes its size from its text in the window's font;
    // the design sizes fit the design font.
    if (autoSize) setLabelText(l, l->text());
    return l;
}

void styleWindow(QWidget& window) {
    // The system's menu colours for the window and the time display's background.
    const QPalette menuPalette = QApplication::palette("QMenu");
    QPalette windowPalette = window.palette();
    windowPalette.setColor(QPalette::Window, menuPalette.color(QPalette::Window));
    window.setPalette(windowPalette);
    window.setAutoFillBackground(true);
    // The design's small dialog font, so that captions fit their buttons.
    QFont smallFont = window.font();
    smallFont.setPointSizeF(8.0);
    window.setFont(smallFont);
}

void styleTime(QLabel* time) {
    QFont timeFont(QStringLiteral("MS Sans Serif"));
    timeFont.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                          QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    timeFont.setStyleHint(QFont::SansSerif);
    timeFont.setPointSizeF(13.5);
    timeFont.setWeight(QFont::Normal);
    time->setFont(timeFont);
    QPalette timePalette = time->palette();
    timePalette.setColor(QPalette::WindowText, QColor(0, 255, 255));
    timePalette.setColor(QPalette::Window, QColor(0, 0, 0));
    time->setPalette(timePalette);
    time->setAutoFillBackground(true);
}

}  // namespace

int twipsToPixelsX(const QWidget& widget, int twips) {
    return scaleTwips(twips, widget.logicalDpiX());
}

int twipsToPixelsY(const QWidget& widget, int twips) {
    return scaleTwips(twips, widget.logicalDpiY());
}

void setLabelText(QLabel* label, const QString& text) {
    label->setText(text);
    if (!label->property(kAutoSize).toBool()) return;
    QRect g = label->geometry();
    const QSize hint = label->sizeHint();
    const int width = std::max(1, hint.width());
    if (label->alignment() & Qt::AlignRight) {
        g.setLeft(g.right() + 1 - width);
    } else {
        g.setWidth(width);
    }
    g.setHeight(std::max(g.height(), hint.height()));
    label->setGeometry(g);
}

ControlLayout buildControlLayout(QWidget& window) {
    styleWindow(window);
    ControlLayout c;
    // Created in this order, which is also their stacking order.
    c.extractionArea = place(new QGroupBox(&window), {45, 1380, 4800, 960});
    c.playerArea = place(new QGroupBox(&window), {45, -30, 4800, 1320});
    QWidget* player = c.playerArea;
    c.alternativeDevice =
        place(new QCheckBox(QStringLiteral("Alt"), player), {2460, 975, 585, 195});
    c.open = button(player, "&Open", {3630, 180, 1065, 330}, "Open CDG/MP3 file (O)");
    c.play = button(player, "&Play", {2850, 180, 630, 330}, "Play/Pause/Continue (Space)");
    c.stop = button(player, "&Stop", {2205, 180, 615, 330}, "Stop playback (S)");
    c.about = button(player, "&About", {90, 900, 645, 330}, "Program Information");
    c.size = button(player, "Si&ze", {3165, 900, 630, 330}, "Toggle display size (+ and -)");
    c.info = button(player, "&Info", {780, 900, 540, 330}, "Display Documentation");
    c.frameRate = place(new QComboBox(player), {1365, 195, 675, 315}, "Frames per second setting");
    c.frameRate->setEditable(false);
    c.frameRate->addItems(frameRateEntries());
    c.frameRate->setCurrentIndex(-1);
    c.snapshot = button(player, "S&napshot", {1425, 900, 825, 330},
                        "Save display to numbered BMP file (Ctrl+S)");
    c.options = button(player, "v", {4425, 990, 270, 240}, "Toggle options");
    c.time = label(player, "00:00", {105, 195, 795, 360}, "Elapsed time", Align::Centre);
    // The design's tips, with the keys that do the same on both windows.
    c.status = label(player, "Click OPEN to play a file...", {105, 615, 4620, 225},
                     "Key: [ and ]; tempo: { and }; volume: Up and Down");
    label(player, "FPS:", {1005, 255, 345, 195}, "", Align::Right, true);
    c.zoom = label(player, "1x", {3855, 975, 165, 195}, "Current display size", Align::Left, true);
    QWidget* extraction = c.extractionArea;
    c.chooseImage = button(extraction, "...", {3060, 495, 465, 330});
    c.source = place(new QLineEdit(extraction), {120, 510, 2865, 285});
    c.convert = button(extraction, "Convert", {3630, 495, 1035, 330});
    c.imageName = label(extraction, "-", {3960, 210, 45, 195}, "", Align::Right, true);
    c.progress = label(extraction, "", {4035, 225, 600, 210}, "", Align::Right);
    label(extraction, "Extract CDG from BIN file:", {120, 225, 1830, 195}, "", Align::Left, true);

    QWidget* const tabOrder[] = {c.options,
                                 c.snapshot,
                                 c.frameRate,
                                 c.info,
                                 c.size,
                                 c.about,
                                 c.stop,
                                 c.play,
                                 c.open,
                                 c.convert,
                                 c.source,
                                 c.chooseImage,
                                 c.alternativeDevice};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) {
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }

    c.play->setEnabled(false);
    c.stop->setEnabled(false);
    QPalette openPalette = c.open->palette();
    openPalette.setColor(QPalette::Button, QColor(192, 192, 192));
    c.open->setPalette(openPalette);
    styleTime(c.time);

    window.setFixedSize(twipsToPixelsX(window, kClientWidth),
                        twipsToPixelsY(window, kExpandedClientHeight));
    window.move(twipsToPixelsX(window, kWindowLeft), twipsToPixelsY(window, kWindowTop));
    return c;
}

}  // namespace lyrvox
