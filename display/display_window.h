#pragma once
// The display window: a plain top-level window that shows the stretched picture. It keeps only the
// frame image the picture copy fills; everything it does in answer to the window system goes to its
// DisplayEvents.
#include <QImage>
#include <QWidget>
#include <cstdint>

namespace lyrvox {

// The window's event handlers, run by whoever owns the program's state.
class DisplayEvents {
  public:
    virtual ~DisplayEvents() = default;
    virtual void repaintNeeded() = 0;  // the frame image must be brought up to date
    virtual void resized() = 0;        // client size or window state changed
    virtual void doubleClicked() = 0;  // double-click in the client area
    virtual void closed() = 0;         // the user closed the window; it deletes itself
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

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    DisplayEvents* events_;  // null once the window was closed: it is on its way out
    QImage frame_;
    bool inPaint_ = false;
};

}  // namespace lyrvox
