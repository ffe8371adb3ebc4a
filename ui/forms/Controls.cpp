// TControl and TWinControl: property state, its mapping onto the widget, parent/child links,
// font and colour inheritance, focus order and scaling.
#include "ui/forms/Controls.h"

#include <QPalette>

#include <algorithm>
#include <cmath>

#include "ui/forms/Forms.h"

namespace {

int MulDiv(int value, int m, int d) {
  return d == 0 ? value
                : static_cast<int>(
                      std::lround(static_cast<double>(value) * m / static_cast<double>(d)));
}

}  // namespace

VCL_REGISTER_CLASS(TControl, [](TClassBuilder<TControl>& c) {
  c.Prop("Left", &TControl::Left, &TControl::SetLeft).NoDefault();
  c.Prop("Top", &TControl::Top, &TControl::SetTop).NoDefault();
  c.Prop("Width", &TControl::Width, &TControl::SetWidth).NoDefault();
  c.Prop("Height", &TControl::Height, &TControl::SetHeight).NoDefault();
  c.Prop("Caption", &TControl::Caption, &TControl::SetCaption);
  c.IntIdent("Color", &TControl::Color, &TControl::SetColor, ColorIdents(), clWindow)
      .Stored(&TControl::IsColorStored);
  c.Prop("Enabled", &TControl::Enabled, &TControl::SetEnabled, true);
  c.Object("Font", &TControl::Font).Stored(&TControl::IsFontStored);
  c.Prop("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, false);
  c.Prop("ParentFont", &TControl::ParentFont, &TControl::SetParentFont, true);
  c.Prop("Visible", &TControl::Visible, &TControl::SetVisible, true);
  c.Event("OnClick", &TControl::OnClick, &TControl::SetOnClick);
})

VCL_REGISTER_CLASS(TWinControl, [](TClassBuilder<TWinControl>& c) {
  c.Prop("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder, -1);
  c.Prop("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop, true);
})

// ---------------------------------------------------------------------------------------------
// TControl

TControl::TControl(TComponent* AOwner) : TControl(AOwner, new QWidget) {}

TControl::TControl(TComponent* AOwner, QWidget* AWidget)
    : TComponent(AOwner), FFont(std::make_unique<TFont>()) {
  FFont->SetOnChange([this](TObject*) { FontPropertyChanged(); });
  FWidget = AWidget;
  FWidth = AWidget->width();
  FHeight = AWidget->height();
  FontChanged();
  ColorChanged();
  AWidget->setEnabled(FEnabled);
}

TControl::~TControl() {
  if (FParent != nullptr) FParent->RemoveControl(this);
  FParent = nullptr;
  delete FWidget.data();
}

void TControl::FontPropertyChanged() {
  // A font set on the control itself stops following the parent's.
  if (!FAdoptingParentFont) FParentFont = false;
  FontChanged();
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this)
    throw EInvalidOperation("Ein Steuerelement kann nicht sein eigener Parent sein");
  if (FParent != nullptr) FParent->RemoveControl(this);
  FParent = AParent;
  if (QWidget* widget = Widget()) {
    widget->setParent(AParent != nullptr ? AParent->Widget() : nullptr);
  }
  if (AParent != nullptr) AParent->InsertControl(this);
  ApplyBounds();
  ApplyVisible();
  if (FParentFont) ParentFontChanged();
  if (FParentColor) ParentColorChanged();
}

TComponent* TControl::GetParentComponent() {
  return FParent;
}

void TControl::SetParentComponent(TComponent* Value) {
  if (auto* parent = dynamic_cast<TWinControl*>(Value)) SetParent(parent);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(0, AWidth);
  AHeight = std::max(0, AHeight);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
  ApplyBounds();
}

void TControl::ApplyBounds() {
  if (Widget() != nullptr) BoundsChanged();
}

void TControl::BoundsChanged() {
  Widget()->setGeometry(FLeft, FTop, FWidth, FHeight);
}

void TControl::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  ApplyVisible();
}

void TControl::ApplyVisible() {
  // A control without parent stays hidden: showing it would open a window of its own.
  if (Widget() != nullptr && FParent != nullptr) Widget()->setVisible(FVisible);
}

void TControl::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  if (Widget() != nullptr) Widget()->setEnabled(Value);
}

void TControl::SetParentFont(bool Value) {
  if (FParentFont == Value) return;
  FParentFont = Value;
  if (Value) ParentFontChanged();
}

void TControl::ParentFontChanged() {
  if (!FParentFont || FParent == nullptr) return;
  FAdoptingParentFont = true;
  FFont->Assign(FParent->Font());
  FAdoptingParentFont = false;
}

void TControl::FontChanged() {
  QWidget* widget = Widget();
  if (widget == nullptr) return;
  widget->setFont(FFont->ToQFont());
  QPalette palette = widget->palette();
  const QColor text = ColorToQColor(FFont->Color());
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Text, text);
  widget->setPalette(palette);
}

void TControl::SetColor(TColor Value) {
  if (!FAdoptingParentColor) FParentColor = false;
  AssignColor(Value);
}

void TControl::AssignColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  ColorChanged();
}

void TControl::SetParentColor(bool Value) {
  if (FParentColor == Value) return;
  FParentColor = Value;
  if (Value) ParentColorChanged();
}

