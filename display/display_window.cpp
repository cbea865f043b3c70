#include "display/display_window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

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
    if (events_ != nullptr && !inPaint_) {
        inPaint_ = true;
        events_->repaintNeeded();
        inPaint_ = false;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, frame_);
    // Between a resize and its handling the client area can be larger than the
    // frame image: show black there rather than stale pixels.
    if (frame_.width() < width()) {
        painter.fillRect(frame_.width(), 0, width() - frame_.width(), height(), Qt::black);
    }
    if (frame_.height() < height()) {
        painter.fillRect(0, frame_.height(), width(), height() - frame_.height(), Qt::black);
    }
}

void DisplayWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (events_ != nullptr) events_->resized();
}

void DisplayWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Minimising, restoring and maximising change the window state; the resize
    // handling looks at it (a maximised window is sized by its resize events).
    if (event->type() == QEvent::WindowStateChange && events_ != nullptr) events_->resized();
}

void DisplayWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && events_ != nullptr) {
        events_->doubleClicked();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
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
