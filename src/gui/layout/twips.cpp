#include "gui/layout/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace tovira {

double PixelsPerTwip() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return (dpi > 0 ? dpi : 96.0) / 1440.0;
}

int TwipsToPixels(double twips) { return static_cast<int>(std::lround(twips * PixelsPerTwip())); }

double PixelsToTwips(int pixels) { return pixels / PixelsPerTwip(); }

QRect TwipsRect(double left, double top, double width, double height) {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

QFont WindowFont() {
    QFont font;
    font.setFamilies({QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(9);
    return font;
}

}  // namespace tovira
