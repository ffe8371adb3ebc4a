// TFont: properties, change notification, streaming table and the mapping onto QFont.
#include "ui/forms/Graphics.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>

const TIdentMap& CharsetIdents() {
  static const TIdentMap table = {
      {ANSI_CHARSET, "ANSI_CHARSET"},
      {DEFAULT_CHARSET, "DEFAULT_CHARSET"},
      {SYMBOL_CHARSET, "SYMBOL_CHARSET"},
      {MAC_CHARSET, "MAC_CHARSET"},
      {SHIFTJIS_CHARSET, "SHIFTJIS_CHARSET"},
      {HANGEUL_CHARSET, "HANGEUL_CHARSET"},
      {JOHAB_CHARSET, "JOHAB_CHARSET"},
      {GB2312_CHARSET, "GB2312_CHARSET"},
      {CHINESEBIG5_CHARSET, "CHINESEBIG5_CHARSET"},
      {GREEK_CHARSET, "GREEK_CHARSET"},
      {TURKISH_CHARSET, "TURKISH_CHARSET"},
      {VIETNAMESE_CHARSET, "VIETNAMESE_CHARSET"},
      {HEBREW_CHARSET, "HEBREW_CHARSET"},
      {ARABIC_CHARSET, "ARABIC_CHARSET"},
      {BALTIC_CHARSET, "BALTIC_CHARSET"},
      {RUSSIAN_CHARSET, "RUSSIAN_CHARSET"},
      {THAI_CHARSET, "THAI_CHARSET"},
      {EASTEUROPE_CHARSET, "EASTEUROPE_CHARSET"},
      {OEM_CHARSET, "OEM_CHARSET"},
  };
  return table;
}

int ScreenLogicalPixelsPerInch() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return 96;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 96;
  const int dpi = static_cast<int>(std::lround(screen->logicalDotsPerInchY()));
  return dpi > 0 ? dpi : 96;
}

VCL_REGISTER_CLASS(TFont, [](TClassBuilder<TFont>& c) {
  c.IntIdent("Charset", &TFont::Charset, &TFont::SetCharset, CharsetIdents(), DEFAULT_CHARSET);
  c.IntIdent("Color", &TFont::Color, &TFont::SetColor, ColorIdents(), clWindowText);
  c.Prop("Height", &TFont::Height, &TFont::SetHeight).NoDefault();
  c.Prop("Name", &TFont::Name, &TFont::SetName).NoDefault();
  c.Enum("Pitch", &TFont::Pitch, &TFont::SetPitch, {"fpDefault", "fpVariable", "fpFixed"},
         fpDefault);
  c.Set("Style", &TFont::Style, &TFont::SetStyle,
        {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"})
      .NoDefault();
})

TFont::TFont() : FPixelsPerInch(ScreenLogicalPixelsPerInch()) {}

TFont::~TFont() = default;

void TFont::Changed() {
  if (FUpdating == 0 && FOnChange) FOnChange(this);
}

void TFont::SetName(const std::string& Value) {
  if (Value.empty() || FName == Value) return;
  FName = Value;
  Changed();
}

void TFont::SetHeight(int Value) {
  if (FHeight == Value) return;
  FHeight = Value;
  Changed();
}

int TFont::Size() const {
  return -static_cast<int>(std::lround(static_cast<double>(FHeight) * 72.0 / FPixelsPerInch));
}

void TFont::SetSize(int Value) {
  SetHeight(-static_cast<int>(std::lround(static_cast<double>(Value) * FPixelsPerInch / 72.0)));
}

void TFont::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  Changed();
}

void TFont::SetCharset(TFontCharset Value) {
  if (FCharset == Value) return;
  FCharset = Value;
  Changed();
}

void TFont::SetStyle(TFontStyles Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}

void TFont::SetPitch(TFontPitch Value) {
  if (FPitch == Value) return;
  FPitch = Value;
  Changed();
}

bool TFont::Equals(const TFont& Other) const {
  return FName == Other.FName && FHeight == Other.FHeight && FColor == Other.FColor &&
         FCharset == Other.FCharset && FStyle == Other.FStyle && FPitch == Other.FPitch;
}

void TFont::Assign(TPersistent* Source) {
  auto* font = dynamic_cast<TFont*>(Source);
  if (font == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (font == this || Equals(*font)) return;
  ++FUpdating;
  FName = font->FName;
  // Keep the size in points when the two fonts count at different resolutions.
  FHeight = font->FPixelsPerInch == FPixelsPerInch
                ? font->FHeight
                : static_cast<int>(std::lround(static_cast<double>(font->FHeight) * FPixelsPerInch /
                                               font->FPixelsPerInch));
  FColor = font->FColor;
  FCharset = font->FCharset;
  FStyle = font->FStyle;
  FPitch = font->FPitch;
  --FUpdating;
  Changed();
}

QFont TFont::ToQFont() const {
  QFont font(QString::fromStdString(FName));
  if (FPitch == fpFixed) font.setFixedPitch(true);
  if (FPitch == fpFixed) font.setStyleHint(QFont::Monospace);
  font.setBold(FStyle.Contains(fsBold));
  font.setItalic(FStyle.Contains(fsItalic));
  font.setUnderline(FStyle.Contains(fsUnderline));
  font.setStrikeOut(FStyle.Contains(fsStrikeOut));
  if (FHeight < 0) {
    // The character height without internal leading: Qt's pixel size.
    font.setPixelSize(-FHeight);
  } else if (FHeight > 0) {
    // The cell height (with internal leading): find the pixel size whose line is that high.
    font.setPixelSize(FHeight);
    if (QCoreApplication::instance() != nullptr) {
      const int line = QFontMetrics(font).height();
      if (line > FHeight) font.setPixelSize(std::max(1, FHeight * FHeight / line));
    }
  }
  return font;
}
