// Message boxes: the QMessageBox implementation, the recording one for tests and the global
// selection between them.
#include "ui/forms/MessageBoxes.h"

#include <QMessageBox>
#include <QString>

namespace {

QtMessageBoxes& RealMessageBoxes() {
  static QtMessageBoxes boxes;
  return boxes;
}

IMessageBoxes* gCurrent = nullptr;

QMessageBox::Icon ToQtIcon(MessageBoxIcon icon) {
  switch (icon) {
    case MessageBoxIcon::Error:
      return QMessageBox::Critical;
    case MessageBoxIcon::Warning:
      return QMessageBox::Warning;
    case MessageBoxIcon::Information:
      return QMessageBox::Information;
    case MessageBoxIcon::Question:
      return QMessageBox::Question;
    case MessageBoxIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

struct ButtonAnswer {
  QMessageBox::StandardButton button;
  MessageBoxResult result;
};

std::vector<ButtonAnswer> ButtonsOf(MessageBoxButtons buttons) {
  using B = QMessageBox;
  using R = MessageBoxResult;
  switch (buttons) {
    case MessageBoxButtons::Ok:
      return {{B::Ok, R::Ok}};
    case MessageBoxButtons::OkCancel:
      return {{B::Ok, R::Ok}, {B::Cancel, R::Cancel}};
    case MessageBoxButtons::AbortRetryIgnore:
      return {{B::Abort, R::Abort}, {B::Retry, R::Retry}, {B::Ignore, R::Ignore}};
    case MessageBoxButtons::YesNoCancel:
      return {{B::Yes, R::Yes}, {B::No, R::No}, {B::Cancel, R::Cancel}};
    case MessageBoxButtons::YesNo:
      return {{B::Yes, R::Yes}, {B::No, R::No}};
    case MessageBoxButtons::RetryCancel:
      return {{B::Retry, R::Retry}, {B::Cancel, R::Cancel}};
  }
  return {{B::Ok, R::Ok}};
}

}  // namespace

MessageBoxResult QtMessageBoxes::Show(const MessageBoxRequest& request) {
  QMessageBox box(ToQtIcon(request.Icon), QString::fromStdString(request.Title),
                  QString::fromStdString(request.Text), QMessageBox::NoButton, request.Owner);
  const std::vector<ButtonAnswer> answers = ButtonsOf(request.Buttons);
  QMessageBox::StandardButtons standard;
  for (const ButtonAnswer& a : answers) standard |= a.button;
  box.setStandardButtons(standard);
  box.setDefaultButton(answers.front().button);
  if (request.TaskModal || request.Owner == nullptr) box.setWindowModality(Qt::ApplicationModal);
  const int clicked = box.exec();
  for (const ButtonAnswer& a : answers) {
    if (clicked == a.button) return a.result;
  }
  // Closed through the title bar or Escape: the box's cancelling answer, or its only button.
  for (const ButtonAnswer& a : answers) {
    if (a.result == MessageBoxResult::Cancel || a.result == MessageBoxResult::No) return a.result;
  }
  return answers.front().result;
}

MessageBoxResult RecordingMessageBoxes::Show(const MessageBoxRequest& request) {
  FRequests.push_back(request);
  if (!FAnswers.empty()) {
    const MessageBoxResult answer = FAnswers.front();
    FAnswers.pop_front();
    return answer;
  }
  return FDefaultAnswer;
}

IMessageBoxes& MessageBoxes() {
  return gCurrent != nullptr ? *gCurrent : RealMessageBoxes();
}

void SetMessageBoxes(IMessageBoxes* boxes) {
  gCurrent = boxes;
}

ScopedMessageBoxes::ScopedMessageBoxes(IMessageBoxes* boxes) : FPrevious(gCurrent) {
  SetMessageBoxes(boxes);
}

ScopedMessageBoxes::~ScopedMessageBoxes() {
  SetMessageBoxes(FPrevious);
}
