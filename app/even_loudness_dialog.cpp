#include "app/even_loudness_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

namespace lyrvox {

EvenLoudnessDialog::EvenLoudnessDialog(SettingsStore& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("Even loudness"));
    on_ = new QCheckBox(QStringLiteral("Play every song at the same loudness"), this);
    on_->setChecked(settings_.readNumber(settings::kEvenLoudness) != 0);
    target_ = new QSpinBox(this);
    target_->setRange(settings::kLoudnessTargetLufs.min, settings::kLoudnessTargetLufs.max);
    target_->setSuffix(QStringLiteral(" LUFS"));
    target_->setValue(settings_.readNumber(settings::kLoudnessTargetLufs));
    target_->setToolTip(QStringLiteral("Higher is louder; %1 LUFS suits most rooms")
                            .arg(QString::fromLatin1(settings::kLoudnessTargetLufs.defaultText)));
    connect(on_, &QCheckBox::toggled, target_, &QWidget::setEnabled);
    target_->setEnabled(on_->isChecked());
    auto* note = new QLabel(QStringLiteral("Songs not measured yet play at their own level.\n"
                                           "A change holds from the next song on."),
                            this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* form = new QFormLayout(this);
    form->addRow(on_);
    form->addRow(QStringLiteral("Target:"), target_);
    form->addRow(note);
    problem_ = new QLabel(this);
    problem_->hide();
    form->addRow(problem_);
    form->addRow(buttons);
}

void EvenLoudnessDialog::accept() {
    const bool ok = settings_.writeNumber(settings::kEvenLoudness, on_->isChecked() ? 1 : 0) &&
                    settings_.writeNumber(settings::kLoudnessTargetLufs, target_->value());
    if (!ok) {
        problem_->setText(QStringLiteral("Could not save the settings."));
        problem_->show();
        return;
    }
    QDialog::accept();
}

void EvenLoudnessDialog::edit(SettingsStore& settings, QWidget* parent) {
    EvenLoudnessDialog dialog(settings, parent);
    dialog.exec();
}

}  // namespace lyrvox
