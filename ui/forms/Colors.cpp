// Colour identifiers, text conversion and the mapping of system colours onto Qt's palette.
#include "ui/forms/Colors.h"

#include <QApplication>
#include <QColor>
#include <QPalette>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ui/classes/SysUtils.h"

const TIdentMap& ColorIdents() {
  static const TIdentMap table = {
      {clBlack, "clBlack"},
      {clMaroon, "clMaroon"},
      {clGreen, "clGreen"},
      {clOlive, "clOlive"},
      {clNavy, "clNavy"},
      {clPurple, "clPurple"},
      {clTeal, "clTeal"},
      {clGray, "clGray"},
      {clSilver, "clSilver"},
      {clRed, "clRed"},
      {clLime, "clLime"},
      {clYellow, "clYellow"},
      {clBlue, "clBlue"},
      {clFuchsia, "clFuchsia"},
      {clAqua, "clAqua"},
      {clWhite, "clWhite"},
      {clMoneyGreen, "clMoneyGreen"},
      {clSkyBlue, "clSkyBlue"},
      {clCream, "clCream"},
      {clMedGray, "clMedGray"},
      {clLtGray, "clLtGray"},
      {clDkGray, "clDkGray"},
      {clScrollBar, "clScrollBar"},
      {clBackground, "clBackground"},
      {clActiveCaption, "clActiveCaption"},
      {clInactiveCaption, "clInactiveCaption"},
      {clMenu, "clMenu"},
      {clWindow, "clWindow"},
      {clWindowFrame, "clWindowFrame"},
      {clMenuText, "clMenuText"},
      {clWindowText, "clWindowText"},
      {clCaptionText, "clCaptionText"},
      {clActiveBorder, "clActiveBorder"},
      {clInactiveBorder, "clInactiveBorder"},
      {clAppWorkSpace, "clAppWorkSpace"},
      {clHighlight, "clHighlight"},
      {clHighlightText, "clHighlightText"},
      {clBtnFace, "clBtnFace"},
      {clBtnShadow, "clBtnShadow"},
      {clGrayText, "clGrayText"},
      {clBtnText, "clBtnText"},
      {clInactiveCaptionText, "clInactiveCaptionText"},
      {clBtnHighlight, "clBtnHighlight"},
      {cl3DDkShadow, "cl3DDkShadow"},
      {cl3DLight, "cl3DLight"},
      {clInfoText, "clInfoText"},
      {clInfoBk, "clInfoBk"},
      {clHotLight, "clHotLight"},
      {clGradientActiveCaption, "clGradientActiveCaption"},
      {clGradientInactiveCaption, "clGradientInactiveCaption"},
      {clMenuHighlight, "clMenuHighlight"},
      {clMenuBar, "clMenuBar"},
      {clNone, "clNone"},
      {clDefault, "clDefault"},
  };
  return table;
}

