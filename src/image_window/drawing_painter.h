#pragma once
// Paints the image window's plain drawings and renderings with Qt.

#include "image_window/image_window_types.h"

#include <QImage>

namespace zeta::imaging {

// The pixels of a picture's first bitmap as a Qt image: a packed 8-bit RGB rendering is
// wrapped without copying (valid while the picture lives), anything else converted.
QImage qImageOf(const zeta::platform::Picture& picture);

// The drawing at one pixel per point, transparent background, y flipped to Qt's rows.
QImage paintDrawing(const Drawing& drawing);

// Qt's colour of a platform colour.
QColor qColorOf(const zeta::platform::Color& color);

} // namespace zeta::imaging
