#pragma once
// The control window's icon, drawn in code: a compact disc with a microphone.
#include <QIcon>
#include <QImage>

namespace lyrvox {

// 32x32, full colour with transparency.
QImage drawAppIconImage();
// The same picture reduced to the 16 colours of the standard VGA palette.
QImage appIcon16Colours();
// The full-colour 32x32 picture and a 16x16 one from the 16-colour version.
QIcon appIcon();

}  // namespace lyrvox
