#pragma once
// "Background...": what shows through the picture's transparent colours. None (the
// default: the picture exactly as without a background), a colour, an image, a
// folder of images as a slideshow with its seconds per image, or a video file that
// loops; and whether a song's background colour counts as transparent.
#include <QDialog>

#include "display/background_source.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace lyrvox {

class BackgroundDialog : public QDialog {
    Q_OBJECT
  public:
    BackgroundDialog(const BackgroundChoice& now, QWidget* parent = nullptr);
    // What the dialog shows now.
    BackgroundChoice choice() const;

  private:
    void browse();
    void chooseColour();
    void showColour();

    QButtonGroup* kinds_;
    QPushButton* colourButton_;
    QLineEdit* path_;
    QSpinBox* period_;
    QCheckBox* clearTransparent_;
    QColor colour_;
};

}  // namespace lyrvox
