#include "display/background_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace lyrvox {

using Kind = BackgroundChoice::Kind;

BackgroundDialog::BackgroundDialog(const BackgroundChoice& now, QWidget* parent)
    : QDialog(parent),
      kinds_(new QButtonGroup(this)),
      colourButton_(new QPushButton(this)),
      path_(new QLineEdit(now.path, this)),
      period_(new QSpinBox(this)),
      clearTransparent_(
          new QCheckBox(QStringLiteral("The song's background colour is transparent"), this)),
      colour_(now.colour) {
    setWindowTitle(QStringLiteral("Background"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Shows through the colours a song marks transparent."), this));
    const std::pair<Kind, const char*> kinds[] = {{Kind::None, "None"},
                                                  {Kind::Colour, "Colour"},
                                                  {Kind::Image, "Image"},
                                                  {Kind::Folder, "Folder of images (slideshow)"},
                                                  {Kind::Video, "Video file (loops, silent)"}};
    for (const auto& [kind, text] : kinds) {
        auto* button = new QRadioButton(QString::fromLatin1(text), this);
        kinds_->addButton(button, static_cast<int>(kind));
        button->setChecked(kind == now.kind);
        layout->addWidget(button);
    }
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Colour:"), colourButton_);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(path_);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
    pathRow->addWidget(browse);
    form->addRow(QStringLiteral("File or folder:"), pathRow);
    period_->setRange(1, 3600);
    period_->setSuffix(QStringLiteral(" s"));
    period_->setValue(now.periodSeconds);
    form->addRow(QStringLiteral("Each image for:"), period_);
    layout->addLayout(form);
    clearTransparent_->setChecked(now.clearColourTransparent);
    clearTransparent_->setToolTip(
        QStringLiteral("For songs that mark no colour transparent: the colour of the last "
                       "screen clear shows the background."));
    layout->addWidget(clearTransparent_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, [this] { this->browse(); });
    connect(colourButton_, &QPushButton::clicked, this, [this] { chooseColour(); });
    showColour();
}

BackgroundChoice BackgroundDialog::choice() const {
    BackgroundChoice choice;
    const int id = kinds_->checkedId();
    choice.kind = id < 0 ? Kind::None : static_cast<Kind>(id);
    choice.colour = colour_;
    choice.path = path_->text().trimmed();
    choice.periodSeconds = period_->value();
    choice.clearColourTransparent = clearTransparent_->isChecked();
    return choice;
}

void BackgroundDialog::browse() {
    const Kind kind = choice().kind;
    QString path;
    if (kind == Kind::Folder) {
        path = QFileDialog::getExistingDirectory(this, QStringLiteral("Folder of images"),
                                                 path_->text());
    } else if (kind == Kind::Video) {
        path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Video file"), path_->text(),
            QStringLiteral("Videos (*.mp4 *.mkv *.webm *.avi *.mov *.ogv);;All files (*)"));
    } else {
        path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Image"), path_->text(),
            QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp *.gif *.webp);;All files (*)"));
        if (!path.isEmpty()) kinds_->button(static_cast<int>(Kind::Image))->setChecked(true);
    }
    if (!path.isEmpty()) path_->setText(path);
}

void BackgroundDialog::chooseColour() {
    const QColor chosen =
        QColorDialog::getColor(colour_, this, QStringLiteral("Background colour"));
    if (!chosen.isValid()) return;
    colour_ = chosen;
    kinds_->button(static_cast<int>(Kind::Colour))->setChecked(true);
    showColour();
}

void BackgroundDialog::showColour() {
    colourButton_->setText(colour_.name());
    QPixmap swatch(16, 16);
    swatch.fill(colour_);
    colourButton_->setIcon(QIcon(swatch));
}

}  // namespace lyrvox
