// The display window and its controller on the offscreen platform, on a screen of
// chosen size; full screen and the screens on two offscreen screens, "Left" 800x600
// and "Right" 1920x1080 beside it (tests/display/two_screens.json).
#include <gtest/gtest.h>
#include <QPointer>
#include <QTest>
#include <QtWidgets>

#include "display/display_controller.h"
#include "display/display_window.h"
#include "display/snapshot.h"

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

TEST_F(DisplayWindowTest, ClosedWindowComesBackHidden) {
    graphics = true;
    d.stepZoom();
    QPointer<QWidget> first = window();
    first->close();
    settle();
    EXPECT_TRUE(first.isNull());
    d.copyPicture();  // the display tick's copy makes a new one
    EXPECT_EQ(looks(), "245x177 copy 294x204 1.0x hidden at 1102,729");
}

// The window's menu as the right mouse button opens it: action texts to actions.
std::map<QString, QAction*> openMenu(QWidget* window) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, window->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window, &event);
    std::map<QString, QAction*> actions;
    for (QMenu* menu : window->findChildren<QMenu*>())
        for (QAction* a : menu->actions()) actions[a->text()] = a;
    return actions;
}

TEST_F(DisplayWindowTest, FullScreenKeepsTheShapeAndEscapeOrCtrlDoubleClickLeaves) {
    QScreen* right = QGuiApplication::screens().value(1);  // "Right"
    ASSERT_TRUE(right) << "two offscreen screens expected";
    d.setVisible(true);
    looks({600, 300});
    d.moveToScreen(right);
    QTest::mouseDClick(window(), Qt::LeftButton, Qt::ControlModifier, {10, 10});
    // 1920x1080 keeps 294:204 with black bars; a plain double-click does not step it.
    QTest::mouseDClick(window(), Qt::LeftButton, {}, {10, 10});
    EXPECT_EQ(looks(), "1920x1080 copy 1556x1080 6.6x shown");
    EXPECT_EQ(window()->geometry(), right->geometry());
    const QImage shown = window()->grab().toImage();
    EXPECT_TRUE(shown.pixelColor(181, 500) == Qt::black && shown.pixelColor(182, 500) == Qt::white);
    QTest::keyClick(window(), Qt::Key_Escape);
    EXPECT_EQ(looks(), "600x300 copy 600x300 2.1x shown");  // stretched again
    // The screen goes away: back on the primary one, still full screen.
    d.toggleFullScreen();
    d.screenRemoved(right);
    EXPECT_TRUE(d.isFullScreen());
    EXPECT_EQ(window()->geometry(), QGuiApplication::primaryScreen()->geometry());
    d.toggleFullScreen();
    EXPECT_EQ(window()->size(), QSize(600, 300));
}

TEST_F(DisplayWindowTest, MenuChoosesScalingAndScreenAndIsRememberedForTheNextRun) {
    std::map<QString, QString> saved;
    DisplayMemory memory{
        [&](const QString& k) { return saved.count(k) ? saved[k] : std::optional<QString>(); },
        [&](const QString& k, const QString& v) { saved[k] = v; }};
    auto run = [&] {
        return std::make_unique<DisplayController>(
            machine, [] { return true; }, icon, nullptr, memory);
    };
    auto first = run();
    first->setVisible(true);
    first->window()->resize(600, 300);
    const std::pair<const char*, QSize> choices[] = {{"Keep aspect ratio", {432, 300}},
                                                     {"Pixel-perfect", {294, 204}},
                                                     {"Keep aspect ratio", {294, 204}},
                                                     {"Pixel-perfect", {600, 300}},
                                                     {"Pixel-perfect", {294, 204}}};
    for (auto [item, copy] : choices) {
        openMenu(first->window())[item]->trigger();
        settle();
        EXPECT_EQ(first->copySize(), copy) << item;
    }
    openMenu(first->window())["Right"]->trigger();
    openMenu(first->window())["Full screen"]->trigger();
    first.reset();
    // The next run: full screen on the same screen as soon as it shows, 5x pixel-perfect.
    auto second = run();
    second->setVisible(true);
    EXPECT_EQ(second->window()->geometry(), QGuiApplication::screens().value(1)->geometry());
    EXPECT_TRUE(second->isFullScreen() && second->copySize() == QSize(1470, 1020));
    // A screen no longer connected: the design place on the primary screen.
    saved["Display/Screen"] = "Gone";
    auto third = run();
    third->setVisible(true);
    EXPECT_TRUE(!third->isFullScreen() && third->pixelPerfect());
    EXPECT_EQ(third->window()->screen(), QGuiApplication::primaryScreen());
}

TEST_F(DisplayWindowTest, NoteShowsForItsTimeOnlyOnTheScreenAndPointerHidesInFullScreen) {
    d.setVisible(true);
    looks({588, 408});
    const QImage plain = window()->grab().toImage();
    const QImage frame = window()->frame();
    QTemporaryDir folder;
    Snapshots snapshots;
    snapshots.stem = "shot";
    const auto snapshot = [&] {
        QFile file(snapshots.take(machine, folder.path()).path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = snapshot();
    d.showNote("Offset +120 ms", 300);
    d.copyPicture();
    EXPECT_NE(window()->grab().toImage(), plain);
    EXPECT_TRUE(window()->frame() == frame && snapshot() == before && !before.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window()->grab().toImage() == plain; }, 1000));

    d.toggleFullScreen();
    QTest::mouseMove(window(), {50, 50});
    EXPECT_TRUE(QTest::qWaitFor([&] { return window()->cursor().shape() == Qt::BlankCursor; },
                                DisplayWindow::kPointerHideMs + 1000));
    QTest::mouseMove(window(), {60, 60});
    EXPECT_EQ(window()->cursor().shape(), Qt::ArrowCursor);
}

}  // namespace
}  // namespace lyrvox
