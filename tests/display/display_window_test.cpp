// The display window and its controller on the offscreen platform, on screens of
// chosen sizes.
#include <gtest/gtest.h>
#include <QApplication>
#include <QPixmap>
#include <QPointer>
#include <QTest>

#include "display/display_controller.h"
#include "display/display_window.h"

namespace lyrvox {
namespace {

// A screen of w x h pixels at 15 twips a pixel.
struct FakeScreen : ScreenMetrics {
    int w, h;
    FakeScreen(int width, int height) : w(width), h(height) {}
    ScreenTwips measure(const QWidget&) const override { return {0, 0, w * 15.0, h * 15.0}; }
};

QIcon redIcon() {
    QPixmap p(16, 16);
    p.fill(Qt::red);
    return QIcon(p);
}

bool hasRedIcon(QWidget* window) {
    return window->windowIcon().pixmap(16).toImage().pixelColor(8, 8) == QColor(Qt::red);
}

void dropClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

class DisplayWindowTest : public ::testing::Test {
  protected:
    CdgMachine machine;
    bool graphics = false;
    QStringList texts;  // every zoom text, in order
    int steps = 0;      // zoomStepped signals

    std::unique_ptr<DisplayController> make(const FakeScreen& screen) {
        auto d = std::make_unique<DisplayController>(
            machine, [this] { return graphics; }, redIcon(), &screen);
        QObject::connect(d.get(), &DisplayController::zoomTextChanged,
                         [this](const QString& t) { texts << t; });
        QObject::connect(d.get(), &DisplayController::zoomStepped, [this] { ++steps; });
        return d;
    }
    static DisplayWindow* windowOf(DisplayController& d) {
        return qobject_cast<DisplayWindow*>(d.window());
    }
    static void resize(QWidget* window, int w, int h) {
        window->resize(w, h);
        QCoreApplication::processEvents();
    }
    const FakeScreen wide{3000, 2000};
};

TEST_F(DisplayWindowTest, SizeCommandCyclesTheFactorsAndCentres) {
    auto d = make(wide);
    QWidget* window = d->window();
    EXPECT_EQ(window->size(), QSize(245, 177));  // the design size: factor 1 comes next
    EXPECT_TRUE(hasRedIcon(window));
    const std::pair<QSize, const char*> cycle[] = {{{294, 204}, "1.0x"},
                                                   {{441, 306}, "1.5x"},
                                                   {{588, 408}, "2.0x"},
                                                   {{882, 612}, "3.0x"},
                                                   {{294, 204}, "1.0x"}};
    for (const auto& [size, text] : cycle) {
        SCOPED_TRACE(text);
        d->stepZoom();
        EXPECT_EQ(window->size(), size);
        EXPECT_EQ(d->copySize(), size);
        EXPECT_EQ(texts.back(), text);
        // No frame yet: (3000 - 294) / 2.5 = 1082.4 and (2000 - 204) / 2.5 = 718.4.
        if (steps == 1) EXPECT_EQ(window->frameGeometry().topLeft(), QPoint(1082, 718));
    }
    EXPECT_EQ(steps, 5);
    EXPECT_FALSE(window->isVisible());  // no graphics yet
    EXPECT_EQ(d->window(), window);

    const FakeScreen narrow{800, 600};  // 882 pixels do not fit: factor 1
    auto small = make(narrow);
    for (int i = 0; i < 4; ++i) small->stepZoom();
    EXPECT_EQ(small->window()->size(), QSize(294, 204));
}

TEST_F(DisplayWindowTest, GraphicsShowTheWindowAndDoubleClickSteps) {
    auto d = make(wide);
    graphics = true;
    d->stepZoom();
    QWidget* window = d->window();
    ASSERT_TRUE(window->isVisible());
    QTest::mouseDClick(window, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(window->size(), QSize(441, 306));
    EXPECT_EQ(texts.back(), "1.5x");
}

TEST_F(DisplayWindowTest, MinimisedOrMaximisedWindowIsLeftAlone) {
    auto d = make(wide);
    d->stepZoom();
    d->setVisible(true);
    QWidget* window = d->window();
    for (Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized}) {
        window->setWindowState(state);
        QCoreApplication::processEvents();
        const QSize before = window->size();
        steps = 0;
        d->stepZoom();
        EXPECT_EQ(window->size(), before);
        EXPECT_EQ(steps, 0);
        if (state == Qt::WindowMinimized) {  // a resize while minimised changes nothing
            texts.clear();
            resize(window, 500, 300);
            EXPECT_EQ(d->copySize(), QSize(294, 204));
            EXPECT_TRUE(texts.isEmpty());
        }
        window->setWindowState(Qt::WindowNoState);
        QCoreApplication::processEvents();
    }
}

TEST_F(DisplayWindowTest, DraggedSizesSetTheCopySize) {
    auto d = make(wide);
    d->setVisible(true);
    QWidget* window = d->window();
    resize(window, 1000, 300);
    EXPECT_EQ(d->copySize(), QSize(1000, 300));
    EXPECT_EQ(texts.back(), "3.4x");
    d->stepZoom();  // 1000 is past 782: back to factor 1
    EXPECT_EQ(window->size(), QSize(294, 204));
    resize(window, 0, 0);
    EXPECT_GE(d->copySize().width(), 1);
    EXPECT_GE(d->copySize().height(), 1);
    resize(window, 14, 1);
    EXPECT_EQ(texts.back(), "0.0x");
    d->copyPicture();
    EXPECT_EQ(windowOf(*d)->frame().size(), QSize(14, 1));
    resize(window, 40000, 2);  // wider than a 16-bit size holds
    EXPECT_EQ(d->copySize(), QSize(32767, 2));
}

TEST_F(DisplayWindowTest, CopyFillsTheFrameAndAVisibleWindowPaintsIt) {
    auto d = make(wide);
    machine.picture.clearTo(3);
    machine.colourTable[3] = 0x000000FF;  // red
    d->stepZoom();
    d->stepZoom();
    d->copyPicture();
    DisplayWindow* window = windowOf(*d);
    EXPECT_EQ(window->frame().size(), QSize(441, 306));
    EXPECT_EQ(window->frame().pixelColor(440, 305), QColor(Qt::red));
    const uchar* bits = window->frame().constBits();
    machine.colourTable[3] = 0x00FF0000;  // blue
    d->copyPicture();
    EXPECT_EQ(window->frame().constBits(), bits);  // the same image while the size stays
    EXPECT_EQ(window->frame().pixelColor(0, 0), QColor(Qt::blue));
    d->setVisible(true);
    EXPECT_EQ(window->grab().toImage().pixelColor(220, 150), QColor(Qt::blue));
}

TEST_F(DisplayWindowTest, ClosedWindowComesBackHiddenAtTheDesignSize) {
    auto d = make(wide);
    graphics = true;
    d->stepZoom();
    d->stepZoom();
    QPointer<QWidget> first = d->window();
    first->close();
    dropClosedWindows();
    EXPECT_TRUE(first.isNull());
    d->copyPicture();  // the display tick's copy makes a new one, hidden
    QWidget* second = d->window();
    EXPECT_FALSE(second->isVisible());
    EXPECT_EQ(second->size(), QSize(245, 177));
    EXPECT_EQ(second->frameGeometry().topLeft(),
              QPoint((3000 - 245) * 2 / 5, (2000 - 177) * 2 / 5));
    EXPECT_TRUE(hasRedIcon(second));
}

TEST_F(DisplayWindowTest, ClosingDuringTheSizeCommandStopsIt) {
    auto d = make(wide);
    graphics = true;
    d->stepZoom();
    QPointer<QWidget> window = d->window();
    // A close queued before the command runs inside its first serving of events.
    QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
    steps = 0;
    d->stepZoom();
    dropClosedWindows();
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(steps, 0);
    d->copyPicture();
    EXPECT_FALSE(d->window()->isVisible());
}

}  // namespace
}  // namespace lyrvox
