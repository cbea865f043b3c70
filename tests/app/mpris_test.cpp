// The player's MPRIS service on a private session bus, seen from another
// connection as the desktop's media controls see it: the name, the transport
// commands and PlaybackStatus, the song's metadata, the volume and the
// PropertiesChanged news. The control window runs offscreen on a fake media
// control with a graphics-only song paced by the clock.
#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QTest>
#include <QtWidgets>

#include "app/control_window.h"
#include "app/mpris/mpris_service.h"
#include "app/qt_settings_store.h"
#include "app/window_text.h"
#include "playback/cdg/packet_encoder.h"
#include "support/session_world.h"
#include "support/test_files.h"

namespace lyrvox {
namespace {

const QString kService = QString::fromLatin1(MprisService::kServiceName);
const QString kPath = QString::fromLatin1(MprisService::kObjectPath);
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// Each PropertiesChanged of the player interface, as its changed properties.
class ChangeRecorder : public QObject {
    Q_OBJECT
  public:
    QList<QVariantMap> changes;
  public slots:
    void changed(const QString& interface, const QVariantMap& properties, const QStringList&) {
        if (interface == kPlayer) changes << properties;
    }
};

struct MprisTest : ::testing::Test, DialogProvider {
    // One private bus for the whole suite; this process's session bus is it.
    static inline QProcess* daemon = nullptr;
    static inline QString address;

    static void SetUpTestSuite() {
        daemon = new QProcess;
        daemon->start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon->waitForStarted(5000) || !daemon->waitForReadyRead(5000)) return;
        address = QString::fromLatin1(daemon->readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLatin1());
    }
    static void TearDownTestSuite() {
        daemon->terminate();
        daemon->waitForFinished(5000);
        delete daemon;
    }

    QTemporaryDir work;
    QtSettingsStore settings{work.filePath("settings.ini")};
    testing::FakeMedia media;
    ControlWindow window{{media, *this, settings, {}, work.path(), [] {}}};
    int nexts = 0;
    std::unique_ptr<MprisService> service;
    QDBusConnection client{QStringLiteral("none")};
    ChangeRecorder recorder;

    void SetUp() override {
        if (address.isEmpty()) GTEST_SKIP() << "no dbus-daemon to run a private bus";
        window.startUp({});
        service = std::make_unique<MprisService>(window, [this] { ++nexts; });
        client = QDBusConnection::connectToBus(address, QStringLiteral("client"));
        ASSERT_TRUE(client.isConnected());
        client.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), &recorder,
                       SLOT(changed(QString, QVariantMap, QStringList)));
    }
    void TearDown() override {
        service.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    }
    std::optional<OpenFileChoice> chooseOpenFile(const OpenFileRequest&) override { return {}; }
    void showMessage(const QString&) override {}
    bool askYesNo(const QString&) override { return false; }
    bool openDocument(const QString&) override { return true; }

    // A call to the player's object; the player answers from this same thread, so
    // the wait runs the event loop.
    QDBusMessage call(const QString& interface, const QString& method,
                      const QVariantList& args = {}) {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
        message.setArguments(args);
        return client.call(message, QDBus::BlockWithGui, 5000);
    }
    QVariant get(const QString& interface, const QString& property) {
        const QDBusMessage reply = call(kProperties, QStringLiteral("Get"), {interface, property});
        if (reply.type() != QDBusMessage::ReplyMessage) return {};
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QString status() { return get(kPlayer, QStringLiteral("PlaybackStatus")).toString(); }
    QVariantMap metadata() {
        return qdbus_cast<QVariantMap>(get(kPlayer, QStringLiteral("Metadata")));
    }
    // A ten-second graphics-only song named "Queen - Bohemian Rhapsody".
    QString writeSong() {
        const QString path = work.filePath("Queen - Bohemian Rhapsody.cdg");
        std::vector<uint8_t> bytes = encode::fileOf({encode::memoryPreset(1)});
        for (int i = 0; i < 2999; ++i) encode::append(bytes, encode::memoryPreset(i % 16));
        testing::writeFile(toFsPath(path), bytes);
        return path;
    }
    bool changeSeen(const QString& property, const QVariant& value) {
        return QTest::qWaitFor([&] {
            for (const QVariantMap& change : recorder.changes)
                if (change.value(property) == value) return true;
            return false;
        });
    }
};

