// The one way the framework asks the user something in a message box: the exception display,
// the start-up failure box and TApplication::MessageBox all build a MessageBoxRequest and hand
// it to the current IMessageBoxes. The real implementation shows a QMessageBox; tests install a
// RecordingMessageBoxes that keeps every request and answers from a queue, so no test ever waits
// for a person. Everything here runs on the window thread.
#pragma once

#include <deque>
#include <string>
#include <vector>

class QWidget;

enum class MessageBoxIcon { None, Error, Warning, Information, Question };

enum class MessageBoxButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };

// The button a message box was closed with.
enum class MessageBoxResult { Ok = 1, Cancel, Abort, Retry, Ignore, Yes, No };

struct MessageBoxRequest {
  std::string Title;
  std::string Text;
  MessageBoxIcon Icon = MessageBoxIcon::None;
  MessageBoxButtons Buttons = MessageBoxButtons::Ok;
  // The window that owns the box (it is modal to it); nullptr for a box without owner.
  QWidget* Owner = nullptr;
  // Modal to the whole application rather than to the owner only.
  bool TaskModal = false;
};

class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // Shows the box and returns the button it was closed with. May run a nested event loop.
  virtual MessageBoxResult Show(const MessageBoxRequest& request) = 0;
};

// Shows the request as a QMessageBox and waits for the user.
class QtMessageBoxes : public IMessageBoxes {
 public:
  MessageBoxResult Show(const MessageBoxRequest& request) override;
};

// Records every request and answers it without showing anything: from the queued answers first,
// then with DefaultAnswer (Ok unless set).
class RecordingMessageBoxes : public IMessageBoxes {
 public:
  MessageBoxResult Show(const MessageBoxRequest& request) override;

  void QueueAnswer(MessageBoxResult answer) { FAnswers.push_back(answer); }
  void SetDefaultAnswer(MessageBoxResult answer) { FDefaultAnswer = answer; }
  const std::vector<MessageBoxRequest>& Requests() const { return FRequests; }
  void Clear() { FRequests.clear(); }

 private:
  std::vector<MessageBoxRequest> FRequests;
  std::deque<MessageBoxResult> FAnswers;
  MessageBoxResult FDefaultAnswer = MessageBoxResult::Ok;
};

// The implementation in use. Starts as a process-wide QtMessageBoxes.
IMessageBoxes& MessageBoxes();
// Installs an implementation (not owned; it must outlive its use); nullptr restores the real one.
void SetMessageBoxes(IMessageBoxes* boxes);

// Installs a box implementation for the lifetime of the guard and restores the previous one.
class ScopedMessageBoxes {
 public:
  explicit ScopedMessageBoxes(IMessageBoxes* boxes);
  ~ScopedMessageBoxes();
  ScopedMessageBoxes(const ScopedMessageBoxes&) = delete;
  ScopedMessageBoxes& operator=(const ScopedMessageBoxes&) = delete;

 private:
  IMessageBoxes* FPrevious;
};
