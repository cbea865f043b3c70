// The display window on the offscreen platform, on screens of chosen sizes.
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
    FakeScreen(int w, int h) : w_(w), h_(h) {}
    ScreenTwips measure(const QWidget&) const override { return {0, 0, w_ * 15.0, h_ * 15.0}; }
    int w_, h_;
};

QIcon redIcon() {
    QPixmap p(16, 16);
    p.fill(Qt::red);
    return QIcon(p);
}

}  // namespace

class DisplayWindowTest : public QObject {
    Q_OBJECT

  private:
    PlayerState state_;
    QString zoomText_;
    QStringList zoomTexts_;
    FakeScreen wide_{3000, 2000};
    FakeScreen narrow_{800, 600};

    std::unique_ptr<DisplayController> makeController(const ScreenMetrics& screen) {
        zoomText_.clear();
        zoomTexts_.clear();
        return std::make_unique<DisplayController>(
            state_, redIcon(),
            [this](const QString& t) {
                zoomText_ = t;
                zoomTexts_ << t;
            },
            screen);
    }

    static void resize(QWidget* window, int w, int h) {
        window->resize(w, h);
        QCoreApplication::processEvents();
    }
    static void dropClosedWindows() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

  private slots:
    void init() { state_ = PlayerState{}; }

    void sizeCommandCyclesThroughTheFactors() {
        auto display = makeController(wide_);
        QWidget* window = display->window();
        QCOMPARE(window->windowTitle(), QStringLiteral("Lyrvox"));
        QCOMPARE(window->size(), QSize(245, 177));  // design-time size, factor 1 next
        QVERIFY(!window->isVisible());

        const QSize expected[] = {{294, 204}, {441, 306}, {588, 408}, {882, 612}, {294, 204}};
        const char* texts[] = {"1.0x", "1.5x", "2.0x", "3.0x", "1.0x"};
        for (int i = 0; i < 5; ++i) {
            display->btnSize_Click();
            QCOMPARE(window->size(), expected[i]);
            QCOMPARE(int{display->DWidth}, expected[i].width());
            QCOMPARE(int{display->DHeight}, expected[i].height());
            QCOMPARE(zoomText_, QString::fromLatin1(texts[i]));
            if (i > 0) continue;
            // 245x177 -> 294x204: width, then height each raise the resize handling.
            QCOMPARE(zoomTexts_, (QStringList{"1.0x", "1.0x"}));
            // Centred with 40% before: no frame yet, so outer size = client size.
            // (3000 - 294) / 2.5 = 1082.4 and (2000 - 204) / 2.5 = 718.4.
            QCOMPARE(window->frameGeometry().topLeft(), QPoint(1082, 718));
            QCOMPARE(window->windowIcon().pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::red));
        }
        // No graphics file yet: sized and centred, but left hidden.
        QVERIFY(!window->isVisible());
        QVERIFY(state_.machine.BFlag);
        QCOMPARE(display->window(), window);  // the same window all along
    }

    void tooNarrowAScreenFallsBackToFactorOne() {
        auto display = makeController(narrow_);
        QWidget* window = display->window();
        for (int i = 0; i < 3; ++i) display->btnSize_Click();
        QCOMPARE(window->size(), QSize(588, 408));
        display->btnSize_Click();  // 882 pixels do not fit on 800
        QCOMPARE(window->size(), QSize(294, 204));
    }

    void sizeCommandAndDoubleClickShowTheWindowOnceThereAreGraphics() {
        auto display = makeController(wide_);
        QWidget* window = display->window();
        state_.CDGFile = "/songs/a.cdg";
        display->btnSize_Click();
        QVERIFY(window->isVisible());
        QCOMPARE(window->size(), QSize(294, 204));
        QTest::mouseDClick(window, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(window->size(), QSize(441, 306));
        QCOMPARE(int{display->DWidth}, 441);
        QCOMPARE(zoomText_, QStringLiteral("1.5x"));
    }

    void minimisedOrMaximisedWindowIsLeftAlone() {
        auto display = makeController(wide_);
        QWidget* window = display->window();
        display->btnSize_Click();
        display->setVisible(true);
        for (Qt::WindowState s : {Qt::WindowMinimized, Qt::WindowMaximized}) {
            window->setWindowState(s);
            QCoreApplication::processEvents();
            const QSize before = window->size();
            const int16_t dWidth = display->DWidth;
            state_.machine.BFlag = false;
            display->btnSize_Click();
            QCOMPARE(window->size(), before);
            QVERIFY(!state_.machine.BFlag);
            if (s == Qt::WindowMinimized) {
                QCOMPARE(display->DWidth, dWidth);
                zoomTexts_.clear();  // a resize while minimised changes nothing either
                resize(window, 500, 300);
                QCOMPARE(int{display->DWidth}, 294);
                QCOMPARE(int{display->DHeight}, 204);
                QVERIFY(zoomTexts_.isEmpty());
            }
            window->setWindowState(Qt::WindowNoState);
            QCoreApplication::processEvents();
        }
    }

    void draggedSizesSetTheCopySize() {
        auto display = makeController(wide_);
        QWidget* window = display->window();
        display->setVisible(true);
        resize(window, 1000, 300);
        QCOMPARE(int{display->DWidth}, 1000);
        QCOMPARE(int{display->DHeight}, 300);
        QCOMPARE(zoomText_, QStringLiteral("3.4x"));
        display->btnSize_Click();  // 1000 is 782 or more: back to factor 1
        QCOMPARE(window->size(), QSize(294, 204));

        resize(window, 0, 0);
        QVERIFY(display->DWidth >= 1);
        QVERIFY(display->DHeight >= 1);
        resize(window, 14, 1);
        QCOMPARE(int{display->DWidth}, 14);
        QCOMPARE(zoomText_, QStringLiteral("0.0x"));
        display->BlitIt();  // a 14x1 copy
        auto* shown = qobject_cast<DisplayWindow*>(window);
        QCOMPARE(shown->frame().size(), QSize(14, 1));

        // Wider than a 16-bit size can hold: the copy size stops at its largest.
        resize(window, 40000, 2);
        QCOMPARE(int{display->DWidth}, 32767);
        QCOMPARE(int{display->DHeight}, 2);
    }

    void blitCopiesThePictureIntoTheFrame() {
        auto display = makeController(wide_);
        CdgMachine& m = state_.machine;
        m.CDG.blank = false;
        m.ColourTable[3] = 0x000000FF;  // red
        m.CDG.index.fill(3);
        display->btnSize_Click();
        display->btnSize_Click();  // 441 x 306
        display->BlitIt();
        auto* window = qobject_cast<DisplayWindow*>(display->window());
        QVERIFY(window);
        QCOMPARE(window->frame().size(), QSize(441, 306));
        QCOMPARE(window->frame().pixelColor(440, 305), QColor(Qt::red));
        // The same frame image is reused while the size stays.
        const uchar* bits = window->frame().constBits();
        m.ColourTable[3] = 0x00FF0000;  // blue
        display->BlitIt();
        QCOMPARE(window->frame().constBits(), bits);
        QCOMPARE(window->frame().pixelColor(0, 0), QColor(Qt::blue));
        // A visible window paints its frame.
        display->setVisible(true);
        QCOMPARE(window->grab().toImage().pixelColor(220, 150), QColor(Qt::blue));
    }

    void closedWindowComesBackHiddenOnNextUse() {
        auto display = makeController(wide_);
        state_.CDGFile = "/songs/a.cdg";
        display->btnSize_Click();
        display->btnSize_Click();
        QPointer<QWidget> first = display->window();
        QVERIFY(first->isVisible());
        QCOMPARE(first->size(), QSize(441, 306));
        first->close();
        dropClosedWindows();
        QVERIFY(first.isNull());

        display->BlitIt();  // the timer's copy re-creates it, hidden
        QWidget* second = display->window();
        QVERIFY(second != nullptr);
        QVERIFY(!second->isVisible());
        QCOMPARE(second->size(), QSize(245, 177));  // load handling again
        QCOMPARE(second->frameGeometry().topLeft(),
                 QPoint((3000 - 245) * 2 / 5, (2000 - 177) * 2 / 5));
        QCOMPARE(second->windowIcon().pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::red));

        // Closing a window still hidden is just as harmless.
        second->close();
        dropClosedWindows();
        display->setVisible(true);
        QVERIFY(display->window()->isVisible());
    }

    void closingDuringTheSizeCommandStopsIt() {
        auto display = makeController(wide_);
        state_.CDGFile = "/songs/a.cdg";
        display->btnSize_Click();
        QPointer<QWidget> window = display->window();
        // A close queued before the command runs inside its first yield.
        QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
        state_.machine.BFlag = false;
        display->btnSize_Click();
        dropClosedWindows();
        QVERIFY(window.isNull());
        QVERIFY(!state_.machine.BFlag);
        display->BlitIt();
        QVERIFY(!display->window()->isVisible());
    }
};

}  // namespace lyrvox

QTEST_MAIN(lyrvox::DisplayWindowTest)
#include "display_window_test.moc"
