#include "display/up_next_screen.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace lyrvox {

namespace {

// Each line's letter height as a share of the area's height, before shrinking to
// fit the width: the singer largest, the rest smaller.
constexpr int kSingerDiv = 9;
constexpr int kSongDiv = 12;
constexpr int kDetailDiv = 14;
constexpr int kMessageDiv = 16;
constexpr int kMinPixels = 8;
// The join code about a fifth of the height (a phone reads it across a room at
// 1080 lines: six pixels a module); the address a thirty-sixth; the margin from the edges.
constexpr int kJoinCodeDiv = 5;
constexpr int kJoinTextDiv = 36;
constexpr int kJoinMarginDiv = 40;

QFont fitted(QFont font, int pixels, const QString& text, int width) {
    pixels = std::max(kMinPixels, pixels);
    font.setPixelSize(pixels);
    while (pixels > kMinPixels && QFontMetrics(font).horizontalAdvance(text) > width) {
        pixels = std::max(kMinPixels, pixels * 9 / 10);
        font.setPixelSize(pixels);
    }
    return font;
}

}  // namespace

QString keyTempoText(int semitones, int tempoPercent) {
    QStringList parts;
    if (semitones != 0)
        parts << QStringLiteral("Key %1%2").arg(semitones > 0 ? "+" : "").arg(semitones);
    if (tempoPercent != 100) parts << QStringLiteral("Tempo %1%").arg(tempoPercent);
    return parts.join(QStringLiteral("  "));
}

UpNextScreen::UpNextScreen(std::function<void(const QRect&)> repaint, QObject* parent)
    : QObject(parent), repaint_(std::move(repaint)) {
    steady_.start();
    clock_ = [this] { return steady_.elapsed(); };
    scrollTimer_.setInterval(kScrollIntervalMs);
    connect(&scrollTimer_, &QTimer::timeout, this, &UpNextScreen::step);
}

void UpNextScreen::setClock(std::function<qint64()> clock) {
    clock_ = std::move(clock);
    scrollStart_ = scrollNow_ = clock_();
}

void UpNextScreen::show(const UpNext& next) {
    if (shown_ && next == next_) return;
    next_ = next;
    shown_ = true;
    updateTimer();
    repaint_(QRect());
}

void UpNextScreen::hide() {
    if (!shown_) return;
    shown_ = false;
    updateTimer();
    repaint_(QRect());
}

void UpNextScreen::setMessage(const QString& text, bool on) {
    if (text == message_ && on == messageOn_) return;
    message_ = text;
    messageOn_ = on;
    updateTimer();
    if (shown_) repaint_(QRect());
}

void UpNextScreen::setShowFollowing(bool on) {
    if (on == showFollowing_) return;
    showFollowing_ = on;
    if (shown_) repaint_(QRect());
}

void UpNextScreen::setJoin(const QImage& code, const QString& text) {
    if (code == joinCode_ && text == joinText_) return;
    joinCode_ = code;
    joinText_ = text;
    if (shown_) repaint_(QRect());
}

int UpNextScreen::joinCodeSide(const QRect& area) const {
    if (joinCode_.isNull()) return 0;
    const int modules = std::max(1, joinCode_.width());
    return std::max(1, area.height() / kJoinCodeDiv / modules) * modules;
}

QFont UpNextScreen::joinFont(const QRect& area, const QFont& base) const {
    QFont font = base;
    font.setPixelSize(std::max(kMinPixels, area.height() / kJoinTextDiv));
    return font;
}

QRect UpNextScreen::joinBox(const QRect& area, const QFont& base) const {
    if (!joinShown()) return {};
    const int side = joinCodeSide(area);
    const QFontMetrics metrics(joinFont(area, base));
    const int textWidth = joinText_.isEmpty() ? 0 : metrics.horizontalAdvance(joinText_) + 1;
    const int textHeight = joinText_.isEmpty() ? 0 : metrics.height();
    const int margin = area.height() / kJoinMarginDiv;
    const int strip = area.height() / kMessageDiv * 2;
    QRect box(0, 0, std::min(std::max(side, textWidth), area.width() / 2), side + textHeight);
    box.moveBottomRight({area.right() - margin, area.bottom() - strip - margin});
    return box;
}

void UpNextScreen::updateTimer() {
    if (messageShows() == scrollTimer_.isActive()) return;
    if (messageShows()) {
        // The message enters from the right edge each time the screen comes up.
        scrollStart_ = scrollNow_ = clock_();
        scrollTimer_.start();
    } else {
        scrollTimer_.stop();
    }
}

void UpNextScreen::step() {
    scrollNow_ = clock_();
    if (messageShows()) repaint_(strip_);
}

QString UpNextScreen::countLine() const {
    if (next_.held) return QStringLiteral("Held");
    if (next_.secondsLeft > 0) return QStringLiteral("in %1 s").arg(next_.secondsLeft);
    return {};
}

