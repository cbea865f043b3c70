// The control window's pieces without widgets: command line, frame rates, paths,
// the settings store, and snapshot files.
#include <gtest/gtest.h>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include "app/qt_settings_store.h"
#include "app/window_text.h"
#include "display/snapshot.h"
#include "playback/cdg/packet_encoder.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

TEST(WindowText, CommandLineFrameRatesAndPaths) {
    EXPECT_EQ(joinCommandLine({"\"/My", "Songs/a", "b.cdg\""}), "/My Songs/a b.cdg");
    EXPECT_EQ(joinCommandLine({"\"/a.cdg"}), "/a.cdg");
    EXPECT_EQ(joinCommandLine({"/a.cdg\""}), "/a.cdg");
    EXPECT_EQ(joinCommandLine({"/a\"b\".cdg"}), "/a\"b\".cdg");  // inner quotes stay
    EXPECT_EQ(joinCommandLine({"\"\""}), "");
    // Start-up plays when the joined words are not empty, even a lone quote.
    EXPECT_EQ(commandLineText({"\""}), "\"");
    EXPECT_TRUE(commandLineText({}).isEmpty() && commandLineText({""}).isEmpty());
    const int intervals[] = {33, 40, 50, 67, 100, 200, 500, 1000};
    ASSERT_EQ(frameRateEntries(), QStringList({"30", "25", "20", "15", "10", "5", "2", "1"}));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(frameIntervalMs(frameRateEntries()[i]), intervals[i]);
    EXPECT_EQ(frameIntervalMs("2000"), 0);  // 0.5 ms rounds to the even 0: no interval
    EXPECT_EQ(documentationPath("/") + documentationPath("/opt"), "/lyrvox.txt/opt/lyrvox.txt");
    EXPECT_EQ(folderWithSeparator("/My Songs.v2/a.cdg"), "/My Songs.v2/");
    EXPECT_EQ(toFsPath("/Größe \"x\".cdg"), "/Größe \"x\".cdg");  // UTF-8
    EXPECT_EQ(fromFsPath(toFsPath("/Größe \"x\".cdg")), "/Größe \"x\".cdg");
}

TEST(SettingsStore, RoundTripsAndBrokenOrUnreadableSettingsCountAsAbsent) {
    ASSERT_TRUE(QtSettingsStore().writePath("/My Songs/Ünï/"));  // XDG_CONFIG_HOME of its own
    EXPECT_EQ(QtSettingsStore().readPath(), QString("/My Songs/Ünï/"));
    const auto conf = qEnvironmentVariable("XDG_CONFIG_HOME").toStdString() + "/Lyrvox/Lyrvox.conf";
    EXPECT_TRUE(testing::readFile(conf).starts_with("[Config]\nPath=")) << conf;
    QTemporaryDir dir;
    const QString ini = dir.filePath("Lyrvox.conf");
    EXPECT_EQ(QtSettingsStore(ini).readPath(), std::nullopt);
    for (const std::string& content :
         {std::string("[Config]\nPath=@Variant(\\0\\0\\0\\x7f\\xff\\xff)\n"),
          std::string("\x00\xff\xfe[[[Config\nPath\n=\n", 19), std::string("[Config]\nPath=\n")}) {
        testing::writeFile(ini.toStdString(), content);
        EXPECT_EQ(QtSettingsStore(ini).readPath(), std::nullopt) << content;
    }
    ASSERT_TRUE(QFile::remove(ini) && QDir().mkdir(ini));  // a folder in the file's place
    EXPECT_EQ(QtSettingsStore(ini).readPath(), std::nullopt);
    EXPECT_FALSE(QtSettingsStore(ini).writePath("/x/"));
}

TEST(Snapshot, NamesNumbersAndTheWholePictureExactly) {
    EXPECT_EQ(snapshotFileName("nofile", 7), "nofile007.bmp");
    EXPECT_EQ(snapshotFileName("nofile", 10000), "nofile10000.bmp");
    EXPECT_EQ(snapshotFileName("", 1), "001.bmp");
    CdgMachine m;
    m.colourTable = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x808080, 0x102030};
    m.beginSession();
    m.interpret(encode::borderPreset(2));
    m.interpret(encode::solidTile(1, 3, 4));
    m.fillArea(100, 100, 110, 120, 4);
    m.plotPixel(299, 215, 5);
    m.HOffset = 3;  // the display's offsets: a snapshot ignores them
    m.VOffset = 7;
    QTemporaryDir dir;
    Snapshots snaps{32767, "pic"};  // the numbers go on past 16 bits
    ASSERT_TRUE(snaps.take(m, dir.path()).written);
    const Snapshots::Result r = snaps.take(m, dir.path());
    EXPECT_EQ(r.path, dir.filePath("pic32768.bmp"));
    EXPECT_EQ(snaps.nextNumber, 32769);
    const std::string bytes = testing::readFile(r.path.toStdString());
    EXPECT_TRUE(bytes.starts_with("BM") && (bytes.at(30) == 0 || bytes.at(30) == 3));  // no RLE
    const QImage back(r.path, "BMP");
    ASSERT_EQ(back.size(), QSize(300, 216));
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(back.pixel(x, y), toArgb(m.pictureColour(x, y))) << x << "," << y;
}

}  // namespace
}  // namespace lyrvox
