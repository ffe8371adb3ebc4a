// Colour identifiers and values, system colours against the palette, and TFont's size rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>

#include "ui/forms/Colors.h"
#include "ui/forms/Graphics.h"
#include "ui/forms/QtTestSupport.h"

TEST(Colors, PlainValuesAreBlueGreenRedFromHighToLow) {
  const QColor green = ColorToQColor(4259584);
  EXPECT_EQ(green, QColor(0, 255, 64));
  EXPECT_EQ(ColorToQColor(clRed), QColor(255, 0, 0));
  EXPECT_EQ(ColorToQColor(clBlue), QColor(0, 0, 255));
  EXPECT_EQ(RGBToColor(0, 255, 64), 4259584);
  EXPECT_EQ(QColorToColor(QColor(0, 255, 64)), 4259584);
}

TEST(Colors, IdentifiersAndNumbersConvertBothWays) {
  EXPECT_EQ(StringToColor("clRed"), clRed);
  EXPECT_EQ(StringToColor("CLBTNFACE"), clBtnFace);
  EXPECT_EQ(StringToColor("4259584"), 4259584);
  EXPECT_EQ(StringToColor("$00FF0000"), clBlue);
  EXPECT_EQ(ColorToString(clWindowText), "clWindowText");
  EXPECT_EQ(ColorToString(4259584), "$0040FF00");
  EXPECT_EQ(StringToColor(ColorToString(4259584)), 4259584);
  EXPECT_THROW(StringToColor("clNoSuchColour"), EConvertError);
  EXPECT_THROW(StringToColor("12x"), EConvertError);
  EXPECT_THROW(StringToColor(""), EConvertError);
}

TEST(Colors, SystemColoursFollowTheApplicationPalette) {
  qt_test::EnsureApplication();
  const QPalette palette = QApplication::palette();
  EXPECT_TRUE(IsSystemColor(clBtnFace));
  EXPECT_FALSE(IsSystemColor(clRed));
  EXPECT_EQ(ColorToQColor(clBtnFace), palette.color(QPalette::Active, QPalette::Button));
  EXPECT_EQ(ColorToQColor(clWindowText), palette.color(QPalette::Active, QPalette::WindowText));
  EXPECT_EQ(ColorToQColor(clHighlight), palette.color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(ColorToQColor(clNone).alpha(), 0);
}

TEST(Fonts, SizeAndHeightConvertAtTheFontsResolution) {
  TFont font;
  font.SetPixelsPerInch(96);
  font.SetHeight(-11);
  EXPECT_EQ(font.Size(), 8);
  font.SetSize(10);
  EXPECT_EQ(font.Height(), -13);
  font.SetPixelsPerInch(120);
  font.SetSize(8);
  EXPECT_EQ(font.Height(), -13);
}

TEST(Fonts, DefaultsAndChangeNotification) {
  TFont font;
  EXPECT_EQ(font.Name(), "Tahoma");
  EXPECT_EQ(font.Charset(), DEFAULT_CHARSET);
  EXPECT_EQ(font.Color(), clWindowText);
  EXPECT_TRUE(font.Style().Empty());
  int changes = 0;
  font.SetOnChange([&](TObject* sender) {
    EXPECT_EQ(sender, &font);
    ++changes;
  });
  font.SetStyle({fsBold});
  font.SetStyle({fsBold});  // unchanged: no notification
  font.SetName("");         // an empty name is ignored
  EXPECT_EQ(changes, 1);

  TFont other;
  other.SetName("DejaVu Sans");
  other.SetHeight(-20);
  font.Assign(&other);
  EXPECT_EQ(changes, 2);  // one notification for the whole assignment
  EXPECT_TRUE(font.Equals(other));
}

TEST(Fonts, QtFontCarriesPixelSizeAndStyle) {
  qt_test::EnsureApplication();
  TFont font;
  font.SetHeight(-11);
  font.SetStyle({fsBold, fsUnderline});
  const QFont q = font.ToQFont();
  EXPECT_EQ(q.pixelSize(), 11);
  EXPECT_TRUE(q.bold());
  EXPECT_TRUE(q.underline());
  EXPECT_FALSE(q.italic());
  EXPECT_EQ(q.family(), "Tahoma");

  // A positive height is the line height: the chosen pixel size gives no taller line.
  font.SetHeight(20);
  const QFont cell = font.ToQFont();
  EXPECT_LE(QFontMetrics(cell).height(), 20);
  EXPECT_GT(cell.pixelSize(), 10);
}
