#include "app/playback_tuning.h"

#include <QMenu>
#include <algorithm>
#include <utility>

#include "app/window_text.h"

namespace lyrvox {

PlaybackTuning::PlaybackTuning(PlaybackSession& session, MediaControl& media,
                               SettingsStore& settings,
                               std::function<void(const QString&)> showNote, QObject* parent)
    : QObject(parent),
      session_(session),
      media_(media),
      settings_(settings),
      showNote_(std::move(showNote)) {}

void PlaybackTuning::load() {
    session_.setOffsetMs(settings_.readNumber(settings::kOffsetMs));
    volume_ = settings_.readNumber(settings::kVolume);
    session_.setVolume(volume_);
    keep_ = settings_.readNumber(settings::kKeepKeyAndTempo) == 1;
}

void PlaybackTuning::shiftOffset(int deltaMs) {
    const int offset = std::clamp(session_.state().offsetMs + deltaMs, settings::kOffsetMs.min,
                                  settings::kOffsetMs.max);
    session_.setOffsetMs(offset);
    settings_.writeNumber(settings::kOffsetMs, offset);
    showNote_(QStringLiteral("Offset %1%2 ms")
                  .arg(offset > 0 ? QStringLiteral("+") : QString())
                  .arg(offset));
}

bool PlaybackTuning::keyAndTempoMissing() {
    const std::string missing = media_.keyAndTempoMissing();
    if (missing.empty()) return false;
    showNote_(QString::fromStdString(missing));
    return true;
}

void PlaybackTuning::changeKey(int delta) {
    if (keyAndTempoMissing()) return;
    keyShift_ = std::clamp(keyShift_ + delta, -kMaxKeyShift, kMaxKeyShift);
    applyKeyAndTempo(true);
}

void PlaybackTuning::changeTempo(int delta) {
    if (keyAndTempoMissing()) return;
    tempoPercent_ = std::clamp(tempoPercent_ + delta, kMinTempo, kMaxTempo);
    applyKeyAndTempo(true);
}

void PlaybackTuning::resetKeyAndTempo() {
    keyShift_ = 0;
    tempoPercent_ = 100;
    applyKeyAndTempo(true);
}

void PlaybackTuning::setKeepKeyAndTempo(bool keep) {
    keep_ = keep;
    settings_.writeNumber(settings::kKeepKeyAndTempo, keep ? 1 : 0);
}

void PlaybackTuning::songChosen() {
    if (keep_) return;
    keyShift_ = 0;
    tempoPercent_ = 100;
    applyKeyAndTempo(false);
}

void PlaybackTuning::changeVolume(int delta) {
    const int before = volume_;
    volume_ = std::clamp(volume_ + delta, settings::kVolume.min, settings::kVolume.max);
    session_.setVolume(volume_);
    settings_.writeNumber(settings::kVolume, volume_);
    showNote_(QStringLiteral("Volume %1%").arg(volume_));
    if (volume_ != before) emit volumeChanged();
}

QString PlaybackTuning::statusSuffix() const {
    if (keyShift_ == 0 && tempoPercent_ == 100) return {};
    return QStringLiteral("  ") + keyAndTempoText(keyShift_, tempoPercent_);
}

QString PlaybackTuning::keyEngineTip() const {
    const std::string engine = media_.keyEngine();
    if (keyShift_ == 0 || engine.empty()) return {};
    return QStringLiteral("Key by ") + QString::fromStdString(engine);
}

void PlaybackTuning::applyKeyAndTempo(bool announce) {
    const bool changes = session_.setKeyAndTempo(keyShift_, tempoPercent_);
    emit statusSuffixChanged();
    if (!announce) return;
    const bool original = keyShift_ == 0 && tempoPercent_ == 100;
    showNote_(changes || original ? keyAndTempoText(keyShift_, tempoPercent_)
                                  : QStringLiteral("Key and tempo cannot change for this file"));
}

void PlaybackTuning::addMenuEntries(QMenu& menu) {
    const std::pair<const char*, std::function<void()>> commands[] = {
        {"Key up\t]", [this] { changeKey(1); }},
        {"Key down\t[", [this] { changeKey(-1); }},
        {"Tempo up\t}", [this] { changeTempo(kTempoStep); }},
        {"Tempo down\t{", [this] { changeTempo(-kTempoStep); }},
        {"Original key and tempo", [this] { resetKeyAndTempo(); }}};
    const std::string engine = media_.keyEngine();
    for (const auto& [text, run] : commands) {
        QAction* action = menu.addAction(QString::fromLatin1(text));
        if (!engine.empty() && QString::fromLatin1(text).startsWith(QStringLiteral("Key")))
            action->setToolTip(QStringLiteral("Key by ") + QString::fromStdString(engine));
        connect(action, &QAction::triggered, this, run);
    }
    menu.setToolTipsVisible(true);
    QAction* keep = menu.addAction(QStringLiteral("Keep key and tempo"));
    keep->setCheckable(true);
    keep->setChecked(keep_);
    connect(keep, &QAction::toggled, this, [this](bool on) { setKeepKeyAndTempo(on); });
}

std::vector<KeyCommand> PlaybackTuning::keyCommands() {
    return {{{Qt::Key_Left}, [this] { shiftOffset(-kOffsetStepMs); }},
            {{Qt::Key_Right}, [this] { shiftOffset(kOffsetStepMs); }},
            {{Qt::Key_BracketLeft}, [this] { changeKey(-1); }},
            {{Qt::Key_BracketRight}, [this] { changeKey(1); }},
            {{Qt::Key_BraceLeft}, [this] { changeTempo(-kTempoStep); }},
            {{Qt::Key_BraceRight}, [this] { changeTempo(kTempoStep); }},
            {{Qt::Key_Up}, [this] { changeVolume(kVolumeStep); }},
            {{Qt::Key_Down}, [this] { changeVolume(-kVolumeStep); }}};
}

}  // namespace lyrvox
