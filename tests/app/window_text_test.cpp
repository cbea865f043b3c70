// The control window's pieces without widgets: command line, frame rates, paths,
// the settings store, and snapshot files.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "app/qt_settings_store.h"
#include "app/window_text.h"
#include "display/snapshot.h"
#include "playback/cdg/packet_encoder.h"

namespace lyrvox {
namespace {

TEST(WindowText, CommandLineQuoting) {
    const struct {
        QStringList args;
        QString file;  // what start-up plays, when it plays at all
        bool plays;
    } cases[] = {{{"\"/My Songs/a.cdg\""}, "/My Songs/a.cdg", true},
                 {{"\"/a.cdg"}, "/a.cdg", true},
                 {{"/a.cdg\""}, "/a.cdg", true},
                 {{"/a\"b\".cdg"}, "/a\"b\".cdg", true},  // inner quotes stay
                 {{"\"/My", "Songs/a", "b.cdg\""}, "/My Songs/a b.cdg", true},
                 {{"\""}, "", true},
                 {{"\"\""}, "", true},
                 {{}, "", false},
                 {{""}, "", false},
                 {{"/Lieder/Größe.cdg"}, "/Lieder/Größe.cdg", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join('|').toStdString());
        EXPECT_EQ(joinCommandLine(c.args), c.file);
        EXPECT_EQ(!commandLineText(c.args).isEmpty(), c.plays);
    }
}

TEST(WindowText, FrameIntervalsAndPaths) {
    const QStringList rates = frameRateEntries();
    const int want[] = {33, 40, 50, 67, 100, 200, 500, 1000};
    ASSERT_EQ(rates, QStringList({"30", "25", "20", "15", "10", "5", "2", "1"}));
    for (int i = 0; i < rates.size(); ++i) EXPECT_EQ(frameIntervalMs(rates[i]), want[i]);
    EXPECT_EQ(frameIntervalMs("2000"), 0);  // 0.5 ms rounds to the even 0: no interval
    EXPECT_EQ(frameIntervalMs("x"), 0);
    EXPECT_EQ(documentationPath("/"), "/lyrvox.txt");
    EXPECT_EQ(documentationPath("/opt/lyrvox"), "/opt/lyrvox/lyrvox.txt");
    EXPECT_EQ(folderWithSeparator("/My Songs.v2/a.cdg"), "/My Songs.v2/");
    const QString odd = QString::fromUtf8("/tmp/Größe \"x\".cdg");
    EXPECT_EQ(toFsPath(odd),
              "/tmp/Gr\xc3\xb6\xc3\x9f"
              "e \"x\".cdg");
    EXPECT_EQ(fromFsPath(toFsPath(odd)), odd);
}

TEST(SettingsStore, RoundTripsInTheUsersConfigFolder) {
    QtSettingsStore store;  // the test runs with an XDG_CONFIG_HOME of its own
    ASSERT_TRUE(store.writePath("/My Songs/Ünï/"));
    EXPECT_EQ(store.readPath(), QString("/My Songs/Ünï/"));
    QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + "/Lyrvox/Lyrvox.conf");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Config]") && text.contains("Path=")) << text.toStdString();
}

TEST(SettingsStore, BrokenOrUnreadableSettingsCountAsAbsent) {
    QTemporaryDir dir;
    const QString ini = dir.filePath("Lyrvox.conf");
    EXPECT_EQ(QtSettingsStore(ini).readPath(), std::nullopt);
    for (const QByteArray& content :
         {QByteArray("[Config]\nPath=@Variant(\\0\\0\\0\\x7f\\xff\\xff)\n"),
          QByteArray("\x00\xff\xfe[[[Config\nPath\n=\n", 19), QByteArray("[Config]\nPath=\n")}) {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        EXPECT_EQ(QtSettingsStore(ini).readPath(), std::nullopt) << content.toStdString();
    }
    QFile::remove(ini);  // a folder in the file's place: cannot be read or written
    ASSERT_TRUE(QDir().mkdir(ini));
    EXPECT_EQ(QtSettingsStore(ini).readPath(), std::nullopt);
    EXPECT_FALSE(QtSettingsStore(ini).writePath("/x/"));
}

TEST(Snapshot, NamesHaveAtLeastThreeDigitsAndNumbersGoPast32767) {
    EXPECT_EQ(snapshotFileName("nofile", 7), "nofile007.bmp");
    EXPECT_EQ(snapshotFileName("nofile", 10000), "nofile10000.bmp");
    EXPECT_EQ(snapshotFileName("", 1), "001.bmp");
    QTemporaryDir dir;
    Snapshots snaps{32767, "nofile"};
    EXPECT_EQ(snaps.take(CdgMachine{}, dir.path()).path, dir.filePath("nofile32767.bmp"));
    EXPECT_EQ(snaps.take(CdgMachine{}, dir.path()).path, dir.filePath("nofile32768.bmp"));
    EXPECT_EQ(snaps.nextNumber, 32769);
}

TEST(Snapshot, TheBitmapHoldsTheWholePictureExactly) {
    CdgMachine m;
    m.colourTable = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x808080, 0x102030};
    m.colourTable[15] = 0xFF00FF;
    m.beginSession();
    for (const SubcodePacket& p :
         {encode::memoryPreset(1), encode::borderPreset(2), encode::solidTile(15, 3, 4)})
        m.interpret(p);
    m.fillArea(100, 100, 110, 120, 4);
    m.plotPixel(299, 215, 5);
    m.HOffset = 3;  // the display's offsets: a snapshot ignores them
    m.VOffset = 7;
    QTemporaryDir dir;
    Snapshots snaps{0, "pic"};
    const Snapshots::Result r = snaps.take(m, dir.path());
    ASSERT_TRUE(r.written);
    QFile file(r.path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("BM"));
    EXPECT_TRUE(bytes.at(30) == 0 || bytes.at(30) == 3);  // uncompressed or bit fields
    const QImage back(r.path, "BMP");
    ASSERT_EQ(back.size(), QSize(300, 216));
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 300; ++x)
            ASSERT_EQ(back.pixel(x, y), toArgb(m.pictureColour(x, y))) << x << "," << y;
}

}  // namespace
}  // namespace lyrvox