void TControl::ParentColorChanged() {
  if (!FParentColor || FParent == nullptr) return;
  FAdoptingParentColor = true;
  AssignColor(FParent->Color());
  FAdoptingParentColor = false;
}

void TControl::ColorChanged() {
  QWidget* widget = Widget();
  if (widget == nullptr) return;
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, ColorToQColor(FColor));
  widget->setPalette(palette);
  widget->setAutoFillBackground(FColor != clNone);
}

void TControl::SetCaption(const std::string& Value) {
  if (FCaption == Value) return;
  FCaption = Value;
  CaptionChanged();
}

void TControl::Click() {
  if (FOnClick) FOnClick(this);
}

void TControl::DispatchClick() {
  try {
    Click();
  } catch (...) {
    Application->HandleException(this);
  }
}

void TControl::ScaleBy(int M, int D) {
  if (M == D || D == 0) return;
  ChangeScale(M, D);
}

void TControl::ChangeScale(int M, int D) {
  SetBounds(MulDiv(FLeft, M, D), MulDiv(FTop, M, D), MulDiv(FWidth, M, D), MulDiv(FHeight, M, D));
  if (!FParentFont) FFont->SetHeight(MulDiv(FFont->Height(), M, D));
}

void TControl::Loaded() {
  TComponent::Loaded();
  if (FParentFont) ParentFontChanged();
  if (FParentColor) ParentColorChanged();
}

// ---------------------------------------------------------------------------------------------
// TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TWinControl(AOwner, new QWidget) {}

TWinControl::TWinControl(TComponent* AOwner, QWidget* AWidget) : TControl(AOwner, AWidget) {
  AWidget->setFocusPolicy(Qt::StrongFocus);
}

TWinControl::~TWinControl() {
  // Children that outlive this control (their owner frees them later) lose their parent, and
  // their widgets leave ours before Qt would delete them with it.
  const std::vector<TControl*> children = FControls;
  for (TControl* child : children) {
    child->FParent = nullptr;
    if (QWidget* widget = child->Widget()) {
      widget->hide();
      widget->setParent(nullptr);
    }
  }
  FControls.clear();
  FTabList.clear();
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  for (TControl* child : FControls) {
    if (child->Owner() == Root) Proc(child);
  }
  if (Root == this) {
    // Components of the root that are not controls come after the controls.
    for (int i = 0; i < ComponentCount(); ++i) {
      TComponent* component = Components(i);
      if (dynamic_cast<TControl*>(component) == nullptr) Proc(component);
    }
  }
}

void TWinControl::InsertControl(TControl* AControl) {
  FControls.push_back(AControl);
  if (auto* win = dynamic_cast<TWinControl*>(AControl)) {
    FTabList.push_back(win);
    if (win->FTabOrder >= 0) {
      win->SetTabOrder(win->FTabOrder);
    } else {
      UpdateTabChain();
    }
  }
}

void TWinControl::RemoveControl(TControl* AControl) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), AControl), FControls.end());
  FTabList.erase(std::remove(FTabList.begin(), FTabList.end(), AControl), FTabList.end());
  UpdateTabChain();
}

int TWinControl::TabOrder() const {
  if (Parent() == nullptr) return FTabOrder;
  const std::vector<TWinControl*>& list = Parent()->FTabList;
  const auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int Value) {
  FTabOrder = Value;
  TWinControl* parent = Parent();
  if (parent == nullptr) return;
  std::vector<TWinControl*>& list = parent->FTabList;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  // Out of range (or negative) places the control last.
  const size_t place = Value < 0 || static_cast<size_t>(Value) > list.size()
                           ? list.size()
                           : static_cast<size_t>(Value);
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(place), this);
  parent->UpdateTabChain();
}

void TWinControl::UpdateTabChain() {
  for (size_t i = 1; i < FTabList.size(); ++i) {
    QWidget* before = FTabList[i - 1]->Widget();
    QWidget* after = FTabList[i]->Widget();
    if (before != nullptr && after != nullptr) QWidget::setTabOrder(before, after);
  }
}

void TWinControl::SetTabStop(bool Value) {
  FTabStop = Value;
  if (Widget() != nullptr) Widget()->setFocusPolicy(Value ? Qt::StrongFocus : Qt::ClickFocus);
}

bool TWinControl::Focused() const {
  return Widget() != nullptr && Widget()->hasFocus();
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c != nullptr; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  return Widget() != nullptr;
}

void TWinControl::SetFocus() {
  if (!CanFocus())
    throw EInvalidOperation(
        "Ein deaktiviertes oder unsichtbares Fenster kann den Fokus nicht erhalten");
  Widget()->setFocus(Qt::OtherFocusReason);
}

void TWinControl::Loaded() {
  TControl::Loaded();
  // A TabOrder read before all siblings existed is put in its place now.
  if (Parent() != nullptr && FTabOrder >= 0) SetTabOrder(FTabOrder);
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* child : FControls) child->ParentFontChanged();
}

void TWinControl::ColorChanged() {
  TControl::ColorChanged();
  for (TControl* child : FControls) child->ParentColorChanged();
}

void TWinControl::ChangeScale(int M, int D) {
  TControl::ChangeScale(M, D);
  for (TControl* child : FControls) child->ChangeScale(M, D);
}
