// "Export video...": the dialog runs a stand-in for lyrvox-cdg (a shell script in the
// test's own folder) and shows its progress, its end, its failure or its cancelling,
// while the song in the player plays on.
#include <gtest/gtest.h>
#include <signal.h>
#include <QTest>
#include <QtWidgets>

#include "app/control_window.h"
#include "app/export_video_dialog.h"
#include "playback/cdg/packet_encoder.h"
#include "support/session_world.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

// A fake exporter: records its arguments in `args`, then runs `body`.
QString fakeExporter(const QTemporaryDir& dir, const QString& body) {
    const QString path = dir.filePath("lyrvox-cdg");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.filePath("args") + "'\n" + body + "\n")
                   .toUtf8());
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

struct ExportCase {
    const char* name;
    const char* body;  // the fake exporter's script after recording its arguments
    const char* output;
    bool written;
    const char* status;      // what the dialog says at the end ("OUT": the output's path)
    std::vector<int> steps;  // bar values shown (tenths of a percent); full once written
};

class ExportVideo : public ::testing::TestWithParam<ExportCase> {};

TEST_P(ExportVideo, ShowsProgressAndTheOutcome) {
    const ExportCase& c = GetParam();
    QTemporaryDir dir;
    ExportVideoDialog dialog(dir.filePath("song one.zip"), fakeExporter(dir, c.body));
    const QString out = dir.filePath(c.output);
    dialog.setOutput(out);
    dialog.setFrameSize({640, 360});
    dialog.setFramesPerSecond(25);
    std::vector<int> steps;
    QObject::connect(dialog.progressBar(), &QProgressBar::valueChanged,
                     [&](int v) { steps.push_back(v); });
    bool indeterminate = false;  // the bar showed work without a fraction
    std::optional<bool> ended;
    QObject::connect(&dialog, &ExportVideoDialog::exportEnded, [&](bool w) { ended = w; });
    dialog.start();
    EXPECT_TRUE(dialog.running() && dialog.progressBar()->isVisible() == dialog.isVisible());
    indeterminate = dialog.progressBar()->maximum() == 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.has_value(); }, 10000));
    EXPECT_TRUE(indeterminate && !dialog.running());
    EXPECT_EQ(*ended, c.written);
    EXPECT_EQ(dialog.statusText(), QString(c.status).replace("OUT", out));
    steps.erase(std::remove(steps.begin(), steps.end(), 0), steps.end());
    EXPECT_EQ(steps, c.steps);
    QStringList args{"video", dir.filePath("song one.zip"), "-o", out, "--size", "640x360", "--fps",
                     "25"};
    if (out.endsWith(".mkv"))
        args << "--format"
             << "mkv";
    args << "--progress-lines";
    QFile recorded(dir.filePath("args"));
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(recorded.readAll()).split('\n', Qt::SkipEmptyParts), args);
}

const ExportCase kExports[] = {
    {"FractionLines",
     "echo progress 0.25; sleep 0.2; echo progress 0.5; sleep 0.2; echo progress 1",
     "a.mp4",
     true,
     "Video written: OUT",
     {250, 500, 1000}},
    {"PercentagesOnStderrAndCarriageReturns",
     "printf 'Exporting  40%%\\r' >&2; sleep 0.2; printf 'Exporting  80.5 %%\\r' >&2",
     "b.mkv",
     true,
     "Video written: OUT",
     {400, 805, 1000}},
    {"NoProgressStaysIndeterminate", "sleep 0.3", "c.mp4", true, "Video written: OUT", {1000}},
    {"FailureTellsTheExportersLastWords",
     "echo progress 0.1; echo 'Cannot read song one.zip: no graphics' >&2; echo progress 0.2; "
     "exit 3",
     "d.mp4",
     false,
     "Export failed: Cannot read song one.zip: no graphics",
     {100, 200}},
    {"FailureWithoutWords", "exit 2", "e.mp4", false, "Export failed: exit status 2", {}},
    {"Crash", "kill -9 $$", "f.mp4", false, "Export failed: the exporter crashed", {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ExportVideo, ::testing::ValuesIn(kExports),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ExportVideoDialogTest, RefusesBadChoicesAndAMissingExporter) {
    QTemporaryDir dir;
    ExportVideoDialog dialog(dir.filePath("s.cdg"), fakeExporter(dir, "exit 0"));
    EXPECT_TRUE(dialog.arguments().contains(dir.filePath("s.mp4")));  // beside the song
    dialog.setOutput("");
    dialog.start();
    EXPECT_TRUE(!dialog.running() && dialog.statusText() == "Choose the output file first.");
    dialog.setOutput(dir.filePath("x.mp4"));
    for (const char* bad : {"1280", "0x720", "axb", "99999x2"}) {
        dialog.setFrameSize({});
        qobject_cast<QComboBox*>(dialog.findChildren<QComboBox*>().value(0))->setCurrentText(bad);
        dialog.start();
        EXPECT_FALSE(dialog.running()) << bad;
        EXPECT_EQ(dialog.statusText(), "The size must be WIDTHxHEIGHT, e.g. 1280x720.");
    }
    dialog.setFrameSize({320, 240});
    dialog.setProgram(dir.filePath("nothing here"));
    bool ended = false;
    QObject::connect(&dialog, &ExportVideoDialog::exportEnded, [&] { ended = true; });
    dialog.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 5000));
    EXPECT_TRUE(dialog.statusText().startsWith("Export failed: lyrvox-cdg could not be started"));
}

// The display's background goes to the exporter as its options.
struct BackgroundArgsCase {
    const char* name;
    BackgroundChoice::Kind kind;
    const char* colourOrPath;
    bool clearTransparent;
    const char* expected;  // the arguments between --fps N and --progress-lines
};

