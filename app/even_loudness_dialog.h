#pragma once
// The host's even-loudness options (on/off and the target in LUFS), in a small
// modal dialog opened from the control window's right-click menu. The values live
// in the settings (kEvenLoudness, kLoudnessTargetLufs); the media reads them at
// each song's start, so a change holds from the next song on.
#include <QDialog>

#include "app/settings_store.h"

class QCheckBox;
class QLabel;
class QSpinBox;

namespace lyrvox {

class EvenLoudnessDialog : public QDialog {
    Q_OBJECT
  public:
    // Shows the values the settings hold (a stored target out of range brought
    // into it).
    EvenLoudnessDialog(SettingsStore& settings, QWidget* parent = nullptr);

    // Writes the values shown into the settings and closes; a failed write is told
    // in the dialog (problem()), which stays open.
    void accept() override;

    QCheckBox* onBox() const { return on_; }
    QSpinBox* targetBox() const { return target_; }
    QLabel* problem() const { return problem_; }

    // Opens the dialog (modal) over `parent`; OK keeps its values.
    static void edit(SettingsStore& settings, QWidget* parent);

  private:
    SettingsStore& settings_;
    QCheckBox* on_ = nullptr;
    QSpinBox* target_ = nullptr;
    QLabel* problem_ = nullptr;
};

}  // namespace lyrvox
