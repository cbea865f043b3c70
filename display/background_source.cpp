#include "display/background_source.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
#include <QMediaPlayer>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>
#include <algorithm>

#include "display/picture_copy.h"
#include "util/settings_table.h"

namespace lyrvox {

namespace {

using Kind = BackgroundChoice::Kind;

constexpr std::array<std::pair<Kind, const char*>, 5> kKindNames = {{{Kind::None, "none"},
                                                                     {Kind::Colour, "colour"},
                                                                     {Kind::Image, "image"},
                                                                     {Kind::Folder, "folder"},
                                                                     {Kind::Video, "video"}}};

QString keyOf(const Setting& setting) {
    return QString::fromLatin1(setting.key);
}

int number(const DisplayMemory& memory, const Setting& setting) {
    const std::optional<QString> text = memory.read(keyOf(setting));
    return settingNumber(setting,
                         text ? std::optional<std::string>(text->toStdString()) : std::nullopt);
}

// Images the folder holds that Qt can read, by name.
QStringList imagesIn(const QString& folder) {
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    QDir dir(folder);
    QStringList files;
    for (const QString& name : dir.entryList(patterns, QDir::Files | QDir::Readable, QDir::Name))
        files << dir.filePath(name);
    return files;
}

QImage readImage(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);  // photos stand the way they were taken
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

BackgroundChoice BackgroundChoice::read(const DisplayMemory& memory) {
    BackgroundChoice choice;
    const QString kind = memory.read(keyOf(settings::kBackgroundKind)).value_or(QString());
    for (const auto& [k, name] : kKindNames)
        if (kind == QLatin1String(name)) choice.kind = k;
    const QColor colour(
        memory.read(keyOf(settings::kBackgroundColour))
            .value_or(QString::fromLatin1(settings::kBackgroundColour.defaultText)));
    if (colour.isValid()) choice.colour = colour;
    choice.path = memory.read(keyOf(settings::kBackgroundPath)).value_or(QString());
    choice.periodSeconds = number(memory, settings::kBackgroundPeriod);
    choice.clearColourTransparent = number(memory, settings::kClearTransparent) != 0;
    return choice;
}

void BackgroundChoice::write(const DisplayMemory& memory) const {
    for (const auto& [k, name] : kKindNames)
        if (k == kind) memory.write(keyOf(settings::kBackgroundKind), QString::fromLatin1(name));
    memory.write(keyOf(settings::kBackgroundColour), colour.name());
    memory.write(keyOf(settings::kBackgroundPath), path);
    memory.write(keyOf(settings::kBackgroundPeriod), QString::number(periodSeconds));
    memory.write(keyOf(settings::kClearTransparent),
                 clearColourTransparent ? QStringLiteral("1") : QStringLiteral("0"));
}

BackgroundSource::BackgroundSource(QObject* parent) : QObject(parent) {
    connect(&slideTimer_, &QTimer::timeout, this, [this] { nextSlide(); });
}

BackgroundSource::~BackgroundSource() {
    stopVideo();
}

void BackgroundSource::setChoice(const BackgroundChoice& choice) {
    if (choice == choice_) return;
    choice_ = choice;
    ++generation_;
    slideTimer_.stop();
    stopVideo();
    slides_.clear();
    slide_ = -1;
    image_ = QImage();
    scaled_ = QImage();
    switch (choice_.kind) {
        case Kind::None:
            break;
        case Kind::Colour: {
            QImage one(1, 1, QImage::Format_RGB32);
            one.fill(choice_.colour);
            image_ = one;
            break;
        }
        case Kind::Image:
            loadInBackground(choice_.path);
            break;
        case Kind::Folder:
            slides_ = imagesIn(choice_.path);
            slideTimer_.start(std::max(1, choice_.periodSeconds) * 1000);
            nextSlide();
            break;
        case Kind::Video:
            sink_ = std::make_unique<QVideoSink>();
            player_ = std::make_unique<QMediaPlayer>();
            player_->setVideoSink(sink_.get());  // no audio output: silent
            player_->setLoops(QMediaPlayer::Infinite);
            connect(sink_.get(), &QVideoSink::videoFrameChanged, this,
                    [this](const QVideoFrame& frame) {
                        if (frame.isValid()) showImage(frame.toImage());
                    });
            player_->setSource(QUrl::fromLocalFile(choice_.path));
            player_->play();
            break;
    }
    emit changed();
}

void BackgroundSource::stopVideo() {
    if (sink_) disconnect(sink_.get(), nullptr, this, nullptr);
    if (player_) player_->stop();
    player_.reset();
    sink_.reset();
}

void BackgroundSource::nextSlide() {
    if (slides_.isEmpty()) return;
    slide_ = (slide_ + 1) % static_cast<int>(slides_.size());
    loadInBackground(slides_[slide_]);
}

void BackgroundSource::loadInBackground(const QString& path) {
    // A photo takes a noticeable time to decode: never on the display's thread.
    const int generation = ++generation_;
    QPointer<BackgroundSource> self(this);
    QThreadPool::globalInstance()->start([self, path, generation] {
        QImage image = readImage(path);
        QMetaObject::invokeMethod(
            qApp,
            [self, image = std::move(image), generation]() mutable {
                if (self && self->generation_ == generation) self->showImage(std::move(image));
            },
            Qt::QueuedConnection);
    });
}

void BackgroundSource::showImage(QImage image) {
    image_ = std::move(image);
    scaled_ = QImage();
    emit changed();
}

const QImage& BackgroundSource::scaledTo(QSize size) {
    if (image_.isNull() || size.isEmpty()) {
        static const QImage none;
        return none;
    }
    if (scaled_.isNull() || scaledSize_ != size) {
        // Stills are scaled smoothly once; video frames come too often for that.
        const Qt::TransformationMode mode =
            choice_.kind == Kind::Video ? Qt::FastTransformation : Qt::SmoothTransformation;
        scaled_ =
            image_.scaled(size, Qt::IgnoreAspectRatio, mode).convertToFormat(QImage::Format_RGB32);
        scaledSize_ = size;
    }
    return scaled_;
}

bool BackgroundSource::composite(const CdgMachine& machine, int dWidth, int dHeight, uint32_t* out,
                                 int strideWords) {
    if (!active() || out == nullptr) return false;
    const std::array<uint8_t, 16> opacity = machine.opacityTable(choice_.clearColourTransparent);
    if (!CdgMachine::anyTransparent(opacity)) return false;
    const QImage& behind = scaledTo(QSize(dWidth, dHeight));
    if (behind.isNull()) return false;
    compositeVisibleWindow(machine, opacity, dWidth, dHeight, out, strideWords,
                           reinterpret_cast<const uint32_t*>(behind.constBits()),
                           static_cast<int>(behind.bytesPerLine() / 4));
    return true;
}

}  // namespace lyrvox
