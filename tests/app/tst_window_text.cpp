// The control window's pure pieces: command line, frame rates, paths, the settings store.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "app/qt_settings_store.h"
#include "app/window_text.h"

using namespace lyrvox;

class WindowTextTest : public QObject {
    Q_OBJECT

  private slots:
    void commandLineQuoting_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("fileSpec");
        QTest::addColumn<bool>("plays");
        QTest::newRow("quoted path")
            << QStringList{"\"/My Songs/a.cdg\""} << "/My Songs/a.cdg" << true;
        QTest::newRow("one argument")
            << QStringList{"/My Songs/a.cdg"} << "/My Songs/a.cdg" << true;
        QTest::newRow("leading quote only") << QStringList{"\"/a.cdg"} << "/a.cdg" << true;
        QTest::newRow("trailing quote only") << QStringList{"/a.cdg\""} << "/a.cdg" << true;
        QTest::newRow("inner quotes stay") << QStringList{"/a\"b\".cdg"} << "/a\"b\".cdg" << true;
        QTest::newRow("words joined")
            << QStringList{"\"/My", "Songs/a", "b.cdg\""} << "/My Songs/a b.cdg" << true;
        QTest::newRow("one quote") << QStringList{"\""} << "" << true;
        QTest::newRow("two quotes") << QStringList{"\"\""} << "" << true;
        QTest::newRow("nothing") << QStringList{} << "" << false;
        QTest::newRow("empty argument") << QStringList{""} << "" << false;
        QTest::newRow("non-ASCII")
            << QStringList{"/Lieder/Größe.cdg"} << "/Lieder/Größe.cdg" << true;
    }
    void commandLineQuoting() {
        QFETCH(QStringList, args);
        QFETCH(QString, fileSpec);
        QFETCH(bool, plays);
        QCOMPARE(joinCommandLine(args), fileSpec);
        QCOMPARE(!commandLineText(args).isEmpty(), plays);
    }

    void frameIntervals() {
        const QStringList rates = frameRateEntries();
        QCOMPARE(rates, QStringList({"30", "25", "20", "15", "10", "5", "2", "1"}));
        const int want[] = {33, 40, 50, 67, 100, 200, 500, 1000};
        for (int i = 0; i < rates.size(); ++i) QCOMPARE(frameIntervalMs(rates[i]), want[i]);
        QCOMPARE(frameIntervalMs("2000"), 0);  // 0.5 ms rounds to the even 0: no interval
        QCOMPARE(frameIntervalMs("x"), 0);
    }

    void pathsAndNames() {
        QCOMPARE(documentationPath("/"), QString("/lyrvox.txt"));
        QCOMPARE(folderWithSeparator("/My Songs.v2/a.cdg"), QString("/My Songs.v2/"));
        const QString odd = QString::fromUtf8("/tmp/Größe \"x\".cdg");
        QCOMPARE(toFsPath(odd), std::string("/tmp/Gr\xc3\xb6\xc3\x9f"
                                            "e \"x\".cdg"));
        QCOMPARE(fromFsPath(toFsPath(odd)), odd);
    }

    void settingsRoundTripAndLocation() {
        // XDG_CONFIG_HOME is a folder of this test's own.
        QtSettingsStore store;
        QVERIFY(store.writePath("/My Songs/Ünï/"));
        QCOMPARE(store.readPath().value(), QString("/My Songs/Ünï/"));
        const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Lyrvox/Lyrvox.conf";
        QVERIFY2(QFileInfo::exists(file), qPrintable(file));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.contains("[Config]"));
        QVERIFY(text.contains("Path="));
    }

    void brokenSettingsCountAsAbsent() {
        QTemporaryDir dir;
        const QString ini = dir.filePath("Lyrvox.conf");
        QCOMPARE(QtSettingsStore(ini).readPath(), std::optional<QString>());
        for (const QByteArray& content :
             {QByteArray("[Config]\nPath=@Variant(\\0\\0\\0\\x7f\\xff\\xff)\n"),
              QByteArray("\x00\xff\xfe[[[Config\nPath\n=\n", 19),
              QByteArray("[Config]\nPath=\n")}) {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
            f.close();
            QCOMPARE(QtSettingsStore(ini).readPath(), std::optional<QString>());
        }
        // A folder in the file's place cannot be read or written.
        QFile::remove(ini);
        QVERIFY(QDir().mkdir(ini));
        QCOMPARE(QtSettingsStore(ini).readPath(), std::optional<QString>());
        QVERIFY(!QtSettingsStore(ini).writePath("/x/"));
    }
};

QTEST_GUILESS_MAIN(WindowTextTest)
#include "tst_window_text.moc"
