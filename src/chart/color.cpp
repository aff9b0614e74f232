#include "chart/color.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

// Classic display-element colours, used when no GUI application (and so no palette) exists.
QRgb FallbackSystemColor(int index)
{
    switch (index) {
    case 5: return qRgb(255, 255, 255);  // window
    case 8: return qRgb(0, 0, 0);        // window text
    case 13: return qRgb(0, 0, 128);     // highlight
    case 14: return qRgb(255, 255, 255); // highlight text
    case 15: return qRgb(192, 192, 192); // button face
    case 16: return qRgb(128, 128, 128); // button shadow
    case 17: return qRgb(128, 128, 128); // grey text
    case 18: return qRgb(0, 0, 0);       // button text
    case 20: return qRgb(255, 255, 255); // button highlight
    case 21: return qRgb(0, 0, 0);       // 3D dark shadow
    case 22: return qRgb(223, 223, 223); // 3D light
    case 23: return qRgb(0, 0, 0);       // info text
    case 24: return qRgb(255, 255, 225); // info background
    default: return qRgb(192, 192, 192);
    }
}

QRgb PaletteSystemColor(int index)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())) return FallbackSystemColor(index);
    const QPalette pal = QGuiApplication::palette();
    auto c = [&](QPalette::ColorRole role) { return pal.color(QPalette::Active, role).rgb(); };
    switch (index) {
    case 0:
    case 4:
    case 10:
    case 11:
    case 30: return c(QPalette::Window);
    case 1:
    case 12: return c(QPalette::Mid);
    case 2:
    case 13:
    case 27:
    case 29: return c(QPalette::Highlight);
    case 3:
    case 28: return c(QPalette::Mid);
    case 5: return c(QPalette::Base);
    case 6:
    case 21: return c(QPalette::Shadow);
    case 7: return c(QPalette::WindowText);
    case 8: return c(QPalette::Text);
    case 9:
    case 14: return c(QPalette::HighlightedText);
    case 15: return c(QPalette::Button);
    case 16: return c(QPalette::Dark);
    case 17: return pal.color(QPalette::Disabled, QPalette::Text).rgb();
    case 18: return c(QPalette::ButtonText);
    case 19: return pal.color(QPalette::Disabled, QPalette::WindowText).rgb();
    case 20: return c(QPalette::Light);
    case 22: return c(QPalette::Midlight);
    case 23: return c(QPalette::ToolTipText);
    case 24: return c(QPalette::ToolTipBase);
    case 26: return c(QPalette::Link);
    default: return FallbackSystemColor(index);
    }
}

} // namespace

QRgb ColorToRGB(TColor color)
{
    if (color < 0) return PaletteSystemColor(color & 0xFF) | 0xFF000000u;
    return qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

QColor ColorToQColor(TColor color) { return QColor(ColorToRGB(color)); }

TColor RGBToColor(QRgb rgb) { return qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16); }