QList<UpNextScreen::Line> UpNextScreen::layout(const QRect& area, const QFont& base) const {
    QList<Line> lines;
    QStringList texts;  // each line's whole text, before any cut
    const int h = area.height();
    const int width = area.width() * 9 / 10;
    const auto add = [&](const QString& text, int div) {
        if (text.isEmpty()) return;
        const QFont font = fitted(base, h / div, text, width);
        // Too long even in the smallest letters: cut with an ellipsis.
        lines.append({QFontMetrics(font).elidedText(text, Qt::ElideRight, width), font, {}});
        texts.append(text);
    };
    add(next_.singer.isEmpty() ? QStringLiteral("Next")
                               : QStringLiteral("Next singer: ") + next_.singer,
        kSingerDiv);
    add(next_.song, kSongDiv);
    add(next_.keyText, kDetailDiv);
    add(countLine(), kDetailDiv);
    if (showFollowing_ && !next_.following.isEmpty())
        add(QStringLiteral("Then: ") + next_.following.mid(0, 2).join(QStringLiteral(", ")),
            kDetailDiv);
    // One block centred in the area above the message's strip, a third of a line's
    // height between lines.
    const int strip = h / kMessageDiv * 2;
    int total = 0;
    for (Line& line : lines) {
        const QFontMetrics metrics(line.font);
        line.box = QRect(0, 0, area.width(), metrics.height() + metrics.height() / 3);
        total += line.box.height();
    }
    int y = area.top() + std::max(0, (h - strip - total) / 2);
    for (Line& line : lines) {
        line.box.moveTopLeft({area.left(), y});
        y += line.box.height();
    }
    // A line beside the join corner keeps as far from both edges as the corner
    // takes, in letters shrunk to fit (its box stays: the block does not move).
    const QRect join = joinBox(area, base);
    if (join.isEmpty()) return lines;
    const int narrow = std::max(kMinPixels, area.width() - 2 * (area.right() - join.left() + 1));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        Line& line = lines[i];
        if (line.box.bottom() < join.top() ||
            QFontMetrics(line.font).horizontalAdvance(line.text) <= narrow)
            continue;
        line.font = fitted(line.font, line.font.pixelSize(), texts[i], narrow);
        line.text = QFontMetrics(line.font).elidedText(texts[i], Qt::ElideRight, narrow);
    }
    return lines;
}

void UpNextScreen::paint(QPainter& painter, const QRect& area, bool translucent) const {
    if (!shown_) return;
    painter.save();
    QColor tint = kBackground;
    if (translucent) tint.setAlpha(150);  // the letters stay readable over a photo
    painter.fillRect(area, tint);
    const QFont base = painter.font();
    bool first = true;
    for (const Line& line : layout(area, painter.font())) {
        painter.setFont(line.font);
        painter.setPen(first ? QColor(255, 220, 60) : QColor(Qt::white));
        painter.drawText(line.box, Qt::AlignCenter, line.text);
        first = false;
    }
    if (const QRect join = joinBox(area, base); !join.isEmpty()) {
        const int side = joinCodeSide(area);
        if (side > 0) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            // Whole pixels per module, unsmoothed: the code's edges stay sharp.
            painter.drawImage(QRect(join.right() + 1 - side, join.top(), side, side), joinCode_);
        }
        if (!joinText_.isEmpty()) {
            painter.setFont(joinFont(area, base));
            painter.setPen(Qt::white);
            const QRect text(join.left(), join.top() + side, join.width(), join.height() - side);
            painter.drawText(
                text, Qt::AlignRight | Qt::AlignVCenter,
                QFontMetrics(painter.font()).elidedText(joinText_, Qt::ElideMiddle, join.width()));
        }
    }
    if (messageShows()) {
        // Enters at the right edge, leaves at the left, then enters again.
        QFont font = painter.font();
        font.setPixelSize(std::max(kMinPixels, area.height() / kMessageDiv));
        painter.setFont(font);
        const QFontMetrics metrics(font);
        const int textWidth = metrics.horizontalAdvance(message_);
        const qint64 speed = std::max(1, area.height() / 6);  // pixels a second
        const qint64 travelled = (scrollNow_ - scrollStart_) * speed / 1000;
        const qint64 x = area.right() - travelled % (area.width() + textWidth);
        QRect strip(area.left(), 0, area.width(), metrics.height() * 3 / 2);
        strip.moveBottom(area.bottom());
        strip_ = strip;
        painter.fillRect(strip, Qt::black);
        painter.setClipRect(strip);
        painter.setPen(Qt::white);
        painter.drawText(QRect(static_cast<int>(x), strip.top(), textWidth + 1, strip.height()),
                         Qt::AlignVCenter | Qt::AlignLeft, message_);
    }
    painter.restore();
}

}  // namespace lyrvox
