// TcxButton: the painted push button of the look-and-feel layer. Its face colour comes from
// Colors.Normal (hot and pressed faces are derived from it unless set), its caption is centred
// and wraps inside the button when WordWrap is set, it shows a focus rectangle, takes the
// keyboard focus in its TabOrder, and clicks on mouse release, Space or Enter.
#pragma once

#include "ui/cx/cxButtonWidget.h"
#include "ui/forms/Controls.h"

class TcxButton;

// The face colours of a button. clDefault (the default of each) means: Normal is the system's
// button face, Hot a lighter and Pressed a darker shade of Normal, Disabled a greyed Normal.
class TcxButtonColors : public TPersistent {
  VCL_DECLARE_CLASS(TcxButtonColors, TPersistent)

 public:
  explicit TcxButtonColors(TcxButton* AOwner = nullptr);

  TColor Normal() const { return FNormal; }
  void SetNormal(TColor Value);
  TColor Hot() const { return FHot; }
  void SetHot(TColor Value);
  TColor Pressed() const { return FPressed; }
  void SetPressed(TColor Value);
  TColor Disabled() const { return FDisabled; }
  void SetDisabled(TColor Value);

  // The four faces with the defaults resolved.
  TcxButtonFaces Resolve() const;

  void Assign(TPersistent* Source) override;
  TPersistent* GetOwner() override;

 private:
  void Changed();

  TcxButton* FOwner;
  TColor FNormal = clDefault;
  TColor FHot = clDefault;
  TColor FPressed = clDefault;
  TColor FDisabled = clDefault;
};

class TcxButton : public TWinControl {
  VCL_DECLARE_CLASS(TcxButton, TWinControl)

 public:
  explicit TcxButton(TComponent* AOwner);
  ~TcxButton() override;

  TcxButtonColors* Colors() const { return FColors.get(); }
  void SetColors(TcxButtonColors* Value) { FColors->Assign(Value); }
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);

  TcxButtonWidget* ButtonWidget() const { return static_cast<TcxButtonWidget*>(Widget()); }

  // Simulates a user's click: OnClick with exceptions going to the exception display.
  void PerformClick() { DispatchClick(); }

  // Called by TcxButtonColors when a colour changed.
  void ColorsChanged();

 protected:
  void CaptionChanged() override;
  void FontChanged() override;

 private:
  std::unique_ptr<TcxButtonColors> FColors;
  bool FWordWrap = false;
};
