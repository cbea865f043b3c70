// The up-next screen on the display window (offscreen): its lines fit the window at
// every size, the venue message scrolls only while it shows, the host's keys reach
// the controller's signals, and the venue message is kept in the settings.
#include <gtest/gtest.h>
#include <QTest>
#include <QtWidgets>
#include <map>

#include "display/display_controller.h"
#include "display/display_window.h"
#include "display/up_next_screen.h"

namespace lyrvox {
namespace {

struct FakeScreen : ScreenMetrics {
    ScreenTwips measure(const QWidget&) const override { return {0, 0, 45000, 30000, 15, 15}; }
};

UpNext night() {
    return {"Alexandra",
            "The Long Artist Name Band - A Rather Long Song Title For A Small Window",
            "Key +2  Tempo 90%",
            12,
            false,
            {"Bo", "Chen", "Dee"}};
}

// The box of pixels that are not `background` (empty when none) within `area`.
QRect inkBox(const QImage& image, const QRect& area, QColor background) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) != background) box |= QRect(x, y, 1, 1);
    return box;
}

struct UpNextTest : ::testing::Test {
    CdgMachine machine;
    FakeScreen screen;
    std::map<QString, QString> stored;  // the settings
    DisplayMemory memory{[this](const QString& key) -> std::optional<QString> {
                             auto it = stored.find(key);
                             if (it == stored.end()) return std::nullopt;
                             return it->second;
                         },
                         [this](const QString& key, const QString& value) { stored[key] = value; }};
    std::unique_ptr<DisplayController> d = make();
    qint64 now = 0;  // the scroll's clock, ms

