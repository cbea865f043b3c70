// Full screen on the second screen of a real X server (Xvfb, no window manager):
// the window covers exactly that screen, the picture keeps its shape between
// black bars.
#include <gtest/gtest.h>
#include <QScreen>
#include <QTest>
#include <QtWidgets>

#include "display/display_controller.h"

namespace lyrvox {
namespace {

TEST(DisplayScreens, FullScreenOnTheSecondScreenFillsItWithBars) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() < 2) GTEST_SKIP() << "one screen only";
    QScreen* second = screens[1];
    CdgMachine machine;  // never drawn: white
    DisplayController d(
        machine, [] { return true; }, QIcon());
    d.setVisible(true);
    d.moveToScreen(second);
    d.toggleFullScreen();
    QWidget* window = d.window();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->geometry() == second->geometry(); }));
    EXPECT_EQ(window->screen(), second);
    // 1024 wide keeps 294:204: 711 rows of picture, 28 black rows above.
    EXPECT_EQ(d.copySize(), QSize(1024, 711));
    const auto shows = [&](int y, QColor want) {
        return second->grabWindow(0).toImage().pixelColor(512, y) == want;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return shows(384, Qt::white); }));
    for (int y : {0, 27, 739, 767}) EXPECT_TRUE(shows(y, Qt::black)) << y;
    EXPECT_TRUE(shows(28, Qt::white) && shows(738, Qt::white));
}

}  // namespace
}  // namespace lyrvox
