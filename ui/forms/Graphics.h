// Fonts of the window framework. A TFont is a persistent value object (streamed as Font.Name,
// Font.Height, ...) that controls own; it turns itself into a QFont and a text colour for the
// widgets. The size is kept as Height in pixels (negative: the character height without the
// internal leading, the usual form) and shown as Size in points at the font's PixelsPerInch.
#pragma once

#include <QFont>

#include <cstdint>
#include <string>

#include "ui/classes/Classes.h"
#include "ui/forms/Colors.h"

using TFontCharset = uint8_t;

constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SYMBOL_CHARSET = 2;
constexpr TFontCharset MAC_CHARSET = 77;
constexpr TFontCharset SHIFTJIS_CHARSET = 128;
constexpr TFontCharset HANGEUL_CHARSET = 129;
constexpr TFontCharset JOHAB_CHARSET = 130;
constexpr TFontCharset GB2312_CHARSET = 134;
constexpr TFontCharset CHINESEBIG5_CHARSET = 136;
constexpr TFontCharset GREEK_CHARSET = 161;
constexpr TFontCharset TURKISH_CHARSET = 162;
constexpr TFontCharset VIETNAMESE_CHARSET = 163;
constexpr TFontCharset HEBREW_CHARSET = 177;
constexpr TFontCharset ARABIC_CHARSET = 178;
constexpr TFontCharset BALTIC_CHARSET = 186;
constexpr TFontCharset RUSSIAN_CHARSET = 204;
constexpr TFontCharset THAI_CHARSET = 222;
constexpr TFontCharset EASTEUROPE_CHARSET = 238;
constexpr TFontCharset OEM_CHARSET = 255;

// The charset identifiers of stored descriptions ("DEFAULT_CHARSET", ...).
const TIdentMap& CharsetIdents();

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;

enum TFontPitch { fpDefault, fpVariable, fpFixed };

// The logical resolution of the primary screen (96 when there is none).
int ScreenLogicalPixelsPerInch();

class TFont : public TPersistent {
  VCL_DECLARE_CLASS(TFont, TPersistent)

 public:
  TFont();
  ~TFont() override;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  int Height() const { return FHeight; }
  void SetHeight(int Value);
  // Points at PixelsPerInch: Size = -Height * 72 / PixelsPerInch (rounded).
  int Size() const;
  void SetSize(int Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TFontCharset Charset() const { return FCharset; }
  void SetCharset(TFontCharset Value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles Value);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch Value);
  // The resolution Size is counted at; the screen's when the font is made.
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int Value) { FPixelsPerInch = Value > 0 ? Value : 96; }

  // Called after every change of a property (not while inside BeginUpdate/EndUpdate).
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }

  void Assign(TPersistent* Source) override;
  bool Equals(const TFont& Other) const;

  QFont ToQFont() const;

 private:
  void Changed();

  std::string FName = "Tahoma";
  int FHeight = -11;
  TColor FColor = clWindowText;
  TFontCharset FCharset = DEFAULT_CHARSET;
  TFontStyles FStyle;
  TFontPitch FPitch = fpDefault;
  int FPixelsPerInch = 96;
  int FUpdating = 0;
  TNotifyEvent FOnChange;
};
