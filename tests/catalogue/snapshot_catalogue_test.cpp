// The bad-input catalogue, snapshot part: a snapshot into a folder that cannot
// be written (a small disk mounted read-only, which stops root too).
#include <QTest>

#include "display/snapshot.h"
#include "tests/catalogue/catalogue_support.h"

using namespace lyrvox;

class SnapshotCatalogueTest : public QObject {
    Q_OBJECT
  private slots:
    // A snapshot into a folder that cannot be written: nothing is written and
    // the counter stays, so the next good snapshot takes the same number.
    void snapshotIntoReadOnlyFolder() {
        lyrvox::testing::SmallDisk disk(64 * 1024);
        if (!disk.mounted()) QSKIP("mounting a small tmpfs is not allowed here");
        QVERIFY(::mount("tmpfs", disk.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) ==
                0);
        CdgMachine machine;
        Snapshots snapshots;
        snapshots.Basename = "nofile";
        const Snapshots::Result result =
            snapshots.take(machine, QString::fromStdString(disk.path()));
        QVERIFY(!result.written);
        QCOMPARE(result.path, QString::fromStdString(disk.path("nofile000.bmp")));
        QCOMPARE(snapshots.SnapNum, int64_t{0});
        QVERIFY(lyrvox::testing::filesIn(disk.path()).empty());
    }
};

QTEST_GUILESS_MAIN(SnapshotCatalogueTest)
#include "snapshot_catalogue_test.moc"
