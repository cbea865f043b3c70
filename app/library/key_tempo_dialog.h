#pragma once
// The key (semitones) and tempo (percent of the song's own) a queued song is to
// play in, chosen by the host before it comes up. Each may be left "remembered":
// then the key memory gives the key and tempo the singer last sang the song in,
// or the song's own.
#include <QDialog>
#include <optional>

class QCheckBox;
class QSpinBox;

namespace lyrvox {

class KeyTempoDialog : public QDialog {
    Q_OBJECT
  public:
    // `song`: what the dialog is about ("Ann: ABBA - Waterloo"); nullopt: remembered.
    KeyTempoDialog(const QString& song, std::optional<int> key, std::optional<int> tempo,
                   QWidget* parent = nullptr);

    std::optional<int> key() const;
    std::optional<int> tempo() const;
    void setKey(std::optional<int> key);
    void setTempo(std::optional<int> tempo);

    QSpinBox* keyBox() const { return key_; }
    QSpinBox* tempoBox() const { return tempo_; }
    QCheckBox* keyRemembered() const { return keyRemembered_; }
    QCheckBox* tempoRemembered() const { return tempoRemembered_; }

    // Asks (modal) over `parent`; true with `key` and `tempo` set when the host
    // chose OK.
    static bool ask(QWidget* parent, const QString& song, std::optional<int>& key,
                    std::optional<int>& tempo);

  private:
    QSpinBox* key_ = nullptr;
    QSpinBox* tempo_ = nullptr;
    QCheckBox* keyRemembered_ = nullptr;
    QCheckBox* tempoRemembered_ = nullptr;
};

}  // namespace lyrvox
