// The Qt widget behind TcxButton: a push button that paints itself. It knows only Qt: the
// component (cxButtons.h) resolves its colours and caption and pushes them here, and receives
// the click through a callback. The widget never lets an exception reach Qt: the callback is the
// component's guarded click dispatch.
#pragma once

#include <QAbstractButton>
#include <QColor>

#include <functional>

// The faces a button paints in its four states.
struct TcxButtonFaces {
  QColor Normal;
  QColor Hot;
  QColor Pressed;
  QColor Disabled;
};

// How the widget looks at one moment, for painting and for tests.
enum class TcxButtonState { Normal, Hot, Pressed, Disabled };

class TcxButtonWidget : public QAbstractButton {
 public:
  explicit TcxButtonWidget(QWidget* parent = nullptr);

  void SetFaces(const TcxButtonFaces& faces);
  const TcxButtonFaces& Faces() const { return FFaces; }
  void SetTextColor(const QColor& color);
  void SetWordWrap(bool wordWrap);
  bool WordWrap() const { return FWordWrap; }
  // Called once per click (mouse, Space or Enter).
  void SetClickHandler(std::function<void()> handler) { FClickHandler = std::move(handler); }

  TcxButtonState State() const;
  QColor FaceColor() const;
  // The rectangle the caption is laid out in, and the one it actually needs with the current
  // font and wrapping (centred inside the first).
  QRect CaptionRect() const;
  QRect CaptionBoundingRect() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int CaptionFlags() const;

  TcxButtonFaces FFaces;
  QColor FTextColor = Qt::black;
  bool FWordWrap = false;
  bool FHot = false;
  std::function<void()> FClickHandler;
};

// Derived faces when only the normal face is given: hover lighter, pressed darker, disabled a
// greyed blend towards the window colour.
QColor DeriveHotFace(const QColor& normal);
QColor DerivePressedFace(const QColor& normal);
QColor DeriveDisabledFace(const QColor& normal);
