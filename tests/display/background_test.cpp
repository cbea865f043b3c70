// Backgrounds behind the picture: the settings, what the display's frame shows through
// transparent colours, the slideshow, the menu's question and the up-next screen.
#include <gtest/gtest.h>
#include <QTemporaryDir>
#include <QTest>
#include <QtWidgets>
#include <map>

#include "display/background_dialog.h"
#include "display/background_source.h"
#include "display/display_controller.h"
#include "display/display_window.h"
#include "display/picture_copy.h"
#include "playback/cdg/packet_encoder.h"
#include "util/settings_table.h"

namespace lyrvox {
namespace {

using Kind = BackgroundChoice::Kind;
using Saved = std::map<QString, QString>;

DisplayMemory memoryOf(Saved& saved) {
    return {[&saved](const QString& k) {
                return saved.count(k) ? std::optional<QString>(saved[k]) : std::nullopt;
            },
            [&saved](const QString& k, const QString& v) { saved[k] = v; }};
}

TEST(BackgroundChoiceTest, ReadsWhatWasWrittenAndFallsBackOnBadTexts) {
    Saved saved;
    EXPECT_EQ(BackgroundChoice::read(memoryOf(saved)), BackgroundChoice{});  // none by default
    const BackgroundChoice choices[] = {
        {Kind::Colour, QColor(10, 20, 30), "", 10, false},
        {Kind::Image, Qt::black, "/tmp/a b.png", 10, true},
        {Kind::Folder, Qt::black, "/photos", 3600, false},
        {Kind::Video, Qt::black, "/v.mkv", 1, true},
        {Kind::None, Qt::black, "", 10, false},
    };
    for (const BackgroundChoice& c : choices) {
        c.write(memoryOf(saved));
        EXPECT_EQ(BackgroundChoice::read(memoryOf(saved)), c) << c.path.toStdString();
    }
    saved = {{"Background/Kind", "movie"},
             {"Background/Colour", "not a colour"},
             {"Background/PeriodSeconds", "99999"}};
    const BackgroundChoice bad = BackgroundChoice::read(memoryOf(saved));
    EXPECT_TRUE(bad.kind == Kind::None && bad.colour == Qt::black && bad.periodSeconds == 3600);
}

// The dialog starts from the choice it is given and hands back what it shows.
TEST(BackgroundChoiceTest, DialogShowsTheChoiceItWasGiven) {
    const BackgroundChoice choices[] = {
        {},
        {Kind::Colour, QColor(200, 100, 0), "", 10, true},
        {Kind::Folder, Qt::black, "/photos", 45, false},
        {Kind::Video, Qt::white, "/clips/loop.mkv", 1, true},
    };
    for (const BackgroundChoice& c : choices) {
        BackgroundDialog dialog(c);
        EXPECT_EQ(dialog.choice(), c) << c.path.toStdString();
    }
}

// A song: colour 0 black (the screen clear), colour 2 red in one tile at picture
// (60..65, 60..71), so display pixel (54, 48) at 1:1; optionally colour 0 marked transparent.
void drawSong(CdgMachine& m, bool marks) {
    using namespace encode;
    m.beginSession();
    m.interpret(loadColours(0, {Rgb4{0, 0, 0}, Rgb4{0, 0, 0}, Rgb4{15, 0, 0}}));
    m.interpret(memoryPreset(0));
    m.interpret(solidTile(2, 5, 10));
    if (marks) m.interpret(packet(28, {0x3F}));
}

QString writeImage(const QString& path, QColor left, QColor right) {
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixelColor(0, 0, left);
    image.setPixelColor(1, 0, right);
    EXPECT_TRUE(image.save(path));
    return path;
}

struct BackgroundTest : ::testing::Test {
    QTemporaryDir dir;
    Saved saved;
    CdgMachine machine;
    std::unique_ptr<DisplayController> d = make();

