// Snapshots: names, numbering, never replacing a file, failures, the BMP itself.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "display/snapshot.h"
#include "tests/support/packet_builder.h"

using namespace lyrvox;

class SnapshotTest : public QObject {
    Q_OBJECT

  private slots:
    void namesHaveAtLeastThreeDigits() {
        QCOMPARE(snapshotFileName("nofile", 7), QString("nofile007.bmp"));
        QCOMPARE(snapshotFileName("nofile", 10000), QString("nofile10000.bmp"));
        QCOMPARE(snapshotFileName("", 1), QString("001.bmp"));
    }

    void numberingSkipsExistingFiles() {
        QTemporaryDir dir;
        CdgMachine machine;
        Snapshots snaps;
        snaps.Basename = "nofile";
        QVERIFY(snaps.take(machine, dir.path()).written);
        QVERIFY(snaps.take(machine, dir.path()).written);
        QFile keep(dir.filePath("nofile002.bmp"));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("keep");
        keep.close();
        QVERIFY(QDir(dir.path()).mkdir("nofile003.bmp"));  // a folder blocks a name too
        const Snapshots::Result r = snaps.take(machine, dir.path());
        QVERIFY(r.written);
        QCOMPARE(r.path, dir.filePath("nofile004.bmp"));
        QCOMPARE(snaps.SnapNum, 5);
        QVERIFY(keep.open(QIODevice::ReadOnly));
        QCOMPARE(keep.readAll(), QByteArray("keep"));

        // The counter goes past 32767.
        snaps.SnapNum = 32767;
        QCOMPARE(snaps.take(machine, dir.path()).path, dir.filePath("nofile32767.bmp"));
        QCOMPARE(snaps.take(machine, dir.path()).path, dir.filePath("nofile32768.bmp"));
        QCOMPARE(snaps.SnapNum, 32769);
    }

    void bitmapHoldsTheWholePicture() {
        QTemporaryDir dir;
        CdgMachine machine;
        // Drawn with the picture's own routines, plus scroll offsets a snapshot ignores.
        machine.ColourTable = {
            0x000000FF, 0x0000FF00, 0x00FF0000, 0x00FFFFFF, 0x00808080, 0x00102030, 0, 0,
            0,          0,          0,          0,          0,          0,          0, 0x00FF00FF};
        machine.beginSession();
        machine.InterpretPacket(testing::memoryPreset(1));
        machine.InterpretPacket(testing::borderPreset(2));
        machine.InterpretPacket(testing::solidTile(15, 3, 4));
        machine.FillArea(100, 100, 110, 120, 4);
        machine.PlotPixel(299, 215, 5);
        machine.HOffset = 3;
        machine.VOffset = 7;

        Snapshots snaps;
        snaps.Basename = "pic";
        const Snapshots::Result r = snaps.take(machine, dir.path());
        QVERIFY(r.written);

        QFile file(r.path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("BM"));
        const auto compression = static_cast<unsigned char>(bytes.at(30));  // BI_RGB or bit-fields
        QVERIFY(compression == 0 || compression == 3);

        const QImage back(r.path, "BMP");
        QCOMPARE(back.size(), QSize(300, 216));
        for (int y = 0; y < 216; ++y) {
            for (int x = 0; x < 300; ++x) {
                const QRgb want = toArgb(machine.pictureColour(x, y));
                if (back.pixel(x, y) != want)
                    QFAIL(qPrintable(QString("pixel %1,%2").arg(x).arg(y)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(SnapshotTest)
#include "tst_snapshot.moc"
