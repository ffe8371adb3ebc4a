// Fuzz target of the stored-description reader (ui/classes TReader): the input is the text
// form of a component description like the main window's, read into a root of the window's
// shape. The data-access components are the real ones (TAdsQuery, TAdsConnection, TAdsTable
// with their nested options, SQL strings and parameter data); the window and its buttons are
// stand-ins with the same published properties, since the real ones need a window system.
// Every property kind of the reader is reachable: numbers of every width, floats, strings and
// their concatenations, identifiers and ident maps, enumerations, sets, nested objects, string
// lists, collections, binary data, component references and event handlers.
//
// The reader must answer bad input with the framework's exceptions (EReadError and the other
// Exception classes); anything else escaping, a crash, a hang or a sanitizer report is a fault.
// Connecting and opening are answered with an error by the import table, so that no input can
// make the components reach a database or write a file.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "tests/fuzz/fuzz_support.h"
#include "ui/classes/Classes.h"
#include "ui/classes/SysUtils.h"

namespace {

const TIdentMap& FuzzColors() {
  static const TIdentMap map = {
      {0x0000FF, "clRed"},        {0x00FF00, "clLime"},
      {0x000000, "clWindowText"}, {static_cast<int>(0xFF00000F), "clBtnFace"},
      {0x1FFFFFFF, "clNone"},     {0x20000000, "clDefault"}};
  return map;
}

const TIdentMap& FuzzCharsets() {
  static const TIdentMap map = {{0, "ANSI_CHARSET"}, {1, "DEFAULT_CHARSET"}, {2, "SYMBOL_CHARSET"}};
  return map;
}

enum TFuzzFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFuzzFontStyles = TSet<TFuzzFontStyle>;

class TFuzzFont : public TPersistent {
  VCL_DECLARE_CLASS(TFuzzFont, TPersistent)
 public:
  int Charset() const { return FCharset; }
  void SetCharset(int v) { FCharset = v; }
  int Color() const { return FColor; }
  void SetColor(int v) { FColor = v; }
  int Height() const { return FHeight; }
  void SetHeight(int v) { FHeight = v; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& v) { FName = v; }
  TFuzzFontStyles Style() const { return FStyle; }
  void SetStyle(TFuzzFontStyles v) { FStyle = v; }

