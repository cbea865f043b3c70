#include "app/mpris/mpris_service.h"

#include <unistd.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "app/control_window.h"
#include "app/mpris/mpris_player_adaptor.h"
#include "app/mpris/mpris_root_adaptor.h"
#include "library/song_name.h"
#include "playback/cdg/subcode_packet.h"

namespace lyrvox {
namespace {

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

}  // namespace

MprisService::MprisService(ControlWindow& window, std::function<void()> next, QObject* parent)
    : QObject(parent), window_(window), next_(std::move(next)) {
    // The adaptors are this object's children: they go with it.
    new MprisRootAdaptor(*this);
    new MprisPlayerAdaptor(*this);
    transport_ = window_.session().transport();
    connect(&window_.driver(), &SessionDriver::transportUpdated, this,
            [this](Transport transport) { transportChanged(transport); });
    connect(&window_.driver(), &SessionDriver::statusUpdated, this, [this] { songOpened(); });
    // The volume changes by the keys, the menu and the media controls alike.
    connect(&window_.tuning(), &PlaybackTuning::volumeChanged, this, [this] { volumeChanged(); });

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;  // no session bus: no media controls, and no fuss
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this,
                            QDBusConnection::ExportAdaptors))
        return;
    const QString name = QString::fromLatin1(kServiceName);
    const QString own = name + QStringLiteral(".instance") + QString::number(::getpid());
    for (const QString& candidate : {name, own}) {
        if (bus.registerService(candidate)) {
            busName_ = candidate;
            return;
        }
    }
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
}

MprisService::~MprisService() {
    if (busName_.isEmpty()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(busName_);
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
}

void MprisService::raise() {
    window_.bringToFront();
}

void MprisService::quit() {
    window_.close();
}

void MprisService::play() {
    switch (window_.session().transport()) {
        case Transport::Playing:
            return;
        case Transport::Paused:
            return window_.playPauseOrContinue();
        case Transport::Idle:
        case Transport::Waiting:
            // As the Play button: the chosen song; with none yet, the queue's next.
            if (!window_.chosenFile().empty()) return window_.playPauseOrContinue();
            if (next_) next_();
            return;
    }
}

void MprisService::pause() {
    if (window_.session().transport() == Transport::Playing) window_.playPauseOrContinue();
}

void MprisService::playPause() {
    if (window_.session().transport() == Transport::Playing) return pause();
    play();
}

void MprisService::stop() {
    window_.stopPlayback();
}

void MprisService::next() {
    if (next_) next_();
}

void MprisService::openUri(const QString& uri) {
    // Only files on this machine: a song is never fetched from elsewhere.
    const QUrl url(uri);
    if (url.isLocalFile()) window_.playFile(url.toLocalFile());
}

QString MprisService::playbackStatus() const {
    switch (transport_) {
        case Transport::Playing:
            return QStringLiteral("Playing");
        case Transport::Paused:
            return QStringLiteral("Paused");
        case Transport::Idle:
        case Transport::Waiting:
            break;
    }
    return QStringLiteral("Stopped");
}

double MprisService::volume() const {
    return window_.tuning().volume() / 100.0;
}

void MprisService::setVolume(double volume) {
    const int percent = static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 100.0));
    const int before = window_.tuning().volume();
    if (percent != before) window_.tuning().changeVolume(percent - before);
}

void MprisService::volumeChanged() {
    announce(kPlayerInterface, {{QStringLiteral("Volume"), volume()}});
}

qlonglong MprisService::positionUs() const {
    if (transport_ != Transport::Playing && transport_ != Transport::Paused) return 0;
    const double packets = std::max<double>(window_.session().state().targetPacket, 0.0);
    return static_cast<qlonglong>(packets * 1e6 / kPacketsPerSecond);
}

bool MprisService::canPlay() const {
    return true;
}

void MprisService::transportChanged(Transport transport) {
    const QString statusBefore = playbackStatus();
    const bool newSong = transport == Transport::Playing &&
                         (transport_ == Transport::Idle || transport_ == Transport::Waiting);
    transport_ = transport;
    QVariantMap changed;
    if (playbackStatus() != statusBefore)
        changed.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
    // The session tells Playing before it has found the song's files; their names
    // are known at its next status line, within the same command.
    if (newSong) songPending_ = true;
    if (!changed.isEmpty()) announce(kPlayerInterface, changed);
}

void MprisService::songOpened() {
    if (!songPending_) return;
    songPending_ = false;
    ++trackNumber_;
    metadata_ = songMetadata();
    announce(kPlayerInterface, {{QStringLiteral("Metadata"), metadata_}});
}

QVariantMap MprisService::songMetadata() const {
    QVariantMap data;
    data.insert(QStringLiteral("mpris:trackid"),
                QVariant::fromValue(
                    QDBusObjectPath(QStringLiteral("/org/lyrvox/track/%1").arg(trackNumber_))));
    // The file the user chose names the song (a zip's inner files may not).
    const std::string stem = std::filesystem::path(window_.chosenFile()).stem().string();
    const SongName name = parseSongName(stem, NameOrder::ArtistTitle);
    data.insert(QStringLiteral("xesam:title"), QString::fromStdString(name.title));
    if (!name.artist.empty())
        data.insert(QStringLiteral("xesam:artist"),
                    QStringList{QString::fromStdString(name.artist)});
    // The graphics' length: 24 bytes a packet, 300 packets a second.
    const std::string& graphics = window_.session().state().graphicsFile;
    std::error_code error;
    const std::uintmax_t bytes = graphics.empty() ? 0 : std::filesystem::file_size(graphics, error);
    if (!error && bytes >= kPacketSize) {
        const double seconds = static_cast<double>(bytes / kPacketSize) / kPacketsPerSecond;
        data.insert(QStringLiteral("mpris:length"), static_cast<qlonglong>(seconds * 1e6));
    }
    return data;
}

void MprisService::announce(const QString& interface, const QVariantMap& changed) {
    if (busName_.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

}  // namespace lyrvox
