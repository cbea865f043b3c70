#include "display/display_window.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>

namespace lyrvox {

DisplayWindow::DisplayWindow(DisplayEvents& events)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      events_(&events) {
    setWindowTitle(QStringLiteral("Lyrvox"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    // Every paint covers the whole client area with the frame image (plus black
    // beyond it), so Qt need not clear the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Motion without a button pressed shows a hidden pointer again.
    setMouseTracking(true);
    noteTimer_.setSingleShot(true);
    connect(&noteTimer_, &QTimer::timeout, this, [this] {
        note_.clear();
        update();
    });
    pointerTimer_.setSingleShot(true);
    pointerTimer_.setInterval(kPointerHideMs);
    connect(&pointerTimer_, &QTimer::timeout, this, [this] {
        if (isFullScreen()) setCursor(Qt::BlankCursor);
    });
}

void DisplayWindow::setPictureRect(const QRect& rect) {
    if (rect == pictureRect_) return;
    pictureRect_ = rect;
    update();
}

void DisplayWindow::showNote(const QString& text, int ms) {
    note_ = text;
    noteTimer_.start(std::max(0, ms));
    update();
}

void DisplayWindow::wakePointer() {
    unsetCursor();
    if (isFullScreen()) {
        pointerTimer_.start();
    } else {
        pointerTimer_.stop();
    }
}

uint32_t* DisplayWindow::frameFor(int dWidth, int dHeight, int& strideWords) {
    if (frame_.width() != dWidth || frame_.height() != dHeight) {
        frame_ = QImage(dWidth, dHeight, QImage::Format_RGB32);
    }
    if (frame_.isNull()) {  // out of memory for a huge size: nothing to fill
        strideWords = 0;
        return nullptr;
    }
    strideWords = static_cast<int>(frame_.bytesPerLine() / 4);
    return reinterpret_cast<uint32_t*>(frame_.bits());
}

void DisplayWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (upNext_.isShown()) {
        // It covers the picture: no copy of it (megabytes at full screen) for each
        // step of the scrolling message.
        if (!backdrop_.isNull()) painter.drawImage(rect(), backdrop_);
        upNext_.paint(painter, rect(), !backdrop_.isNull());
        if (!note_.isEmpty()) paintNote(painter);
        return;
    }
    if (events_ != nullptr && !inPaint_) {
        inPaint_ = true;
        events_->repaintNeeded();
        inPaint_ = false;
    }
    const QRect picture(pictureRect_.topLeft(), frame_.size());
    painter.drawImage(picture.topLeft(), frame_);
    // The bars around a picture that keeps its shape, and between a resize and its
    // handling whatever the frame image does not cover: black, never stale pixels.
    for (const QRect& bar : QRegion(rect()).subtracted(picture)) {
        painter.fillRect(bar, Qt::black);
    }
    if (!banner_.isEmpty()) paintBanner(painter);
    if (!note_.isEmpty()) paintNote(painter);
}

void DisplayWindow::setBackdrop(const QImage& image) {
    if (image.isNull() && backdrop_.isNull()) return;
    backdrop_ = image;
    if (upNext_.isShown()) update();
}

void DisplayWindow::showBanner(const QString& text) {
    banner_ = text;
    update();
}

void DisplayWindow::paintBanner(QPainter& painter) {
    // White on a dark band across the middle of the picture, its letters a tenth
    // of the picture's height, shrunk until the text fits the width.
    const QRect picture = pictureRect_.isValid() ? pictureRect_ : rect();
    QFont font = painter.font();
    int size = std::max(12, picture.height() / 10);
    font.setPixelSize(size);
    while (size > 12 && QFontMetrics(font).horizontalAdvance(banner_) > picture.width() * 9 / 10)
        font.setPixelSize(size = size * 9 / 10);
    painter.setFont(font);
    QRect band(picture.left(), 0, picture.width(), size * 2);
    band.moveCenter(picture.center());
    painter.fillRect(band, QColor(0, 0, 0, 200));
    painter.setPen(Qt::white);
    painter.drawText(band, Qt::AlignCenter, banner_);
}

void DisplayWindow::paintNote(QPainter& painter) {
    // White on a dark box in the picture's top-left corner, its letters a
    // twentieth of the picture's height (at least 12 pixels).
    const QRect picture = pictureRect_.isValid() ? pictureRect_ : rect();
    QFont font = painter.font();
    font.setPixelSize(std::max(12, picture.height() / 20));
    painter.setFont(font);
    const int pad = font.pixelSize() / 2;
    QRect box = painter.fontMetrics().boundingRect(note_).adjusted(-pad, -pad, pad, pad);
    box.moveTopLeft(picture.topLeft() + QPoint(pad, pad));
    painter.fillRect(box, QColor(0, 0, 0, 180));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, note_);
}

void DisplayWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (events_ != nullptr) events_->resized();
}

void DisplayWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Minimising, restoring and maximising change the window state; the resize
    // handling looks at it (a maximised window is sized by its resize events).
    if (event->type() == QEvent::WindowStateChange) {
        wakePointer();
        if (events_ != nullptr) events_->resized();
    }
}

void DisplayWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && events_ != nullptr) {
        if (event->modifiers() & Qt::ControlModifier) {
            events_->fullScreenToggled();
        } else {
            events_->doubleClicked();
        }
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void DisplayWindow::mouseMoveEvent(QMouseEvent* event) {
    wakePointer();
    QWidget::mouseMoveEvent(event);
}

void DisplayWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && events_ != nullptr) {
        events_->escapePressed();
        return;
    }
    if (upNext_.isShown() && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                emit startNowRequested();
                return;
            case Qt::Key_H:
                emit holdToggled();
                return;
            default:
                break;
        }
    }
    QWidget::keyPressEvent(event);
}

void DisplayWindow::contextMenuEvent(QContextMenuEvent* event) {
    if (events_ != nullptr) events_->menuRequested(event->globalPos());
}

void DisplayWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    // The window deletes itself later (WA_DeleteOnClose); from now on its events
    // go nowhere, and the owner makes a fresh window on the next use.
    DisplayEvents* events = events_;
    events_ = nullptr;
    if (events != nullptr) events->closed();
}

}  // namespace lyrvox