TEST_F(MprisTest, OwnsTheNameAndTellsWhatItIs) {
    EXPECT_EQ(service->busName(), kService);
    EXPECT_TRUE(client.interface()->isServiceRegistered(kService).value());
    const QString root = QStringLiteral("org.mpris.MediaPlayer2");
    EXPECT_EQ(get(root, "Identity").toString(), "Lyrvox");
    EXPECT_TRUE(get(root, "CanQuit").toBool());
    EXPECT_FALSE(get(root, "HasTrackList").toBool());
    EXPECT_TRUE(get(root, "SupportedUriSchemes").toStringList().contains("file"));
    EXPECT_EQ(status(), "Stopped");
    EXPECT_FALSE(get(kPlayer, "CanGoPrevious").toBool());
    EXPECT_EQ(get(kPlayer, "Rate").toDouble(), 1.0);
    // The name goes with the player.
    service.reset();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !client.interface()->isServiceRegistered(kService).value(); }));
}

// The commands in turn on one song, and the status each leaves, announced.
TEST_F(MprisTest, TransportCommandsChangeThePlaybackStatus) {
    const QString song = writeSong();
    call(kPlayer, "OpenUri", {QUrl::fromLocalFile(song).toString()});
    ASSERT_EQ(status(), "Playing");
    EXPECT_TRUE(changeSeen("PlaybackStatus", "Playing"));
    const struct {
        const char* command;
        const char* status;
    } steps[] = {{"Pause", "Paused"}, {"Pause", "Paused"},     {"PlayPause", "Playing"},
                 {"Play", "Playing"}, {"PlayPause", "Paused"}, {"Play", "Playing"},
                 {"Stop", "Stopped"}, {"Pause", "Stopped"},    {"PlayPause", "Playing"},
                 {"Stop", "Stopped"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command);
        recorder.changes.clear();
        const QString before = status();
        EXPECT_EQ(call(kPlayer, step.command).type(), QDBusMessage::ReplyMessage);
        EXPECT_EQ(status(), step.status);
        if (before != step.status) {
            EXPECT_TRUE(changeSeen("PlaybackStatus", step.status));
        }
    }
    EXPECT_EQ(QFileInfo(QString::fromStdString(window.chosenFile())).fileName(),
              QFileInfo(song).fileName());
}

TEST_F(MprisTest, MetadataNamesTheSongAndItsLength) {
    window.playFile(writeSong());
    ASSERT_EQ(status(), "Playing");
    const QVariantMap data = metadata();
    EXPECT_EQ(data.value("xesam:title").toString(), "Bohemian Rhapsody");
    EXPECT_EQ(data.value("xesam:artist").toStringList(), QStringList{"Queen"});
    EXPECT_EQ(data.value("mpris:length").toLongLong(), 10'000'000);  // 3000 packets
    EXPECT_TRUE(data.value("mpris:trackid").value<QDBusObjectPath>().path().startsWith("/"));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return !recorder.changes.isEmpty() && recorder.changes.back().contains("Metadata");
    }));
    EXPECT_GE(get(kPlayer, "Position").toLongLong(), 0);
}

// Written through the bus, or changed by the keys: the player's volume and what
// the controls read and are told agree.
TEST_F(MprisTest, VolumeWrittenReachesThePlayerAndKeysAreAnnounced) {
    const struct {
        double written;  // < 0: the Down key instead
        int percent;
    } steps[] = {{0.4, 40}, {-1, 35}, {1.7, 100}, {0.0, 0}, {0.123, 12}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.written);
        recorder.changes.clear();
        if (step.written >= 0) {
            const QVariantList args{kPlayer, QStringLiteral("Volume"),
                                    QVariant::fromValue(QDBusVariant(step.written))};
            EXPECT_EQ(call(kProperties, "Set", args).type(), QDBusMessage::ReplyMessage);
        } else {
            QTest::keyClick(&window, Qt::Key_Down);
        }
        EXPECT_EQ(media.volume, step.percent);
        EXPECT_DOUBLE_EQ(get(kPlayer, "Volume").toDouble(), step.percent / 100.0);
        EXPECT_TRUE(changeSeen("Volume", step.percent / 100.0));
    }
}

TEST_F(MprisTest, NextTakesTheQueuesNextSong) {
    EXPECT_TRUE(get(kPlayer, "CanGoNext").toBool());
    call(kPlayer, "Next");
    EXPECT_EQ(nexts, 1);
    // Play with no song chosen starts the queue, as there is nothing else to play.
    call(kPlayer, "Play");
    EXPECT_EQ(nexts, 2);
}

}  // namespace
}  // namespace lyrvox

#include "mpris_test.moc"
