#pragma once
// What a user does on the image window's picture: a click on a pixel of the frame, a right
// click, a drag from one pixel to another. Pixels are counted as the frame holds them
// (column from the left, row from the top); the picture's zoom decides where they are on the
// screen. Every step throws JourneyError when the picture is not there.

#include "journey_app.h"

#include <QPoint>

namespace journey {

// The simulated cameras' frames are 1920 x 1280 with their brightest star in the middle (the
// one behind the mask when the simulator draws it).
constexpr double kStarColumn = 960, kStarRow = 640;

class JourneyPicture {
public:
    static void click(double column, double row, Qt::MouseButton button = Qt::LeftButton);
    static void drag(double fromColumn, double fromRow, double toColumn, double toRow);
    // Where the pixel is on the picture widget.
    static QPoint at(double column, double row);
};

} // namespace journey
