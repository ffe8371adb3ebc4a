// Colours of the window framework. A TColor is a 32-bit value: 0x00BBGGRR for a plain colour
// (blue in the high byte, red in the low one), 0xFF0000nn for the system colour number nn
// (resolved against the application's palette when drawn), and the two markers clNone and
// clDefault. The identifiers (clRed, clBtnFace, ...) are what stored descriptions use.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ui/classes/Classes.h"

class QColor;

using TColor = int32_t;

// The system colour range: the high byte set, the low byte the system colour number.
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);

constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;
constexpr TColor clHotLight = clSystemColor | 26;
constexpr TColor clGradientActiveCaption = clSystemColor | 27;
constexpr TColor clGradientInactiveCaption = clSystemColor | 28;
constexpr TColor clMenuHighlight = clSystemColor | 29;
constexpr TColor clMenuBar = clSystemColor | 30;

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
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;

// "No colour" (nothing is painted) and "the control's own default colour".
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// Builds a plain colour from its components.
constexpr TColor RGBToColor(uint8_t red, uint8_t green, uint8_t blue) {
  return static_cast<TColor>(red | (green << 8) | (blue << 16));
}

constexpr uint8_t GetRValue(TColor color) {
  return static_cast<uint8_t>(color & 0xFF);
}
constexpr uint8_t GetGValue(TColor color) {
  return static_cast<uint8_t>((color >> 8) & 0xFF);
}
constexpr uint8_t GetBValue(TColor color) {
  return static_cast<uint8_t>((color >> 16) & 0xFF);
}

constexpr bool IsSystemColor(TColor color) {
  return (static_cast<uint32_t>(color) & 0xFF000000u) == 0xFF000000u;
}

// The colour identifiers with their values, for IntIdent properties (the first name of a value
// wins when a value is turned back into a name).
const TIdentMap& ColorIdents();

// Name of a colour that has one ("clRed"), else nothing.
std::optional<std::string> ColorToIdent(TColor color);
// Value of a colour name (case-insensitive), else nothing.
std::optional<TColor> IdentToColor(const std::string& ident);
// The identifier if there is one, else "$00BBGGRR".
std::string ColorToString(TColor color);
// An identifier, a decimal number or a "$hex" number; throws EConvertError otherwise.
TColor StringToColor(const std::string& text);

// The plain 0x00BBGGRR value of a colour: system colours are looked up in the application's
// palette (a fixed classic palette when no GUI application exists). clNone and clDefault give
// the window colour.
TColor ColorToRGB(TColor color);
// The colour as Qt draws it; clNone is transparent.
QColor ColorToQColor(TColor color);
// The plain TColor of a Qt colour (alpha dropped).
TColor QColorToColor(const QColor& color);
