#pragma once
// The up-next screen: what the display window shows between songs, over the whole
// client area, in letters large enough to read across a room. It only paints; the
// countdown itself belongs to whoever plays the songs. An optional venue message
// scrolls along the bottom, moved by a timer that runs only while the screen shows
// with a message on, so nothing ticks during a song.
#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class QPainter;

namespace lyrvox {

// What comes next. `keyText` is the key and tempo line ("Key +2  Tempo 90%", empty
// for neither; see keyTempoText); `secondsLeft` the whole seconds of the pause left
// (0: none shown); `held`: the host stopped the countdown; `following` the singers
// after this one, in order (at most two shown).
struct UpNext {
    QString singer;
    QString song;  // "ARTIST - TITLE"
    QString keyText;
    int secondsLeft = 0;
    bool held = false;
    QStringList following;
    bool operator==(const UpNext&) const = default;
};

// "Key +2", "Tempo 90%", both with two spaces between, or empty when the key is 0
// semitones and the tempo 100%.
QString keyTempoText(int semitones, int tempoPercent);

class UpNextScreen : public QObject {
    Q_OBJECT
  public:
    // `repaint` asks the owner to repaint that part of the area (a null rectangle:
    // all of it); the scrolling message asks for its strip only.
    explicit UpNextScreen(std::function<void(const QRect&)> repaint, QObject* parent = nullptr);

    void show(const UpNext& next);
    void hide();
    bool isShown() const { return shown_; }
    const UpNext& next() const { return next_; }

    // The venue message and whether it shows; an empty text never shows.
    void setMessage(const QString& text, bool on);
    const QString& message() const { return message_; }
    bool messageOn() const { return messageOn_; }
    // Whether the "Then:" line with the following singers shows.
    void setShowFollowing(bool on);
    bool showFollowing() const { return showFollowing_; }
    // Where the singers' phones find the requests page: its QR code (drawn with
    // whole pixels per module, about a fifth of the area's height) and its address
    // below it, in the bottom right corner above the message's strip. A null image
    // and an empty text show nothing (the server is off).
    void setJoin(const QImage& code, const QString& text);
    bool joinShown() const { return !joinCode_.isNull() || !joinText_.isEmpty(); }
    // The corner the join code and text take in `area` (empty when there is none);
    // the centred lines stay clear of it.
    QRect joinBox(const QRect& area, const QFont& base) const;

    // One line as laid out for an area: its text, font and box.
    struct Line {
        QString text;
        QFont font;
        QRect box;
    };
    // The centred lines (not the message) for `area`, each font shrunk until its text
    // fits nine tenths of the width.
    QList<Line> layout(const QRect& area, const QFont& base) const;
    // Paints the whole screen over `area` (nothing when hidden); `translucent`: its
    // colour only tints what was painted there before (a chosen background).
    void paint(QPainter& painter, const QRect& area, bool translucent = false) const;

    static constexpr QColor kBackground{12, 16, 48};
    // The message moves a sixth of the area's height a second, redrawn at this interval.
    static constexpr int kScrollIntervalMs = 33;

    // For tests: the clock the scroll reads (milliseconds; default a steady clock),
    // whether its timer runs, and one timer step run by hand.
    void setClock(std::function<qint64()> clock);
    bool scrolling() const { return scrollTimer_.isActive(); }
    void step();

  private:
    bool messageShows() const { return shown_ && messageOn_ && !message_.isEmpty(); }
    void updateTimer();
    QString countLine() const;
    // The join code's side in pixels (whole modules) and the address's font, for `area`.
    int joinCodeSide(const QRect& area) const;
    QFont joinFont(const QRect& area, const QFont& base) const;

    std::function<void(const QRect&)> repaint_;
    mutable QRect strip_;  // where the message was last painted
    std::function<qint64()> clock_;
    QElapsedTimer steady_;
    UpNext next_;
    QString message_;
    QImage joinCode_;
    QString joinText_;
    bool shown_ = false;
    bool messageOn_ = false;
    bool showFollowing_ = true;
    qint64 scrollStart_ = 0;  // clock time the message entered from the right
    qint64 scrollNow_ = 0;    // clock time of the last step
    QTimer scrollTimer_;
};

}  // namespace lyrvox
