// Helpers shared by the window tests: a Qt application on the offscreen platform, recorded
// message boxes, simulated mouse and key input, and pixel sampling of grabbed widgets.
#pragma once

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <cstdlib>

#include "ui/forms/Forms.h"
#include "ui/forms/MessageBoxes.h"

namespace qt_test {

// Makes sure the framework's Qt application exists (offscreen unless the caller chose).
inline void EnsureApplication() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application->Initialize();
}

inline void SendMouseClick(QWidget* widget, QPoint at = QPoint(-1, -1)) {
  if (at.x() < 0) at = widget->rect().center();
  const QPointF local(at);
  const QPointF global(widget->mapToGlobal(at));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

inline void SendKey(QWidget* widget, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? " " : QString());
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier,
                    key == Qt::Key_Space ? " " : QString());
  QApplication::sendEvent(widget, &release);
}

inline QImage Grab(QWidget* widget) {
  return widget->grab().toImage();
}

// True when the two colours differ by at most `tolerance` in every channel.
inline bool Near(const QColor& a, const QColor& b, int tolerance = 8) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

// Records the message boxes shown while it lives.
class RecordedBoxes {
 public:
  RecordedBoxes() : FScope(&FBoxes) {}
  RecordingMessageBoxes& Boxes() { return FBoxes; }
  const std::vector<MessageBoxRequest>& Requests() const { return FBoxes.Requests(); }

 private:
  RecordingMessageBoxes FBoxes;
  ScopedMessageBoxes FScope;
};

}  // namespace qt_test