class ExportVideoBackground : public ::testing::TestWithParam<BackgroundArgsCase> {};

TEST_P(ExportVideoBackground, PassesTheDisplaysBackground) {
    const BackgroundArgsCase& c = GetParam();
    QTemporaryDir dir;
    ExportVideoDialog dialog(dir.filePath("s.cdg"), fakeExporter(dir, "exit 0"));
    BackgroundChoice choice;
    choice.kind = c.kind;
    if (c.kind == BackgroundChoice::Kind::Colour) {
        choice.colour = QColor(QString::fromUtf8(c.colourOrPath));
    } else {
        choice.path = QString::fromUtf8(c.colourOrPath);
    }
    choice.periodSeconds = 7;
    choice.clearColourTransparent = c.clearTransparent;
    dialog.setBackground(choice);
    const QStringList args = dialog.arguments();
    const auto from = args.indexOf(QStringLiteral("--fps")) + 2;
    const auto to = args.indexOf(QStringLiteral("--progress-lines"));
    EXPECT_EQ(args.mid(from, to - from).join(' '), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ExportVideoBackground,
    ::testing::Values(BackgroundArgsCase{"none", BackgroundChoice::Kind::None, "", true, ""},
                      BackgroundArgsCase{"colour", BackgroundChoice::Kind::Colour, "#102030", false,
                                         "--background #102030"},
                      BackgroundArgsCase{"image_and_clear_colour", BackgroundChoice::Kind::Image,
                                         "/p/stage.png", true,
                                         "--background /p/stage.png --transparent-background"},
                      BackgroundArgsCase{"slideshow", BackgroundChoice::Kind::Folder, "/p/slides",
                                         false, "--background /p/slides --slide-seconds 7"},
                      BackgroundArgsCase{"video", BackgroundChoice::Kind::Video, "/p/loop.mp4",
                                         false, "--background /p/loop.mp4"}),
    [](const auto& param) { return std::string(param.param.name); });

// The control window's part: the display menu's entry opens the dialog for the chosen song,
// and while the export runs the song's picture keeps advancing; Cancel ends the exporter.
struct ExportFromPlayer : ::testing::Test, DialogProvider, SettingsStore {
    QTemporaryDir program, work;
    std::optional<OpenFileChoice> answer;
    testing::FakeMedia media;
    std::map<QString, QString> texts;
    ControlWindow window{{media, *this, *this, {}, program.path(), [] {}}};

    std::optional<OpenFileChoice> chooseOpenFile(const OpenFileRequest&) override {
        return std::exchange(answer, std::nullopt);
    }
    void showMessage(const QString&) override {}
    bool askYesNo(const QString&) override { return false; }
    bool openDocument(const QString&) override { return false; }
    std::optional<QString> readPath() override { return std::nullopt; }
    bool writePath(const QString&) override { return false; }
    std::optional<QString> readText(const QString& key) override {
        return texts.contains(key) ? std::optional(texts[key]) : std::nullopt;
    }
    bool writeText(const QString& key, const QString& value) override {
        texts[key] = value;
        return true;
    }
    // The display window's right-click menu, and its entry of that text.
    QAction* menuEntry(const QString& text) {
        QWidget* display = window.display().window();
        QContextMenuEvent event(QContextMenuEvent::Mouse, {5, 5},
                                display->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(display, &event);
        QAction* found = nullptr;
        for (QMenu* menu : display->findChildren<QMenu*>())
            for (QAction* a : menu->actions())
                if (a->text() == text) found = a;
        return found;
    }
};

TEST_F(ExportFromPlayer, ExportsTheChosenSongWhileItPlaysAndCancelEndsTheExporter) {
    window.startUp({});
    QAction* entry = menuEntry("Export video...");
    ASSERT_NE(entry, nullptr);
    EXPECT_FALSE(entry->isEnabled());  // no song chosen yet
    std::vector<uint8_t> bytes;        // ten seconds of graphics: paced by the clock
    for (int i = 0; i < 3000; ++i) encode::append(bytes, encode::memoryPreset(i % 16));
    const QString song = work.filePath("a.cdg");
    testing::writeFile(song.toStdString(), bytes);
    answer = OpenFileChoice{song, 2};
    window.openSong();
    window.playPauseOrContinue();
    BackgroundChoice behind;
    behind.kind = BackgroundChoice::Kind::Colour;
    behind.colour = QColor(0x10, 0x20, 0x30);
    window.display().setBackground(behind);
    entry = menuEntry("Export video...");
    ASSERT_TRUE(entry != nullptr && entry->isEnabled());
    entry->trigger();
    auto* dialog = window.findChild<ExportVideoDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible() && !dialog->isModal());
    EXPECT_EQ(dialog->arguments().value(1), song);
    EXPECT_TRUE(dialog->arguments().join(' ').contains("--background #102030"));
    dialog->setProgram(fakeExporter(
        work, "echo $$ > '" + work.filePath("pid") + "'; echo progress 0.1; exec sleep 30"));
    const auto packets = [&] { return window.session().state().targetPacket; };
    dialog->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->progressBar()->value() == 100; }, 5000));
    const int32_t before = packets();
    QTest::qWait(500);
    EXPECT_GT(packets() - before, 75);  // of the 150 due in half a second
    QFile pidFile(work.filePath("pid"));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = pidFile.readAll().trimmed().toInt();
    ASSERT_GT(pid, 0);
    QPointer<ExportVideoDialog> guard(dialog);
    dialog->cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->running(); }, 3000));
    EXPECT_EQ(dialog->statusText(), "Export cancelled.");
    EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(pid, 0) != 0; }, 3000));  // gone
    dialog->cancel();  // now Close: the dialog goes away
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
}

}  // namespace
}  // namespace lyrvox
