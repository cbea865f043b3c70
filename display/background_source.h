#pragma once
// What lies behind the picture: nothing (the picture exactly as without this), a
// colour, an image, a folder of images shown one after another, or a video file
// played silently in a loop. It lays the picture's copy over itself, scaled to the
// copy's size, only when a background is chosen and the song shows some colour
// transparent; otherwise the display copies the picture as it always does.
#include <QColor>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>

#include "display/display_memory.h"
#include "playback/cdg/cdg_machine.h"

class QMediaPlayer;
class QVideoSink;

namespace lyrvox {

struct BackgroundChoice {
    enum class Kind { None, Colour, Image, Folder, Video };
    Kind kind = Kind::None;
    QColor colour = Qt::black;
    QString path;            // the image, the folder or the video file
    int periodSeconds = 10;  // a folder's seconds per image
    // The colour of the last screen clear shows the background in songs that mark
    // no colour transparent themselves.
    bool clearColourTransparent = false;

    bool operator==(const BackgroundChoice&) const = default;
    // From the settings' texts (unknown kinds count as none), and back.
    static BackgroundChoice read(const DisplayMemory& memory);
    void write(const DisplayMemory& memory) const;
};

class BackgroundSource : public QObject {
    Q_OBJECT
  public:
    explicit BackgroundSource(QObject* parent = nullptr);
    ~BackgroundSource() override;

    // Starts showing `choice` (a slideshow from its first image, a video from its
    // start); the same choice again changes nothing.
    void setChoice(const BackgroundChoice& choice);
    const BackgroundChoice& choice() const { return choice_; }
    bool active() const { return choice_.kind != BackgroundChoice::Kind::None; }

    // The background now, scaled to `size` (RGB32, kept until the image or the size
    // changes); a null image while nothing is there yet (a video before its first
    // frame, an image that cannot be read) or with no background chosen.
    const QImage& scaledTo(QSize size);

    // The picture copy over the background: fills `out` (dWidth x dHeight words,
    // rows strideWords apart) and returns true, or returns false having written
    // nothing when no background is chosen or shows, or every colour is opaque.
    bool composite(const CdgMachine& machine, int dWidth, int dHeight, uint32_t* out,
                   int strideWords);

    // The folder's images in the order shown (by name); empty for other kinds.
    const QStringList& slides() const { return slides_; }
    int slideIndex() const { return slide_; }

  signals:
    // What shows behind the picture changed (a new image, slide or video frame).
    void changed();

  private:
    void showImage(QImage image);
    // Loads `path` on a worker thread; the result arrives later for `generation`.
    void loadInBackground(const QString& path);
    void nextSlide();
    void stopVideo();

    BackgroundChoice choice_;
    QImage image_;   // full size, as read or decoded
    QImage scaled_;  // image_ at scaledSize_
    QSize scaledSize_;
    QStringList slides_;
    int slide_ = -1;
    QTimer slideTimer_;
    int generation_ = 0;  // loads for an earlier choice or slide are dropped
    std::unique_ptr<QMediaPlayer> player_;
    std::unique_ptr<QVideoSink> sink_;
};

}  // namespace lyrvox
