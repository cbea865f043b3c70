#include "app/library/key_tempo_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

#include "app/playback_tuning.h"
#include "library/singer_rotation.h"

namespace lyrvox {
namespace {

// A number with its "Remembered" box beside it: ticked, the number is not used.
QHBoxLayout* row(QSpinBox* box, QCheckBox* remembered) {
    QObject::connect(remembered, &QCheckBox::toggled, box,
                     [box](bool on) { box->setEnabled(!on); });
    auto* layout = new QHBoxLayout;
    layout->addWidget(box, 1);
    layout->addWidget(remembered);
    return layout;
}

void showValue(QSpinBox* box, QCheckBox* remembered, std::optional<int> value, int otherwise) {
    box->setValue(value.value_or(otherwise));
    remembered->setChecked(!value);
    box->setEnabled(value.has_value());
}

}  // namespace

KeyTempoDialog::KeyTempoDialog(const QString& song, std::optional<int> key,
                               std::optional<int> tempo, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Key and tempo"));
    key_ = new QSpinBox(this);
    key_->setRange(-SingerRotation::kMaxKey, SingerRotation::kMaxKey);
    key_->setSuffix(QStringLiteral(" semitones"));
    tempo_ = new QSpinBox(this);
    tempo_->setRange(PlaybackTuning::kMinTempo, PlaybackTuning::kMaxTempo);
    tempo_->setSuffix(QStringLiteral("%"));
    keyRemembered_ = new QCheckBox(QStringLiteral("Remembered"), this);
    tempoRemembered_ = new QCheckBox(QStringLiteral("Remembered"), this);
    const QString rememberedTip =
        QStringLiteral("The key and tempo the singer last sang this song in (or its own)");
    keyRemembered_->setToolTip(rememberedTip);
    tempoRemembered_->setToolTip(rememberedTip);
    auto* title = new QLabel(song, this);
    title->setTextFormat(Qt::PlainText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(title);
    form->addRow(QStringLiteral("Key:"), row(key_, keyRemembered_));
    form->addRow(QStringLiteral("Tempo:"), row(tempo_, tempoRemembered_));
    form->addRow(buttons);
    setKey(key);
    setTempo(tempo);
}

std::optional<int> KeyTempoDialog::key() const {
    return keyRemembered_->isChecked() ? std::nullopt : std::optional(key_->value());
}

std::optional<int> KeyTempoDialog::tempo() const {
    return tempoRemembered_->isChecked() ? std::nullopt : std::optional(tempo_->value());
}

void KeyTempoDialog::setKey(std::optional<int> key) {
    showValue(key_, keyRemembered_, key, 0);
}

void KeyTempoDialog::setTempo(std::optional<int> tempo) {
    showValue(tempo_, tempoRemembered_, tempo, 100);
}

bool KeyTempoDialog::ask(QWidget* parent, const QString& song, std::optional<int>& key,
                         std::optional<int>& tempo) {
    KeyTempoDialog dialog(song, key, tempo, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    key = dialog.key();
    tempo = dialog.tempo();
    return true;
}

}  // namespace lyrvox
