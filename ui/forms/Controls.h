// Visual controls: TControl (position, size, visibility, font, colour, caption, click) and
// TWinControl (a control that can hold others and take the keyboard focus in its TabOrder).
// Every control is backed by one QWidget that it owns; the control's properties are kept in
// the control and pushed to the widget, so they can be set (e.g. while a stored description is
// read) in any order, before or after the control has a parent.
//
// Ownership: the component owner (usually the form) frees the control; the parent only shows
// it. A parent that goes first detaches its remaining children's widgets, so a control never
// holds a widget that Qt has deleted. Threads: the window thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "ui/classes/Classes.h"
#include "ui/forms/Colors.h"
#include "ui/forms/Graphics.h"

class TWinControl;

class TControl : public TComponent {
  VCL_DECLARE_CLASS(TControl, TComponent)

 public:
  // A control shown by a plain QWidget.
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  // The widget that shows the control; nullptr only after Qt destroyed it with a parent window.
  QWidget* Widget() const { return FWidget.data(); }

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);

  virtual int Left() const { return FLeft; }
  void SetLeft(int Value) { SetBounds(Value, Top(), Width(), Height()); }
  virtual int Top() const { return FTop; }
  void SetTop(int Value) { SetBounds(Left(), Value, Width(), Height()); }
  virtual int Width() const { return FWidth; }
  void SetWidth(int Value) { SetBounds(Left(), Top(), Value, Height()); }
  virtual int Height() const { return FHeight; }
  void SetHeight(int Value) { SetBounds(Left(), Top(), Width(), Value); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  // The inner area; for plain controls the same as Width x Height.
  virtual int ClientWidth() const { return Width(); }
  virtual void SetClientWidth(int Value) { SetWidth(Value); }
  virtual int ClientHeight() const { return Height(); }
  virtual void SetClientHeight(int Value) { SetHeight(Value); }

  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);

  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* Value) { FFont->Assign(Value); }
  // True: the control uses its parent's font and follows its changes.
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  // Stored predicates of the property table: a font or colour taken from the parent is not
  // written.
  bool IsFontStored() const { return !FParentFont; }
  bool IsColorStored() const { return !FParentColor; }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);

  const TNotifyEvent& OnClick() const { return FOnClick; }
  void SetOnClick(TNotifyEvent Value) { FOnClick = std::move(Value); }
  // Runs OnClick. Exceptions leave Click() itself; the widgets call DispatchClick() instead.
  virtual void Click();
  // What a widget calls for a user's click: Click() with any exception handed to the
  // application's exception display, so that no exception ever reaches Qt's event loop.
  void DispatchClick();

  // Scales position, size and (unless taken from the parent) the font by M/D.
  void ScaleBy(int M, int D);

  // The reader attaches controls read inside a window control to it.
  bool HasParent() override { return true; }
  TComponent* GetParentComponent() override;
  void SetParentComponent(TComponent* Value) override;

 protected:
  // A control shown by AWidget (taken over; made by the subclass, e.g. `new TcxButtonWidget`).
  // The base pushes its state to the widget; a subclass pushes its own in its constructor.
  TControl(TComponent* AOwner, QWidget* AWidget);
  virtual void ChangeScale(int M, int D);

  // Hooks for subclasses, called after the property changed.
  virtual void CaptionChanged() {}
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void BoundsChanged();
  // Pushes the parent's font/colour when ParentFont/ParentColor is set.
  void ParentFontChanged();
  void ParentColorChanged();

  void Loaded() override;

  bool FVisible = true;

 private:
  friend class TWinControl;
  void ApplyBounds();
  void ApplyVisible();
  void AssignColor(TColor Value);
  void FontPropertyChanged();

  QPointer<QWidget> FWidget;
  TWinControl* FParent = nullptr;
  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FEnabled = true;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  bool FAdoptingParentFont = false;
  TColor FColor = clWindow;
  bool FParentColor = false;
  bool FAdoptingParentColor = false;
  std::string FCaption;
  TNotifyEvent FOnClick;
};

class TWinControl : public TControl {
  VCL_DECLARE_CLASS(TWinControl, TControl)

 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The writer writes the child controls that the root owns nested inside their parent.
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;

  // The controls shown inside this one, in the order they were parented.
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const { return FControls.at(static_cast<size_t>(Index)); }

  // Position in the parent's focus order, 0-based; -1 without parent. Setting it moves the
  // control there and renumbers its siblings, as the keyboard's Tab key walks them.
  int TabOrder() const;
  void SetTabOrder(int Value);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value);
  // The child window controls in focus order.
  std::vector<TWinControl*> TabList() const { return FTabList; }

  bool Focused() const;
  bool CanFocus() const;
  void SetFocus();

 protected:
  TWinControl(TComponent* AOwner, QWidget* AWidget);
  void Loaded() override;
  void FontChanged() override;
  void ColorChanged() override;
  void ChangeScale(int M, int D) override;

 private:
  friend class TControl;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  void UpdateTabChain();

  std::vector<TControl*> FControls;
  std::vector<TWinControl*> FTabList;
  int FTabOrder = -1;  // the wish, kept until the control has a parent
  bool FTabStop = true;
};
