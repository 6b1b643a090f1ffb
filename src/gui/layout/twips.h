#pragma once
// Window geometry is given in twips (1/1440 inch); the screen's logical dpi
// turns it into pixels (15 twips per pixel at 96 dpi).

#include <QFont>
#include <QRect>

class QWidget;

namespace tovira {

// Pixels per twip factor of the primary screen (logical dpi / 1440).
double PixelsPerTwip();
int TwipsToPixels(double twips);
double PixelsToTwips(int pixels);
QRect TwipsRect(double left, double top, double width, double height);

// The window font: "微软雅黑" 9 pt with CJK fallbacks.
QFont WindowFont();

}  // namespace tovira
