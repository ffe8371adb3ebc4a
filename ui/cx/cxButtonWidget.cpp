// Painting and input of the painted push button.
#include "ui/cx/cxButtonWidget.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>

namespace {

constexpr int kCaptionMargin = 6;  // between the border and the caption area
constexpr int kFocusInset = 3;     // the focus rectangle sits this far inside the border
constexpr qreal kCornerRadius = 3.0;

// Hot and pressed faces of a saturated colour must still differ from it: lighter() caps the
// value at full brightness and then takes saturation away instead, which is what we want.
QColor Shift(const QColor& color, int lighterFactor, int darkerFactor) {
  return lighterFactor > 0 ? color.lighter(lighterFactor) : color.darker(darkerFactor);
}

}  // namespace

QColor DeriveHotFace(const QColor& normal) {
  return Shift(normal, 125, 0);
}
QColor DerivePressedFace(const QColor& normal) {
  return Shift(normal, 0, 130);
}
QColor DeriveDisabledFace(const QColor& normal) {
  const int grey = qGray(normal.rgb());
  const QColor greyed(grey, grey, grey);
  // Halfway between the grey of the face and light grey, so a disabled button looks flat.
  return QColor((greyed.red() + 0xD8) / 2, (greyed.green() + 0xD8) / 2, (greyed.blue() + 0xD8) / 2);
}

TcxButtonWidget::TcxButtonWidget(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_Hover);
  FFaces.Normal = palette().color(QPalette::Button);
  FFaces.Hot = DeriveHotFace(FFaces.Normal);
  FFaces.Pressed = DerivePressedFace(FFaces.Normal);
  FFaces.Disabled = DeriveDisabledFace(FFaces.Normal);
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (FClickHandler) FClickHandler();
  });
}

void TcxButtonWidget::SetFaces(const TcxButtonFaces& faces) {
  FFaces = faces;
  update();
}

void TcxButtonWidget::SetTextColor(const QColor& color) {
  FTextColor = color;
  update();
}

void TcxButtonWidget::SetWordWrap(bool wordWrap) {
  if (FWordWrap == wordWrap) return;
  FWordWrap = wordWrap;
  updateGeometry();
  update();
}

TcxButtonState TcxButtonWidget::State() const {
  if (!isEnabled()) return TcxButtonState::Disabled;
  if (isDown()) return TcxButtonState::Pressed;
  if (FHot) return TcxButtonState::Hot;
  return TcxButtonState::Normal;
}

QColor TcxButtonWidget::FaceColor() const {
  switch (State()) {
    case TcxButtonState::Disabled:
      return FFaces.Disabled;
    case TcxButtonState::Pressed:
      return FFaces.Pressed;
    case TcxButtonState::Hot:
      return FFaces.Hot;
    case TcxButtonState::Normal:
      break;
  }
  return FFaces.Normal;
}

int TcxButtonWidget::CaptionFlags() const {
  int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
  if (FWordWrap) flags |= Qt::TextWordWrap;
  return flags;
}

QRect TcxButtonWidget::CaptionRect() const {
  return rect().adjusted(kCaptionMargin, kCaptionMargin, -kCaptionMargin, -kCaptionMargin);
}

QRect TcxButtonWidget::CaptionBoundingRect() const {
  return fontMetrics().boundingRect(CaptionRect(), CaptionFlags(), text());
}

QSize TcxButtonWidget::sizeHint() const {
  const QSize textSize = fontMetrics().size(Qt::TextShowMnemonic, text());
  return QSize(textSize.width() + 2 * kCaptionMargin + 8, textSize.height() + 2 * kCaptionMargin);
}

void TcxButtonWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QColor face = FaceColor();

  // Face with a one-pixel border a shade darker than the face itself.
  const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QPainterPath path;
  path.addRoundedRect(outline, kCornerRadius, kCornerRadius);
  painter.fillPath(path, face);
  painter.setPen(QPen(face.darker(170), 1.0));
  painter.drawPath(path);

  // Caption, wrapped inside the caption area when asked to, never outside it.
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setFont(font());
  QColor textColor = FTextColor;
  if (!isEnabled()) textColor = palette().color(QPalette::Disabled, QPalette::ButtonText);
  painter.setPen(textColor);
  const QRect captionRect = CaptionRect();
  painter.setClipRect(captionRect);
  QRect textRect = captionRect;
  if (isDown()) textRect.translate(1, 1);  // the caption sinks with the face
  painter.drawText(textRect, CaptionFlags(), text());
  painter.setClipping(false);

  if (hasFocus()) {
    QPen dotted(textColor, 1.0, Qt::DotLine);
    painter.setPen(dotted);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1));
  }
}

void TcxButtonWidget::enterEvent(QEnterEvent* event) {
  FHot = true;
  update();
  QAbstractButton::enterEvent(event);
}

void TcxButtonWidget::leaveEvent(QEvent* event) {
  FHot = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void TcxButtonWidget::keyPressEvent(QKeyEvent* event) {
  // Space is the base class's (press on key down, click on key up); Enter clicks at once.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
    event->accept();
    click();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void TcxButtonWidget::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) FHot = false;
  QAbstractButton::changeEvent(event);
}
