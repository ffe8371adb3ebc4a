// TcxButtonColors and TcxButton: the component side of the painted button (properties,
// streaming, colour resolution); the painting is TcxButtonWidget's.
#include "ui/cx/cxButtons.h"

VCL_REGISTER_CLASS(TcxButtonColors, [](TClassBuilder<TcxButtonColors>& c) {
  c.IntIdent("Normal", &TcxButtonColors::Normal, &TcxButtonColors::SetNormal, ColorIdents(),
             clDefault);
  c.IntIdent("Hot", &TcxButtonColors::Hot, &TcxButtonColors::SetHot, ColorIdents(), clDefault);
  c.IntIdent("Pressed", &TcxButtonColors::Pressed, &TcxButtonColors::SetPressed, ColorIdents(),
             clDefault);
  c.IntIdent("Disabled", &TcxButtonColors::Disabled, &TcxButtonColors::SetDisabled, ColorIdents(),
             clDefault);
})

VCL_REGISTER_CLASS(TcxButton, [](TClassBuilder<TcxButton>& c) {
  c.IntIdent("Color", &TcxButton::Color, &TcxButton::SetColor, ColorIdents(), clBtnFace)
      .Stored(&TcxButton::IsColorStored);
  c.Object("Colors", &TcxButton::Colors);
  c.Prop("WordWrap", &TcxButton::WordWrap, &TcxButton::SetWordWrap, false);
})

// ---------------------------------------------------------------------------------------------
// TcxButtonColors

TcxButtonColors::TcxButtonColors(TcxButton* AOwner) : FOwner(AOwner) {}

TPersistent* TcxButtonColors::GetOwner() {
  return FOwner;
}

void TcxButtonColors::Changed() {
  if (FOwner != nullptr) FOwner->ColorsChanged();
}

void TcxButtonColors::SetNormal(TColor Value) {
  if (FNormal == Value) return;
  FNormal = Value;
  Changed();
}

void TcxButtonColors::SetHot(TColor Value) {
  if (FHot == Value) return;
  FHot = Value;
  Changed();
}

void TcxButtonColors::SetPressed(TColor Value) {
  if (FPressed == Value) return;
  FPressed = Value;
  Changed();
}

void TcxButtonColors::SetDisabled(TColor Value) {
  if (FDisabled == Value) return;
  FDisabled = Value;
  Changed();
}

void TcxButtonColors::Assign(TPersistent* Source) {
  auto* colors = dynamic_cast<TcxButtonColors*>(Source);
  if (colors == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  FNormal = colors->FNormal;
  FHot = colors->FHot;
  FPressed = colors->FPressed;
  FDisabled = colors->FDisabled;
  Changed();
}

TcxButtonFaces TcxButtonColors::Resolve() const {
  TcxButtonFaces faces;
  faces.Normal = ColorToQColor(FNormal == clDefault ? clBtnFace : FNormal);
  faces.Hot = FHot == clDefault ? DeriveHotFace(faces.Normal) : ColorToQColor(FHot);
  faces.Pressed = FPressed == clDefault ? DerivePressedFace(faces.Normal) : ColorToQColor(FPressed);
  faces.Disabled =
      FDisabled == clDefault ? DeriveDisabledFace(faces.Normal) : ColorToQColor(FDisabled);
  return faces;
}

// ---------------------------------------------------------------------------------------------
// TcxButton

TcxButton::TcxButton(TComponent* AOwner)
    : TWinControl(AOwner, new TcxButtonWidget), FColors(std::make_unique<TcxButtonColors>(this)) {
  SetBounds(0, 0, 75, 25);
  SetColor(clBtnFace);
  ButtonWidget()->SetClickHandler([this] { DispatchClick(); });
  ColorsChanged();
  FontChanged();
}

TcxButton::~TcxButton() {
  if (ButtonWidget() != nullptr) ButtonWidget()->SetClickHandler(nullptr);
}

void TcxButton::SetWordWrap(bool Value) {
  FWordWrap = Value;
  if (ButtonWidget() != nullptr) ButtonWidget()->SetWordWrap(Value);
}

void TcxButton::ColorsChanged() {
  if (ButtonWidget() != nullptr && FColors) ButtonWidget()->SetFaces(FColors->Resolve());
}

void TcxButton::CaptionChanged() {
  if (ButtonWidget() != nullptr) ButtonWidget()->setText(QString::fromStdString(Caption()));
}

void TcxButton::FontChanged() {
  TWinControl::FontChanged();
  if (ButtonWidget() != nullptr) ButtonWidget()->SetTextColor(ColorToQColor(Font()->Color()));
}