 private:
  int FCharset = 1;
  int FColor = 0;
  int FHeight = -11;
  std::string FName = "Tahoma";
  TFuzzFontStyles FStyle;
};
VCL_REGISTER_CLASS(TFuzzFont, [](TClassBuilder<TFuzzFont>& c) {
  c.IntIdent("Charset", &TFuzzFont::Charset, &TFuzzFont::SetCharset, FuzzCharsets(), 1);
  c.IntIdent("Color", &TFuzzFont::Color, &TFuzzFont::SetColor, FuzzColors(), 0);
  c.Prop("Height", &TFuzzFont::Height, &TFuzzFont::SetHeight).NoDefault();
  c.Prop("Name", &TFuzzFont::Name, &TFuzzFont::SetName).NoDefault();
  c.Set("Style", &TFuzzFont::Style, &TFuzzFont::SetStyle,
        {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"})
      .NoDefault();
})

class TFuzzColors : public TPersistent {
  VCL_DECLARE_CLASS(TFuzzColors, TPersistent)
 public:
  int Normal() const { return FNormal; }
  void SetNormal(int v) { FNormal = v; }
  int Hot() const { return FHot; }
  void SetHot(int v) { FHot = v; }

 private:
  int FNormal = 0x20000000;
  int FHot = 0x20000000;
};
VCL_REGISTER_CLASS(TFuzzColors, [](TClassBuilder<TFuzzColors>& c) {
  c.IntIdent("Normal", &TFuzzColors::Normal, &TFuzzColors::SetNormal, FuzzColors(), 0x20000000);
  c.IntIdent("Hot", &TFuzzColors::Hot, &TFuzzColors::SetHot, FuzzColors(), 0x20000000);
})

class TcxButton;

class TFuzzItem : public TCollectionItem {
  VCL_DECLARE_CLASS(TFuzzItem, TCollectionItem)
 public:
  using TCollectionItem::TCollectionItem;
  const std::string& Text() const { return FText; }
  void SetText(const std::string& v) { FText = v; }
  int Size() const { return FSize; }
  void SetSize(int v) { FSize = v; }
  TcxButton* Target() const { return FTarget; }
  void SetTarget(TcxButton* v) { FTarget = v; }

 private:
  std::string FText;
  int FSize = 0;
  TcxButton* FTarget = nullptr;
};

enum TFuzzKind { fkPlain, fkFlat, fkOffice };
using TFuzzKinds = TSet<TFuzzKind>;

// The stand-in of the painted button, with the published properties of the real one and a few
// more of the kinds the real classes have elsewhere.
class TcxButton : public TComponent {
  VCL_DECLARE_CLASS(TcxButton, TComponent)
 public:
  explicit TcxButton(TComponent* AOwner)
      : TComponent(AOwner), FItems(this, TFuzzItem::StaticClass()) {}

  int Left() const { return FLeft; }
  void SetLeft(int v) { FLeft = v; }
  int Top() const { return FTop; }
  void SetTop(int v) { FTop = v; }
  int Width() const { return FWidth; }
  void SetWidth(int v) { FWidth = v; }
  int Height() const { return FHeight; }
  void SetHeight(int v) { FHeight = v; }
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v) { FCaption = v; }
  int TabOrder() const { return FTabOrder; }
  void SetTabOrder(int v) { FTabOrder = v; }
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v) { FWordWrap = v; }
  uint8_t Small() const { return FSmall; }
  void SetSmall(uint8_t v) { FSmall = v; }
  int64_t Big() const { return FBig; }
  void SetBig(int64_t v) { FBig = v; }
  double Ratio() const { return FRatio; }
  void SetRatio(double v) { FRatio = v; }
  TFuzzKind Kind() const { return FKind; }
  void SetKind(TFuzzKind v) { FKind = v; }
  TFuzzKinds Kinds() const { return FKinds; }
  void SetKinds(TFuzzKinds v) { FKinds = v; }
  TFuzzColors* Colors() const { return const_cast<TFuzzColors*>(&FColors); }
  TFuzzFont* Font() const { return const_cast<TFuzzFont*>(&FFont); }
  TStringList* Lines() const { return const_cast<TStringList*>(&FLines); }
  TOwnedCollection* Items() const { return const_cast<TOwnedCollection*>(&FItems); }
  TcxButton* Buddy() const { return FBuddy; }
  void SetBuddy(TcxButton* v) {
    FBuddy = v;
    if (v != nullptr) v->FreeNotification(this);
  }
  const TNotifyEvent& OnClick() const { return FOnClick; }
  void SetOnClick(TNotifyEvent v) { FOnClick = std::move(v); }

  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FBuddy) FBuddy = nullptr;
  }
  void DefineProperties(TFiler* Filer) override {
    TComponent::DefineProperties(Filer);
    Filer->DefineBinaryProperty(
        "Data",
        [this](TStream& s) {
          FData.resize(static_cast<size_t>(s.Size()));
          if (!FData.empty()) s.ReadBuffer(FData.data(), s.Size());
        },
        nullptr, false);
    Filer->DefineProperty(
        "WaitCursor",
        [](TReader& r) {
          if (r.NextValue() == vaIdent) {
            r.ReadIdent();
          } else {
            r.ReadInteger();
          }
        },
        nullptr, false);
  }

 private:
  int FLeft = 0, FTop = 0, FWidth = 75, FHeight = 25, FTabOrder = -1;
  std::string FCaption;
  bool FWordWrap = false;
  uint8_t FSmall = 0;
  int64_t FBig = 0;
  double FRatio = 0;
  TFuzzKind FKind = fkPlain;
  TFuzzKinds FKinds;
  TFuzzColors FColors;
  TFuzzFont FFont;
  TStringList FLines;
  TOwnedCollection FItems;
  TcxButton* FBuddy = nullptr;
  TNotifyEvent FOnClick;
  std::vector<uint8_t> FData;
};
VCL_REGISTER_CLASS(TcxButton, [](TClassBuilder<TcxButton>& c) {
  using T = TcxButton;
  c.Prop("Left", &T::Left, &T::SetLeft).NoDefault();
  c.Prop("Top", &T::Top, &T::SetTop).NoDefault();
  c.Prop("Width", &T::Width, &T::SetWidth).NoDefault();
  c.Prop("Height", &T::Height, &T::SetHeight).NoDefault();
  c.Prop("Caption", &T::Caption, &T::SetCaption);
  c.Prop("TabOrder", &T::TabOrder, &T::SetTabOrder, -1);
  c.Prop("WordWrap", &T::WordWrap, &T::SetWordWrap, false);
  c.Prop("Small", &T::Small, &T::SetSmall, 0);
  c.Prop("Big", &T::Big, &T::SetBig, 0);
  c.Prop("Ratio", &T::Ratio, &T::SetRatio, 0.0);
  c.Enum("Kind", &T::Kind, &T::SetKind, {"fkPlain", "fkFlat", "fkOffice"}, fkPlain);
  c.Set("Kinds", &T::Kinds, &T::SetKinds, {"fkPlain", "fkFlat", "fkOffice"});
  c.Object("Colors", &T::Colors);
  c.Object("Font", &T::Font);
  c.Strings("Lines", &T::Lines);
  c.Collection("Items", &T::Items);
  c.Ref("Buddy", &T::Buddy, &T::SetBuddy);
  c.Event("OnClick", &T::OnClick, &T::SetOnClick);
})

