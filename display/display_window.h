#pragma once
// The display window: a plain top-level window that shows the scaled picture. It keeps only the
// frame image the picture copy fills, where that image goes, and a short note painted over it;
// everything it does in answer to the window system goes to its DisplayEvents.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>

#include "display/up_next_screen.h"

namespace lyrvox {

// The window's event handlers, run by whoever owns the program's state.
class DisplayEvents {
  public:
    virtual ~DisplayEvents() = default;
    virtual void repaintNeeded() = 0;      // the frame image must be brought up to date
    virtual void resized() = 0;            // client size or window state changed
    virtual void doubleClicked() = 0;      // double-click in the client area
    virtual void closed() = 0;             // the user closed the window; it deletes itself
    virtual void fullScreenToggled() = 0;  // Ctrl+double-click
    virtual void escapePressed() = 0;
    virtual void menuRequested(const QPoint& globalPos) = 0;  // right-click or the menu key
};

class DisplayWindow : public QWidget {
    Q_OBJECT
  public:
    // Created hidden, top-level, titled "Lyrvox", with minimise and maximise
    // buttons; it deletes itself when closed and never ends the program.
    explicit DisplayWindow(DisplayEvents& events);

    // The frame image, dWidth x dHeight, 0xFFRRGGBB words. Reallocated only when
    // the size changes. The caller fills it, then asks for a repaint.
    uint32_t* frameFor(int dWidth, int dHeight, int& strideWords);
    const QImage& frame() const { return frame_; }
    // Where the frame image goes in the client area; black covers the rest.
    void setPictureRect(const QRect& rect);
    QRect pictureRect() const { return pictureRect_; }
    // Paints `text` over the picture for `ms` milliseconds (replacing any earlier
    // note). Only the window's painting shows it: never the frame image.
    void showNote(const QString& text, int ms);
    // Large text in the middle until replaced; empty: none. Painted like the note.
    void showBanner(const QString& text);
    const QString& banner() const { return banner_; }
    // The up-next screen over the whole client area, hiding the picture and the
    // banner until hideUpNext. While it shows, Enter and H go to the signals below.
    void showUpNext(const UpNext& next) { upNext_.show(next); }
    void hideUpNext() { upNext_.hide(); }
    UpNextScreen& upNextScreen() { return upNext_; }
    // What the up-next screen shows through its tint (a null image: its plain
    // colour), stretched over the client area.
    void setBackdrop(const QImage& image);
    const QImage& backdrop() const { return backdrop_; }

    // Milliseconds without mouse motion before the pointer hides over a full-screen
    // picture.
    static constexpr int kPointerHideMs = 2000;

  signals:
    // Enter (or Return) on the up-next screen: start the next song now.
    void startNowRequested();
    // H on the up-next screen: hold the countdown, or let it go on.
    void holdToggled();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void paintNote(QPainter& painter);
    void paintBanner(QPainter& painter);
    // Shows the pointer, and hides it again after kPointerHideMs in full screen.
    void wakePointer();

    DisplayEvents* events_;  // null once the window was closed: it is on its way out
    QImage frame_;
    QImage backdrop_;
    QRect pictureRect_;
    QString note_;
    QString banner_;
    QTimer noteTimer_;
    QTimer pointerTimer_;
    bool inPaint_ = false;
    UpNextScreen upNext_{[this](const QRect& area) { area.isNull() ? update() : update(area); }};
};

}  // namespace lyrvox
