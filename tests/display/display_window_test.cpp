// The display window and its controller on the offscreen platform, on a screen of
// chosen size.
#include <gtest/gtest.h>
#include <QPointer>
#include <QTest>
#include <QtWidgets>

#include "display/display_controller.h"
#include "display/display_window.h"

namespace lyrvox {
namespace {

struct FakeScreen : ScreenMetrics {  // w x h pixels at 15 twips a pixel
    double w = 3000, h = 2000;
    ScreenTwips measure(const QWidget&) const override { return {0, 0, w * 15, h * 15, 15, 15}; }
};

void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // closed windows
    QCoreApplication::processEvents();
}

struct DisplayWindowTest : ::testing::Test {
    CdgMachine machine;
    FakeScreen screen;
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_DriveCDIcon);
    bool graphics = false;
    QString text;   // the last zoom text
    int steps = 0;  // zoomStepped signals
    DisplayController d{machine, [this] { return graphics; }, icon, &screen};
    DisplayWindowTest() {
        QObject::connect(&d, &DisplayController::zoomTextChanged, [this](QString t) { text = t; });
        QObject::connect(&d, &DisplayController::zoomStepped, [this] { ++steps; });
    }
    DisplayWindow* window() { return qobject_cast<DisplayWindow*>(d.window()); }
    // The window at a glance: client size, copy size, zoom text, and where it stands
    // while hidden (a shown one's place depends on the frame the platform gives it).
    std::string looks(QSize resizeFirst = {}) {
        if (resizeFirst.isValid()) window()->resize(resizeFirst);
        settle();
        const QPoint at = window()->frameGeometry().topLeft();
        return QString("%1x%2 copy %3x%4 %5 %6")
            .arg(window()->width())
            .arg(window()->height())
            .arg(d.copySize().width())
            .arg(d.copySize().height())
            .arg(text, window()->isVisible() ? "shown"
                                             : QString("hidden at %1,%2").arg(at.x()).arg(at.y()))
            .toStdString();
    }
};

TEST_F(DisplayWindowTest, SizeCommandCyclesTheFactorsCentresAndLeavesOddStatesAlone) {
    // The design size first, no zoom text yet. Centred with 40% of the free space
    // before it; no frame yet: (3000 - 294) / 2.5 = 1082.4 -> 1082.
    EXPECT_EQ(looks(), "245x177 copy 300x216  hidden at 1102,729");
    for (const char* want : {"294x204 copy 294x204 1.0x hidden at 1082,718",
                             "441x306 copy 441x306 1.5x hidden at 1024,678",
                             "588x408 copy 588x408 2.0x hidden at 965,637",
                             "882x612 copy 882x612 3.0x hidden at 847,555",
                             "294x204 copy 294x204 1.0x hidden at 1082,718"}) {
        d.stepZoom();
        EXPECT_EQ(looks(), want);
    }
    screen.w = 800;  // 882 pixels do not fit: factor 1
    for (int i = 0; i < 3; ++i) d.stepZoom();
    EXPECT_TRUE(looks() == "294x204 copy 294x204 1.0x hidden at 202,718" && steps == 8);
    graphics = true;  // now the size command shows the window; a double-click steps too
    QTest::mouseDClick(window(), Qt::LeftButton, {}, QPoint(10, 10));
    for (Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized}) {
        window()->setWindowState(state);
        const std::string before = looks();
        d.stepZoom();
        EXPECT_TRUE(looks() == before && steps == 9) << state << looks();
        window()->setWindowState(Qt::WindowNoState);
    }
    EXPECT_EQ(looks(), "441x306 copy 441x306 1.5x shown");
}

TEST_F(DisplayWindowTest, DraggedSizesSetTheCopyAndAVisibleWindowPaintsIt) {
    d.setVisible(true);
    EXPECT_EQ(looks({1000, 300}), "1000x300 copy 1000x300 3.4x shown");
    d.stepZoom();  // 1000 is past 782: back to factor 1
    EXPECT_EQ(looks(), "294x204 copy 294x204 1.0x shown");
    window()->setWindowState(Qt::WindowMinimized);  // a resize while minimised changes nothing
    EXPECT_EQ(looks({500, 300}), "500x300 copy 294x204 1.0x shown");
    window()->setWindowState(Qt::WindowNoState);
    EXPECT_EQ(looks({0, 0}), "0x0 copy 1x1 0.0x shown");
    EXPECT_EQ(looks({40000, 2}), "40000x2 copy 32767x2 137.0x shown");  // 16 bits at most
    looks({441, 306});
    machine.picture.clearTo(3);
    machine.colourTable[3] = 0x000000FF;  // red
    d.copyPicture();
    EXPECT_EQ(window()->frame().pixelColor(440, 305), QColor(Qt::red));
    machine.colourTable[3] = 0x00FF0000;  // blue
    d.copyPicture();
    EXPECT_EQ(window()->grab().toImage().pixelColor(220, 150), QColor(Qt::blue));
}

TEST_F(DisplayWindowTest, ClosedWindowComesBackHiddenAndClosingStopsTheSizeCommand) {
    graphics = true;
    d.stepZoom();
    QPointer<QWidget> first = window();
    first->close();
    settle();
    EXPECT_TRUE(first.isNull());
    d.copyPicture();  // the display tick's copy makes a new one
    EXPECT_EQ(looks(), "245x177 copy 294x204 1.0x hidden at 1102,729");
    d.stepZoom();
    QPointer<QWidget> second = window();
    // A close queued before the command runs inside its first serving of events.
    QMetaObject::invokeMethod(second, &QWidget::close, Qt::QueuedConnection);
    d.stepZoom();
    settle();
    EXPECT_TRUE(second.isNull() && steps == 2);
}

}  // namespace
}  // namespace lyrvox
