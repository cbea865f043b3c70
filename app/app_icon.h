#pragma once
// The control window's icon, drawn in code: a compact disc with a microphone.
#include <QIcon>
#include <QImage>

namespace lyrvox {

// Full colour with transparency, `size` pixels square. The drawing is made for
// 32x32; other sizes (the desktop's icon theme) scale the same drawing.
QImage drawAppIconImage(int size = 32);
// The same picture reduced to the 16 colours of the standard VGA palette.
QImage appIcon16Colours();
// The full-colour 32x32 picture and a 16x16 one from the 16-colour version.
QIcon appIcon();

}  // namespace lyrvox
