#include "app/break_music_controller.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include "util/steady_clock.h"

namespace lyrvox {

BreakMusicController::BreakMusicController(SettingsStore& settings, QObject* parent,
                                           BreakMusicPlayer::SinkMaker makeSink,
                                           std::function<double()> clockSeconds)
    : QObject(parent),
      settings_(settings),
      clock_(clockSeconds ? std::move(clockSeconds) : [] { return steadyMilliseconds() / 1000.0; }),
      player_(new BreakMusicPlayer(this, std::move(makeSink))) {
    timer_.setInterval(kStepMs);
    connect(&timer_, &QTimer::timeout, this, [this] { step(); });
    connect(player_, &BreakMusicPlayer::ended, this, [this] { trackEnded(); });
    connect(player_, &BreakMusicPlayer::failed, this, [this] { trackFailed(); });
}

BreakMusicController::~BreakMusicController() {
    shutDown();
}

void BreakMusicController::watch(SessionDriver& driver) {
    connect(&driver, &SessionDriver::transportUpdated, this,
            [this](Transport transport) { transportChanged(transport); });
}

void BreakMusicController::load() {
    Options options;
    options.on = settings_.readNumber(settings::kBreakMusicOn) != 0;
    options.path = settings_.read(settings::kBreakMusicPath);
    options.volume = settings_.readNumber(settings::kBreakMusicVolume);
    options.fadeSeconds = settings_.readNumber(settings::kBreakMusicFadeSeconds);
    options_ = options;
    applyOptions();
}

void BreakMusicController::setOptions(const Options& options) {
    options_ = options;
    options_.volume = std::clamp(options.volume, settings::kBreakMusicVolume.min,
                                 settings::kBreakMusicVolume.max);
    options_.fadeSeconds = std::clamp(options.fadeSeconds, settings::kBreakMusicFadeSeconds.min,
                                      settings::kBreakMusicFadeSeconds.max);
    settings_.writeNumber(settings::kBreakMusicOn, options_.on ? 1 : 0);
    settings_.write(settings::kBreakMusicPath, options_.path);
    settings_.writeNumber(settings::kBreakMusicVolume, options_.volume);
    settings_.writeNumber(settings::kBreakMusicFadeSeconds, options_.fadeSeconds);
    applyOptions();
}

void BreakMusicController::applyOptions() {
    if (stopped_) return;
    policy_.setFadeSeconds(options_.fadeSeconds);
    player_->close();
    policy_.silence(now());
    note_.clear();
    toldUnplayable_ = false;
    if (!options_.on || options_.path.isEmpty()) {
        policy_.setPlaylist({});
        step();
        return;
    }
    BreakPlaylist list = loadBreakMusic(QFile::encodeName(options_.path).toStdString());
    missing_ = list.missing;
    policy_.setPlaylist(std::move(list.paths));
    if (policy_.size() == 0) {
        note_ = QStringLiteral("Break music: no audio files in %1").arg(options_.path);
        emit noteChanged(note_);
    } else if (missing_ > 0) {
        note_ =
            QStringLiteral("Break music: %1 of the playlist's files are missing and passed over")
                .arg(missing_);
        emit noteChanged(note_);
    }
    if (!inSong_) policy_.songEnded(now());
    step();
}

void BreakMusicController::transportChanged(Transport transport) {
    const bool inSong = transport == Transport::Playing || transport == Transport::Paused;
    if (inSong == inSong_) return;
    inSong_ = inSong;
    if (inSong) {
        policy_.songStarted(now());
    } else {
        policy_.songEnded(now());
    }
    step();
}

void BreakMusicController::step() {
    if (stopped_) return;
    const double at = now();
    player_->setVolume(policy_.gain(at) * options_.volume / 100.0);
    if (policy_.audible(at) && policy_.current() != nullptr) {
        if (!player_->isOpen()) startTrack(policy_.current());
        player_->play();
    } else {
        player_->pause();
    }
    if (policy_.fading(at) && policy_.size() > 0) {
        if (!timer_.isActive()) timer_.start();
    } else {
        timer_.stop();
    }
}

void BreakMusicController::startTrack(const std::string* path) {
    if (path == nullptr) {
        player_->close();
        return;
    }
    player_->open(*path);
}

void BreakMusicController::trackEnded() {
    startTrack(policy_.next());
    step();
}

void BreakMusicController::trackFailed() {
    const std::string* next = policy_.skipUnplayable();
    if (next == nullptr) {
        note_ = QStringLiteral("Break music: none of its files can be played");
        emit noteChanged(note_);
    } else if (!toldUnplayable_) {
        toldUnplayable_ = true;
        note_ = QStringLiteral("Break music: files that cannot be played are passed over");
        emit noteChanged(note_);
    }
    startTrack(next);
    step();
}

void BreakMusicController::shutDown() {
    stopped_ = true;
    timer_.stop();
    player_->close();
}

void BreakMusicController::editInDialog(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Break music"));
    auto* on = new QCheckBox(QStringLiteral("Play music between songs"), &dialog);
    on->setChecked(options_.on);
    auto* path = new QLineEdit(options_.path, &dialog);
    path->setMinimumWidth(320);
    auto* folder = new QPushButton(QStringLiteral("Folder..."), &dialog);
    auto* playlist = new QPushButton(QStringLiteral("Playlist..."), &dialog);
    QObject::connect(folder, &QPushButton::clicked, &dialog, [&dialog, path] {
        const QString chosen = QFileDialog::getExistingDirectory(
            &dialog, QStringLiteral("Folder of break music"), path->text());
        if (!chosen.isEmpty()) path->setText(chosen);
    });
    QObject::connect(playlist, &QPushButton::clicked, &dialog, [&dialog, path] {
        const QString chosen = QFileDialog::getOpenFileName(
            &dialog, QStringLiteral("Playlist of break music"), path->text(),
            QStringLiteral("Playlists (*.m3u *.m3u8 *.M3U *.M3U8)"));
        if (!chosen.isEmpty()) path->setText(chosen);
    });
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path, 1);
    pathRow->addWidget(folder);
    pathRow->addWidget(playlist);
    auto* volume = new QSlider(Qt::Horizontal, &dialog);
    volume->setRange(settings::kBreakMusicVolume.min, settings::kBreakMusicVolume.max);
    volume->setValue(options_.volume);
    auto* volumeText = new QLabel(QStringLiteral("%1%").arg(options_.volume), &dialog);
    QObject::connect(volume, &QSlider::valueChanged, volumeText, [volumeText](int value) {
        volumeText->setText(QStringLiteral("%1%").arg(value));
    });
    auto* volumeRow = new QHBoxLayout;
    volumeRow->addWidget(volume, 1);
    volumeRow->addWidget(volumeText);
    auto* fade = new QSpinBox(&dialog);
    fade->setRange(settings::kBreakMusicFadeSeconds.min, settings::kBreakMusicFadeSeconds.max);
    fade->setSuffix(QStringLiteral(" s"));
    fade->setValue(options_.fadeSeconds);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(on);
    form->addRow(QStringLiteral("Folder or playlist:"), pathRow);
    form->addRow(QStringLiteral("Volume:"), volumeRow);
    form->addRow(QStringLiteral("Fade:"), fade);
    if (!note_.isEmpty()) form->addRow(new QLabel(note_, &dialog));
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return;
    setOptions({on->isChecked(), path->text().trimmed(), volume->value(), fade->value()});
}

}  // namespace lyrvox
