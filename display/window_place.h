#pragma once
// Where the display window goes and how big: the size command's client size, the
// centred place, the remembered place as text, and the screen a remembered name
// stands for.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include "display/screen_metrics.h"

class QScreen;
class QWidget;

namespace lyrvox {

// The client size for the size command: the 294x204 view times
// factorFor(client width), or times 1 when the outer width (client plus `frame`,
// the outer size minus the client size, zero before the window manager framed the
// window) would be wider than the screen; a window taller than the screen is set
// as is. Rounded half to even in pixels.
QSize zoomedClientSize(const ScreenTwips& screen, QSize client, QSize frame,
                       double (*factorFor)(int clientWidth));
// The outer top-left that leaves 40% of the free screen space left of and above a
// window of `outer` size (divisor 2.5).
QPoint centredTopLeft(const ScreenTwips& screen, QSize outer);

// "x,y,width,height" in desktop pixels.
QString geometryText(const QRect& r);
// The rectangle such a text holds; an invalid rectangle when unreadable.
QRect geometryFrom(const QString& text);
// Neither minimised, maximised nor full screen.
bool isNormal(const QWidget& window);
// The connected screen of that name; null when none is (or nothing is remembered).
QScreen* screenNamed(const QString& name);

}  // namespace lyrvox
