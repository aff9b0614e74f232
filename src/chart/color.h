#pragma once
// Colour values as the whole program keeps them (model, settings file, dialogs) and their
// conversion to the painter's colours.
#include <QColor>

#include <cstdint>

// A colour as the widget framework stores it: 0x00BBGGRR (red in the low byte). Negative values
// are system colours (0x80000000 | element index), resolved at the painter.
using TColor = std::int32_t;

constexpr TColor clDefault = 0x20000000; // use the default colour (series colour / pick one)
constexpr TColor clNone = 0x1FFFFFFF;    // null point: not drawn, no line to or from it

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

// System colours (negative): 0x80000000 | index of the display element.
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index)); }
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

// Colour value -> 0x00RRGGBB: system colours (negative) become the platform's current colour for
// that element; any other value is used as it is (its low 24 bits).
QRgb ColorToRGB(TColor color);
QColor ColorToQColor(TColor color);
// 0x00RRGGBB -> colour value (0x00BBGGRR).
TColor RGBToColor(QRgb rgb);
