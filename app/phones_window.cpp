#include "app/phones_window.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "server/qr_image.h"

namespace lyrvox {

PhonesWindow::PhonesWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      code_(new QLabel(this)),
      address_(new QLabel(this)),
      pin_(new QLabel(this)) {
    setWindowTitle(QStringLiteral("Phones"));
    // Left open, it does not keep the player running once its main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Singers scan the code or open the address on their phones, on the same "
                       "network, to find songs and put their names down."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    code_->setAlignment(Qt::AlignCenter);
    layout->addWidget(code_, 1);
    for (QLabel* label : {address_, pin_}) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setTextFormat(Qt::PlainText);
        QFont font = label->font();
        font.setPointSizeF(font.pointSizeF() * 1.4);
        label->setFont(font);
        layout->addWidget(label);
    }
    showServer({}, {});
}

void PhonesWindow::showServer(const QString& pageUrl, const QString& pin) {
    if (pageUrl.isEmpty()) {
        code_->setPixmap({});
        code_->setText(
            QStringLiteral("Song requests from phones are off. Switch the server on "
                           "in the settings, or start with: lyrvox --serve 8080"));
        code_->setWordWrap(true);
        address_->clear();
        pin_->clear();
        return;
    }
    code_->setPixmap(QPixmap::fromImage(QrImage::make(pageUrl, 8)));
    address_->setText(pageUrl);
    // The remote's page is the same address with "host" after it.
    pin_->setText(QStringLiteral("Host's remote: %1host   PIN: %2").arg(pageUrl, pin));
}

}  // namespace lyrvox