    std::unique_ptr<DisplayController> make() {
        return std::make_unique<DisplayController>(
            machine, [] { return false; }, QIcon(), &screen, memory);
    }
    DisplayWindow& window() { return *qobject_cast<DisplayWindow*>(d->window()); }
    UpNextScreen& up() { return window().upNextScreen(); }
    QImage shot(QSize size) {
        window().resize(size);
        return window().grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

struct SizeCase {
    QSize size;
    bool message;
};

struct UpNextSizes : UpNextTest, ::testing::WithParamInterface<SizeCase> {};

TEST_P(UpNextSizes, EveryLineFitsTheWindowInLettersThatGrowWithIt) {
    const QSize size = GetParam().size;
    d->setVenueMessage("Happy hour until nine", GetParam().message);
    d->showUpNext(night());
    const QImage image = shot(size);
    ASSERT_EQ(image.size(), size);
    const QRect all = image.rect();
    // Above the message's strip only the lines mark the background; none is cut at an
    // edge, and the block stands in the middle.
    const QRect lines =
        inkBox(image, all.adjusted(0, 0, 0, -size.height() / 8), UpNextScreen::kBackground);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_GT(lines.left(), 0);
    EXPECT_LT(lines.right(), size.width() - 1);
    EXPECT_GT(lines.top(), 0);
    EXPECT_NEAR(lines.center().x(), size.width() / 2, size.width() / 10);
    // The singer's name in yellow, in the upper part.
    int yellow = 0;
    for (int y = 0; y < size.height() / 2; ++y)
        for (int x = 0; x < size.width(); ++x)
            if (image.pixelColor(x, y) == QColor(255, 220, 60)) ++yellow;
    EXPECT_GT(yellow, 0);
    // Laid out: five lines, each inside the width, the singer's the largest, none
    // smaller than needed to read a 60-inch screen across a room at full size.
    const QList<UpNextScreen::Line> laid = up().layout(all, window().font());
    ASSERT_EQ(laid.size(), 5);
    for (const UpNextScreen::Line& line : laid) {
        SCOPED_TRACE(line.text.toStdString());
        EXPECT_LE(QFontMetrics(line.font).horizontalAdvance(line.text), size.width());
        EXPECT_TRUE(all.contains(line.box));
        EXPECT_LE(line.font.pixelSize(), laid[0].font.pixelSize());
    }
    if (size.width() >= 1920) {
        EXPECT_GE(laid[0].font.pixelSize(), size.height() / 12);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, UpNextSizes,
                         ::testing::Values(SizeCase{{294, 204}, false}, SizeCase{{640, 480}, true},
                                           SizeCase{{1024, 300}, false},
                                           SizeCase{{1920, 1080}, true}));

// A code of 29 modules with its quiet zone, one pixel each: a checkerboard will do.
QImage joinCode() {
    QImage code(29, 29, QImage::Format_RGB32);
    code.fill(Qt::white);
    for (int y = 4; y < 25; ++y)
        for (int x = 4; x < 25; ++x)
            if ((x + y) % 2 == 0) code.setPixelColor(x, y, Qt::black);
    return code;
}

// The box of pixels that differ between two pictures of one size by more than the
// last bits of a letter's smoothing (which follows what the glyph cache holds: the
// same line drawn again may differ by a few levels at its letters' edges).
QRect changes(const QImage& a, const QImage& b) {
    QRect box;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            if (std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                    std::abs(p.blue() - q.blue()) >
                24)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// The requests page's code and address change the picture in their corner only,
// in sharp whole-pixel modules, keep long lines clear of it, and leave nothing
// behind once cleared.
TEST_F(UpNextTest, TheJoinCornerChangesOnlyTheCorner) {
    struct Case {
        QSize size;
        UpNext next;
    } cases[] = {{{640, 480}, {"Bo", "A - B", "", 0, false, {}}},
                 {{1920, 1080}, {"Bo", "A - B", "", 5, false, {"Cy"}}},
                 {{1920, 1080}, night()}};
    const QString address = QStringLiteral("http://192.168.1.5:8080/");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size.width());
        d->showUpNext(c.next);
        const QImage without = shot(c.size);
        d->setJoin(joinCode(), address);
        const QImage with = shot(c.size);
        const QRect all(QPoint(), c.size);
        const QRect corner = up().joinBox(all, window().font());
        ASSERT_FALSE(corner.isEmpty());
        EXPECT_TRUE(all.contains(corner));
        EXPECT_LT(corner.width(), c.size.width() / 2);
        // The code's square at its top right, whole pixels a module: black and white only.
        const int side = c.size.height() / 5 / 29 * 29;
        EXPECT_GT(corner.height(), side);
        int grey = 0;
        for (int y = corner.top(); y < corner.top() + side; ++y)
            for (int x = corner.right() + 1 - side; x <= corner.right(); ++x)
                if (with.pixelColor(x, y) != Qt::black && with.pixelColor(x, y) != Qt::white)
                    ++grey;
        EXPECT_EQ(grey, 0);
        // Long lines shrink beside the corner, so that picture may differ in them.
        if (c.next.song.size() < 10) {
            const QRect changed = changes(with, without);
            EXPECT_FALSE(changed.isEmpty());
            EXPECT_TRUE(corner.contains(changed));
        }
        for (const UpNextScreen::Line& line : up().layout(all, window().font())) {
            if (line.box.bottom() < corner.top()) continue;
            const int half = QFontMetrics(line.font).horizontalAdvance(line.text) / 2;
            EXPECT_LT(all.center().x() + half, corner.left()) << line.text.toStdString();
        }
        d->setJoin({}, {});
        EXPECT_FALSE(changes(shot(c.size), without).intersects(corner));
    }
}

TEST_F(UpNextTest, LinesFollowTheCountdownKeyAndTheFollowingSingers) {
    struct Case {
        UpNext next;
        bool following;
        QStringList want;
    } cases[] = {
        {night(),
         true,
         {"Next singer: Alexandra", night().song, "Key +2  Tempo 90%", "in 12 s",
          "Then: Bo, Chen"}},
        {night(), false, {"Next singer: Alexandra", night().song, "Key +2  Tempo 90%", "in 12 s"}},
        {{"Bo", "A - B", "", 1, false, {"Chen"}},
         true,
         {"Next singer: Bo", "A - B", "in 1 s", "Then: Chen"}},
        {{"Bo", "A - B", keyTempoText(-3, 100), 5, true, {}},
         true,
         {"Next singer: Bo", "A - B", "Key -3", "Held"}},
        {{"", "A - B", keyTempoText(0, 100), 0, false, {}}, true, {"Next", "A - B"}},
    };
    for (const Case& c : cases) {
        up().setShowFollowing(c.following);
        d->showUpNext(c.next);
        QStringList got;
        for (const auto& line : up().layout(QRect(0, 0, 800, 600), window().font()))
            got << line.text;
        EXPECT_EQ(got, c.want);
    }
    EXPECT_EQ(keyTempoText(2, 90), "Key +2  Tempo 90%");
    EXPECT_EQ(keyTempoText(0, 110), "Tempo 110%");
}

TEST_F(UpNextTest, TheMessageTimerRunsOnlyWhileTheScreenShowsAMessage) {
    struct Case {
        bool shown;
        QString text;
        bool on;
        bool scrolling;
    } cases[] = {
        {false, "Welcome", true, false}, {true, "Welcome", true, true},
        {true, "Welcome", false, false}, {true, "", true, false},
        {false, "", false, false},
    };
    for (const Case& c : cases) {
        d->setVenueMessage(c.text, c.on);
        c.shown ? d->showUpNext(night()) : d->hideUpNext();
        EXPECT_EQ(up().scrolling(), c.scrolling) << c.shown << c.text.toStdString() << c.on;
    }
}

TEST_F(UpNextTest, TheMessageEntersFromTheRightAndMovesASixthOfTheHeightASecond) {
    up().setClock([this] { return now; });
    d->setVenueMessage("Happy hour until nine", true);
    d->showUpNext(night());
    const QSize size(640, 480);
    const QRect strip(0, size.height() - size.height() / 10, size.width(), size.height() / 10);
    const auto left = [&] { return inkBox(shot(size), strip, Qt::black).left(); };
    EXPECT_EQ(inkBox(shot(size), strip, Qt::black), QRect());  // not in yet
    const int start = size.width() - 1;                        // it enters at the right edge
    for (int ms : {500, 1000, 2000}) {
        now = ms;
        up().step();
        EXPECT_NEAR(left(), start - ms * (size.height() / 6) / 1000, 3) << ms;
    }
    // No step, no move: painting alone never advances it.
    now = 2500;
    EXPECT_NEAR(left(), start - 2000 * (size.height() / 6) / 1000, 3);
}

TEST_F(UpNextTest, EnterAndHGoToTheSignalsOnlyWhileTheScreenShows) {
    int starts = 0, holds = 0;
    QObject::connect(d.get(), &DisplayController::startNowRequested, [&] { ++starts; });
    QObject::connect(d.get(), &DisplayController::holdToggled, [&] { ++holds; });
    struct Case {
        bool shown;
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int starts, holds;
    } cases[] = {
        {true, Qt::Key_Return, Qt::NoModifier, 1, 0},
        {true, Qt::Key_Enter, Qt::KeypadModifier, 1, 0},
        {true, Qt::Key_H, Qt::NoModifier, 0, 1},
        {true, Qt::Key_H, Qt::ControlModifier, 0, 0},
        {true, Qt::Key_Space, Qt::NoModifier, 0, 0},
        {false, Qt::Key_Return, Qt::NoModifier, 0, 0},
        {false, Qt::Key_H, Qt::NoModifier, 0, 0},
    };
    for (const Case& c : cases) {
        starts = holds = 0;
        c.shown ? d->showUpNext(night()) : d->hideUpNext();
        QTest::keyClick(&window(), c.key, c.mods);
        EXPECT_EQ(starts, c.starts) << c.key;
        EXPECT_EQ(holds, c.holds) << c.key;
    }
}

TEST_F(UpNextTest, TheMenuAsksForTheMessageWhichIsKeptForTheNextRun) {
    EXPECT_FALSE(d->venueMessageOn());  // off at first
    std::optional<QString> answer = "  Happy hour\nuntil nine ";
    QString shownNow;
    d->setAskMessage([&](QWidget*, const QString& current) {
        shownNow = current;
        return answer;
    });
    const auto pick = [&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
        QCoreApplication::sendEvent(&window(), &event);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // menus closed
        QMenu* menu = window().findChildren<QMenu*>(Qt::FindDirectChildrenOnly).last();
        QStringList texts;
        QAction* entry = nullptr;
        for (QAction* action : menu->actions()) {
            texts << action->text();
            if (action->text() == "Venue message...") entry = action;
        }
        // The display's own entries keep their order; the new one comes after them.
        EXPECT_EQ(texts.mid(0, 5), QStringList({"Full screen", "Display on", "Keep aspect ratio",
                                                "Pixel-perfect", "Venue message..."}));
        ASSERT_NE(entry, nullptr);
        entry->trigger();
        menu->close();
    };
    pick();
    EXPECT_EQ(shownNow, "");
    EXPECT_EQ(stored["UpNext/Message"], "Happy hour until nine");
    EXPECT_EQ(stored["UpNext/MessageOn"], "1");
    EXPECT_EQ(up().message(), "Happy hour until nine");
    answer.reset();  // cancelled: nothing changes
    pick();
    EXPECT_EQ(shownNow, "Happy hour until nine");
    EXPECT_EQ(stored["UpNext/MessageOn"], "1");

    // The next run's window starts with it; "following" off is read too.
    stored["UpNext/ShowFollowing"] = "0";
    d = make();
    EXPECT_TRUE(d->venueMessageOn());
    EXPECT_EQ(up().message(), "Happy hour until nine");
    EXPECT_TRUE(up().messageOn());
    EXPECT_FALSE(up().showFollowing());
    answer = "";  // an empty message is off
    d->setAskMessage([&](QWidget*, const QString&) { return answer; });
    d->askVenueMessage();
    EXPECT_FALSE(d->venueMessageOn());
}

struct CountingEvents : DisplayEvents {
    int copies = 0;  // repaintNeeded: the picture copied into the frame
    void repaintNeeded() override { ++copies; }
    void resized() override {}
    void doubleClicked() override {}
    void closed() override {}
    void fullScreenToggled() override {}
    void escapePressed() override {}
    void menuRequested(const QPoint&) override {}
};

TEST(UpNextPaint, CoversThePictureWithoutCopyingItAndBringsItBackWhenHidden) {
    CountingEvents events;
    auto* window = new DisplayWindow(events);
    window->resize(320, 240);
    window->grab();
    EXPECT_EQ(events.copies, 1);
    window->showUpNext(night());
    window->upNextScreen().setMessage("Welcome", true);
    window->grab();
    window->upNextScreen().step();
    window->grab();
    EXPECT_EQ(events.copies, 1);
    window->hideUpNext();
    window->grab();
    EXPECT_EQ(events.copies, 2);
    delete window;
}

}  // namespace
}  // namespace lyrvox