namespace {

struct SystemRole {
  QPalette::ColorGroup group;
  QPalette::ColorRole role;
  TColor classic;  // used when no GUI application (and so no palette) exists
};

// System colour number -> palette entry. Numbers without an entry of their own share the
// nearest meaning (the desktop and the work space are the palette's dark shade, and so on).
SystemRole RoleOfSystemColor(int number) {
  using P = QPalette;
  switch (number) {
    case 0:
      return {P::Active, P::Window, 0xC8C8C8};
    case 1:
      return {P::Active, P::Dark, 0x000000};
    case 2:
      return {P::Active, P::Highlight, 0xD1B499};
    case 3:
      return {P::Inactive, P::Mid, 0xDBCDBF};
    case 4:
      return {P::Active, P::Window, 0xF0F0F0};
    case 5:
      return {P::Active, P::Base, 0xFFFFFF};
    case 6:
      return {P::Active, P::Shadow, 0x646464};
    case 7:
      return {P::Active, P::WindowText, 0x000000};
    case 8:
      return {P::Active, P::WindowText, 0x000000};
    case 9:
      return {P::Active, P::HighlightedText, 0x000000};
    case 10:
      return {P::Active, P::Window, 0xB4B4B4};
    case 11:
      return {P::Inactive, P::Window, 0xFCF7F4};
    case 12:
      return {P::Active, P::Dark, 0xABABAB};
    case 13:
      return {P::Active, P::Highlight, 0xFF9933};
    case 14:
      return {P::Active, P::HighlightedText, 0xFFFFFF};
    case 15:
      return {P::Active, P::Button, 0xF0F0F0};
    case 16:
      return {P::Active, P::Dark, 0xA0A0A0};
    case 17:
      return {P::Disabled, P::Text, 0x6D6D6D};
    case 18:
      return {P::Active, P::ButtonText, 0x000000};
    case 19:
      return {P::Inactive, P::WindowText, 0x000000};
    case 20:
      return {P::Active, P::Light, 0xFFFFFF};
    case 21:
      return {P::Active, P::Shadow, 0x696969};
    case 22:
      return {P::Active, P::Midlight, 0xE3E3E3};
    case 23:
      return {P::Active, P::ToolTipText, 0x000000};
    case 24:
      return {P::Active, P::ToolTipBase, 0xE1FFFF};
    case 26:
      return {P::Active, P::Link, 0xCC6600};
    case 27:
      return {P::Active, P::Highlight, 0xEAD1B9};
    case 28:
      return {P::Inactive, P::Mid, 0xF2E4D7};
    case 29:
      return {P::Active, P::Highlight, 0xFF9933};
    case 30:
      return {P::Active, P::Window, 0xF0F0F0};
    default:
      return {P::Active, P::Button, 0xF0F0F0};
  }
}

}  // namespace

std::optional<std::string> ColorToIdent(TColor color) {
  for (const TIdentMapEntry& entry : ColorIdents()) {
    if (entry.Value == color) return entry.Name;
  }
  return std::nullopt;
}

std::optional<TColor> IdentToColor(const std::string& ident) {
  for (const TIdentMapEntry& entry : ColorIdents()) {
    if (SameText(entry.Name, ident)) return static_cast<TColor>(entry.Value);
  }
  return std::nullopt;
}

std::string ColorToString(TColor color) {
  if (std::optional<std::string> ident = ColorToIdent(color)) return *ident;
  char text[16];
  std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(color));
  return text;
}

TColor StringToColor(const std::string& text) {
  if (std::optional<TColor> color = IdentToColor(text)) return *color;
  const bool hex = !text.empty() && text[0] == '$';
  const std::string digits = hex ? text.substr(1) : text;
  if (!digits.empty()) {
    char* end = nullptr;
    const long long value = std::strtoll(digits.c_str(), &end, hex ? 16 : 10);
    const bool inRange =
        hex ? (value >= 0 && value <= 0xFFFFFFFFll) : (value >= INT32_MIN && value <= INT32_MAX);
    if (end != nullptr && *end == '\0' && inRange) {
      return static_cast<TColor>(static_cast<uint32_t>(value));
    }
  }
  throw EConvertError("'" + text + "' ist kein gültiger Farbwert");
}

TColor ColorToRGB(TColor color) {
  if (color == clNone || color == clDefault) color = clWindow;
  if (!IsSystemColor(color)) return color & 0x00FFFFFF;
  const SystemRole entry = RoleOfSystemColor(color & 0xFF);
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return entry.classic;
  return QColorToColor(QApplication::palette().color(entry.group, entry.role));
}

QColor ColorToQColor(TColor color) {
  if (color == clNone) return QColor(Qt::transparent);
  const TColor rgb = ColorToRGB(color);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor QColorToColor(const QColor& color) {
  return RGBToColor(static_cast<uint8_t>(color.red()), static_cast<uint8_t>(color.green()),
                    static_cast<uint8_t>(color.blue()));
}