VCL_REGISTER_CLASS(TFuzzItem, [](TClassBuilder<TFuzzItem>& c) {
  c.Prop("Text", &TFuzzItem::Text, &TFuzzItem::SetText);
  c.Prop("Size", &TFuzzItem::Size, &TFuzzItem::SetSize, 0);
  c.Ref("Target", &TFuzzItem::Target, &TFuzzItem::SetTarget);
})

// The stand-in of the main window: its published properties, fields and handlers.
class TForm1 : public TComponent {
  VCL_DECLARE_CLASS(TForm1, TComponent)
 public:
  using TComponent::TComponent;
  ~TForm1() override { DestroyComponents(); }

  TcxButton* cxButton1 = nullptr;
  TcxButton* cxButton2 = nullptr;
  TAdsQuery* AdsQuery1 = nullptr;
  TAdsConnection* AdsConnection1 = nullptr;
  TAdsTable* AdsTableKinder = nullptr;
  void cxButton1Click(TObject*) {}
  void cxButton2Click(TObject*) {}

  int Left() const { return FLeft; }
  void SetLeft(int v) { FLeft = v; }
  int Top() const { return FTop; }
  void SetTop(int v) { FTop = v; }
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v) { FCaption = v; }
  int ClientHeight() const { return FClientHeight; }
  void SetClientHeight(int v) { FClientHeight = v; }
  int ClientWidth() const { return FClientWidth; }
  void SetClientWidth(int v) { FClientWidth = v; }
  int Color() const { return FColor; }
  void SetColor(int v) { FColor = v; }
  TFuzzFont* Font() const { return const_cast<TFuzzFont*>(&FFont); }
  bool OldCreateOrder() const { return FOldCreateOrder; }
  void SetOldCreateOrder(bool v) { FOldCreateOrder = v; }
  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int v) { FPixelsPerInch = v; }
  int TextHeight() const { return FTextHeight; }
  void SetTextHeight(int v) { FTextHeight = v; }

 private:
  int FLeft = 0, FTop = 0, FClientHeight = 0, FClientWidth = 0;
  int FColor = 0, FPixelsPerInch = 96, FTextHeight = 0;
  std::string FCaption;
  TFuzzFont FFont;
  bool FOldCreateOrder = false;
};
VCL_REGISTER_CLASS(TForm1, [](TClassBuilder<TForm1>& c) {
  using T = TForm1;
  c.Prop("Left", &T::Left, &T::SetLeft).NoDefault();
  c.Prop("Top", &T::Top, &T::SetTop).NoDefault();
  c.Prop("Caption", &T::Caption, &T::SetCaption);
  c.Prop("ClientHeight", &T::ClientHeight, &T::SetClientHeight).NoDefault();
  c.Prop("ClientWidth", &T::ClientWidth, &T::SetClientWidth).NoDefault();
  c.IntIdent("Color", &T::Color, &T::SetColor, FuzzColors(), 0);
  c.Object("Font", &T::Font);
  c.Prop("OldCreateOrder", &T::OldCreateOrder, &T::SetOldCreateOrder, false);
  c.Prop("PixelsPerInch", &T::PixelsPerInch, &T::SetPixelsPerInch).NoDefault();
  c.Prop("TextHeight", &T::TextHeight, &T::SetTextHeight, 0);
  c.Field("cxButton1", &T::cxButton1);
  c.Field("cxButton2", &T::cxButton2);
  c.Field("AdsQuery1", &T::AdsQuery1);
  c.Field("AdsConnection1", &T::AdsConnection1);
  c.Field("AdsTableKinder", &T::AdsTableKinder);
  c.Method("cxButton1Click", &T::cxButton1Click);
  c.Method("cxButton2Click", &T::cxButton2Click);
})

// The engine's entry points that reach files: they answer an error as the engine would for a
// path that does not exist.
UNSIGNED32 Refuse() {
  AdsSetLastError(5011, reinterpret_cast<const UNSIGNED8*>("no database in the fuzz target"));
  return 5011;
}

template <typename Fn>
void Unplug(Fn& entry) {
  entry = [](auto...) -> UNSIGNED32 { return Refuse(); };
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The alias file is looked for in an empty folder first (then where the program runs).
  setenv("adsini_path", fuzz::Folder().c_str(), 1);
  Unplug(Ace.AdsConnect60);
  Unplug(Ace.AdsConnect);
  Unplug(Ace.AdsOpenTable90);
  Unplug(Ace.AdsCreateTable90);
  Unplug(Ace.AdsDeleteTable);
  Unplug(Ace.AdsDDCreate);
  // The component classes that only the text names must be registered.
  RegisterClasses({TcxButton::StaticClass(), TForm1::StaticClass(), TAdsQuery::StaticClass(),
                   TAdsConnection::StaticClass(), TAdsTable::StaticClass()});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TForm1* form = new TForm1(nullptr);
  try {
    ReadComponentFromText(text, form);
  } catch (const Exception&) {
    // A clear error is the answer to bad input.
  }
  delete form;
  return 0;
}