    std::unique_ptr<DisplayController> make() {
        auto c = std::make_unique<DisplayController>(
            machine, [] { return true; }, QIcon(), nullptr, memoryOf(saved));
        c->stepZoom();  // factor 1: the frame is the 294x204 view, pixel for pixel
        return c;
    }
    DisplayWindow* window() { return qobject_cast<DisplayWindow*>(d->window()); }
    QColor at(int x, int y) {
        d->copyPicture();
        return window()->frame().pixelColor(x, y);
    }
    // Waits for a still to be decoded on its worker thread.
    bool shows(BackgroundSource& source) {
        return QTest::qWaitFor([&] { return !source.scaledTo({2, 2}).isNull(); }, 5000);
    }
};

struct CompositeCase {
    const char* name;
    Kind kind;
    bool songMarks, clearTransparent;
    QColor transparentSpot, rightSpot;  // (10, 10) and (280, 10): colour 0's pixels
};

class Composite : public BackgroundTest, public ::testing::WithParamInterface<CompositeCase> {};

TEST_P(Composite, BackgroundShowsOnlyThroughTransparentColours) {
    const CompositeCase& c = GetParam();
    drawSong(machine, c.songMarks);
    BackgroundChoice choice{c.kind, Qt::green, "", 10, c.clearTransparent};
    if (c.kind == Kind::Image) {
        choice.path = writeImage(dir.filePath("back.png"), Qt::blue, Qt::yellow);
    }
    d->setBackground(choice);
    if (c.kind == Kind::Image) {
        ASSERT_TRUE(shows(d->background()));
    }
    EXPECT_EQ(at(10, 10), c.transparentSpot);
    EXPECT_EQ(at(280, 10), c.rightSpot);
    EXPECT_EQ(at(56, 50), QColor(Qt::red));        // opaque colours stay as they are
    if (c.transparentSpot == QColor(Qt::black)) {  // exactly the plain picture copy
        QImage plain(294, 204, QImage::Format_RGB32);
        stretchVisibleWindow(machine, 294, 204, reinterpret_cast<uint32_t*>(plain.bits()),
                             int(plain.bytesPerLine() / 4));
        EXPECT_EQ(window()->frame(), plain);
    }
}

const CompositeCase kComposites[] = {
    {"NoneIsThePlainPicture", Kind::None, true, true, Qt::black, Qt::black},
    {"ColourThroughAMarkedColour", Kind::Colour, true, false, Qt::green, Qt::green},
    {"UnmarkedSongStaysOpaque", Kind::Colour, false, false, Qt::black, Qt::black},
    {"ClearColourTransparentByChoice", Kind::Colour, false, true, Qt::green, Qt::green},
    {"ImageScaledToTheFrame", Kind::Image, true, false, Qt::blue, Qt::yellow},
};

INSTANTIATE_TEST_SUITE_P(Cases, Composite, ::testing::ValuesIn(kComposites),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(BackgroundTest, FolderShowsItsImagesInTurnByName) {
    QDir(dir.path()).mkdir("slides");
    writeImage(dir.filePath("slides/b.png"), Qt::red, Qt::red);
    writeImage(dir.filePath("slides/a.png"), Qt::blue, Qt::blue);
    QFile notes(dir.filePath("slides/notes.txt"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    drawSong(machine, true);
    d->setBackground({Kind::Folder, Qt::black, dir.filePath("slides"), 1, false});
    BackgroundSource& source = d->background();
    EXPECT_EQ(source.slides(),
              QStringList({dir.filePath("slides/a.png"), dir.filePath("slides/b.png")}));
    ASSERT_TRUE(shows(source));
    EXPECT_EQ(at(10, 10), QColor(Qt::blue));
    EXPECT_TRUE(QTest::qWaitFor([&] { return at(10, 10) == QColor(Qt::red); }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return at(10, 10) == QColor(Qt::blue); }, 3000));
}

TEST_F(BackgroundTest, MenuAsksForTheBackgroundAndTheNextRunHasIt) {
    int asked = 0;
    std::optional<BackgroundChoice> answer;
    d->setAskBackground([&](QWidget*, const BackgroundChoice& now) {
        ++asked;
        EXPECT_EQ(now.kind, asked == 1 ? Kind::None : Kind::Colour);
        return answer;
    });
    d->setVisible(true);
    QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5}, window()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window(), &event);
    QAction* entry = nullptr;
    for (QMenu* menu : window()->findChildren<QMenu*>())
        for (QAction* a : menu->actions())
            if (a->text() == "Background...") entry = a;
    ASSERT_NE(entry, nullptr);
    answer = BackgroundChoice{Kind::Colour, QColor(1, 2, 3), "", 10, true};
    entry->trigger();
    EXPECT_EQ(saved["Background/Kind"], "colour");
    answer.reset();  // cancelled: nothing changes
    d->askBackground();
    EXPECT_EQ(asked, 2);
    d.reset();
    d = make();
    EXPECT_EQ(d->background().choice(),
              (BackgroundChoice{Kind::Colour, QColor(1, 2, 3), "", 10, true}));
}

TEST_F(BackgroundTest, UpNextScreenIsTintedOverTheBackground) {
    const UpNext next{"Ann", "Song", "", 10, false, {}};
    d->setVisible(true);
    d->showUpNext(next);
    EXPECT_TRUE(window()->backdrop().isNull());
    EXPECT_EQ(window()->grab().toImage().pixelColor(2, 2), UpNextScreen::kBackground);
    d->setBackground({Kind::Colour, Qt::white, "", 10, false});
    ASSERT_FALSE(window()->backdrop().isNull());
    const QColor tinted = window()->grab().toImage().pixelColor(2, 2);
    EXPECT_TRUE(tinted != UpNextScreen::kBackground && tinted.red() > 80)
        << tinted.name().toStdString();
    d->hideUpNext();
    d->setBackground({});
    EXPECT_TRUE(window()->backdrop().isNull());
}

}  // namespace
}  // namespace lyrvox
