#include "app/mpris/mpris_player_adaptor.h"

#include "app/mpris/mpris_service.h"

namespace lyrvox {

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService& service)
    : QDBusAbstractAdaptor(&service), service_(service) {}

QString MprisPlayerAdaptor::playbackStatus() const {
    return service_.playbackStatus();
}

QVariantMap MprisPlayerAdaptor::metadata() const {
    return service_.metadata();
}

double MprisPlayerAdaptor::volume() const {
    return service_.volume();
}

void MprisPlayerAdaptor::setVolume(double volume) {
    service_.setVolume(volume);
}

qlonglong MprisPlayerAdaptor::position() const {
    return service_.positionUs();
}

bool MprisPlayerAdaptor::canGoNext() const {
    return service_.canGoNext();
}

bool MprisPlayerAdaptor::canPlay() const {
    return service_.canPlay();
}

void MprisPlayerAdaptor::Play() {
    service_.play();
}

void MprisPlayerAdaptor::Pause() {
    service_.pause();
}

void MprisPlayerAdaptor::PlayPause() {
    service_.playPause();
}

void MprisPlayerAdaptor::Stop() {
    service_.stop();
}

void MprisPlayerAdaptor::Next() {
    service_.next();
}

void MprisPlayerAdaptor::OpenUri(const QString& uri) {
    service_.openUri(uri);
}

}  // namespace lyrvox
