// Forms and the application object.
//
//  - TCustomForm / TForm: a top-level window (a QWidget without parent) with the streamed form
//    values: Caption, ClientWidth/ClientHeight, Color, Font, PixelsPerInch (the form is scaled
//    when the screen's logical resolution differs), Left/Top with Position, BorderStyle,
//    BorderIcons, and the accepted-but-inert OldCreateOrder and TextHeight.
//  - Form descriptions are registered by resource name (the upper-case class name, "TFORM1")
//    with RegisterFormResource; TApplication::CreateForm constructs a form and reads its
//    description into it.
//  - TApplication (global `Application`): initialises Qt, creates the forms, runs the event loop
//    until Terminate, and shows exceptions that leave event handlers in the exception display.
//
// Threads: the window thread only. Ownership: forms created by CreateForm belong to Application
// (a TComponent) and are destroyed by Application->DestroyComponents() or with it.
#pragma once

#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/classes/Classes.h"
#include "ui/forms/Controls.h"
#include "ui/forms/ExceptionDisplay.h"
#include "ui/forms/MessageBoxes.h"

class QApplication;
class QEventLoop;

enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;

// ---------------------------------------------------------------------------------------------
// Form descriptions embedded in the program.

// Registers the text of a form description under a resource name (case-insensitive). A second
// registration of the same name replaces the first. Call from a static initialiser.
void RegisterFormResource(const std::string& ResourceName, const std::string& Text);
// The registered text, or nullptr.
const std::string* FindFormResource(const std::string& ResourceName);

VCL_DECLARE_EXCEPTION(EResNotFound, Exception)

// ---------------------------------------------------------------------------------------------
// TCustomForm

class TCustomForm : public TWinControl {
  VCL_DECLARE_CLASS(TCustomForm, TWinControl)

 public:
  // An empty form; its description (if any) is read by ReadDescription or CreateForm.
  explicit TCustomForm(TComponent* AOwner);
  // Destroys the owned components (in reverse creation order) before the window goes.
  ~TCustomForm() override;

  // Reads the description registered under the upper-case class name into this form. Raises
  // EResNotFound when there is none, and the reader's errors.
  void ReadDescription();

  int Left() const override;
  int Top() const override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  int Width() const override;
  int Height() const override;
  int ClientWidth() const override;
  void SetClientWidth(int Value) override;
  int ClientHeight() const override;
  void SetClientHeight(int Value) override;

  void SetVisible(bool Value) override;
  // Shows and raises the window (placing it on first show).
  void ShowForm();
  // Hides the form; closing the main form terminates the application.
  void Close();
  bool Active() const;

  int PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int Value);
  bool Scaled() const { return FScaled; }
  void SetScaled(bool Value) { FScaled = Value; }
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value);
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value);
  // Kept for stored descriptions; OnCreate always runs after the description was read.
  bool OldCreateOrder() const { return FOldCreateOrder; }
  void SetOldCreateOrder(bool Value) { FOldCreateOrder = Value; }
  // The designer's text height; kept for stored descriptions, no effect on the layout.
  int TextHeight() const { return FTextHeight; }
  void SetTextHeight(int Value) { FTextHeight = Value; }

  const TNotifyEvent& OnCreate() const { return FOnCreate; }
  void SetOnCreate(TNotifyEvent Value) { FOnCreate = std::move(Value); }
  const TNotifyEvent& OnDestroy() const { return FOnDestroy; }
  void SetOnDestroy(TNotifyEvent Value) { FOnDestroy = std::move(Value); }
  const TNotifyEvent& OnShow() const { return FOnShow; }
  void SetOnShow(TNotifyEvent Value) { FOnShow = std::move(Value); }
  const TNotifyEvent& OnClose() const { return FOnClose; }
  void SetOnClose(TNotifyEvent Value) { FOnClose = std::move(Value); }

  // Runs OnCreate (called by CreateForm once the description is read).
  void DoCreate();

  // Called by the window when the user closes it.
  void WindowClosed();
  void WindowShown();

 protected:
  void ReadState(TReader& Reader) override;
  void CaptionChanged() override;
  void BoundsChanged() override;
  void ChangeScale(int M, int D) override;

 private:
  static QWidget* CreateWindowWidget(TCustomForm* Form);
  void ApplyWindowFlags();
  void PlaceOnFirstShow();
  // Frame size beyond the client area (0 until the window system has framed the window).
  QSize FrameExtra() const;
  void Guarded(const TNotifyEvent& Event);

  int FPixelsPerInch = 96;
  bool FScaled = true;
  TPosition FPosition = poDefaultPosOnly;
  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
  bool FOldCreateOrder = false;
  int FTextHeight = 0;
  bool FPlaced = false;
  TNotifyEvent FOnCreate;
  TNotifyEvent FOnDestroy;
  TNotifyEvent FOnShow;
  TNotifyEvent FOnClose;
};

class TForm : public TCustomForm {
  VCL_DECLARE_CLASS(TForm, TCustomForm)

 public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// ---------------------------------------------------------------------------------------------
// TScreen: the forms that exist and the screen they are shown on.

class TScreen {
 public:
  int PixelsPerInch() const { return ScreenLogicalPixelsPerInch(); }
  int Width() const;
  int Height() const;
  int FormCount() const { return static_cast<int>(FForms.size()); }
  TCustomForm* Forms(int Index) const { return FForms.at(static_cast<size_t>(Index)); }
  // The form whose window is active, or nullptr.
  TCustomForm* ActiveForm() const;

 private:
  friend class TCustomForm;
  std::vector<TCustomForm*> FForms;
};

extern TScreen* const Screen;

// ---------------------------------------------------------------------------------------------
// TApplication

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

class TApplication : public TComponent {
  VCL_DECLARE_CLASS(TApplication, TComponent)

 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  // Makes sure a Qt GUI application exists (creating our own when none does). Idempotent.
  void Initialize();
  bool MainFormOnTaskBar() const { return FMainFormOnTaskBar; }
  void SetMainFormOnTaskBar(bool Value) { FMainFormOnTaskBar = Value; }
  bool ShowMainForm() const { return FShowMainForm; }
  void SetShowMainForm(bool Value) { FShowMainForm = Value; }

  // Creates a T owned by the application, stores it in *Reference, reads its description and
  // runs its OnCreate. *Reference is not cleared when the form is destroyed later: a form class
  // whose global variable must not dangle clears it in its destructor. The first form created
  // becomes the main form. When anything raises, the half-built form is deleted, *Reference is
  // cleared and the exception propagates.
  template <class T>
  void CreateForm(T** Reference) {
    Initialize();
    std::unique_ptr<T> form(new T(this));
    *Reference = form.get();
    try {
      FinishCreateForm(form.get());
    } catch (...) {
      *Reference = nullptr;
      form.reset();
      throw;
    }
    form.release();
  }

  TCustomForm* MainForm() const { return FMainForm; }

  // Shows the main form and runs the event loop until Terminate. Returns at once when Terminate
  // was called before.
  void Run();
  // Tells the event loop to end; the handler that calls it returns normally first.
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles the events waiting in the queue.
  void ProcessMessages();

  // The title: set, or else the program file's name up to its first ".", with the first letter
  // upper case and every letter after it lower case.
  std::string Title() const;
  void SetTitle(const std::string& Value) { FTitle = Value; }

  // For an exception being handled (call inside a catch block): EAbort is ignored, otherwise
  // OnException runs when set, else ShowException.
  void HandleException(TObject* Sender);
  // The exception display: error box owned by the active window, titled with Title().
  void ShowException(const std::exception& E);
  const TExceptionEvent& OnException() const { return FOnException; }
  void SetOnException(TExceptionEvent Value) { FOnException = std::move(Value); }

  // A message box titled Caption (Title() when empty), owned by the active window.
  MessageBoxResult MessageBox(const std::string& Text, const std::string& Caption,
                              MessageBoxButtons Buttons = MessageBoxButtons::Ok,
                              MessageBoxIcon Icon = MessageBoxIcon::None);

  // The window that boxes are owned by: the active form, else the visible main form.
  QWidget* ActiveWindow() const;

  // Forgets a form that is going away.
  void FormDestroyed(TCustomForm* Form);

  // For hosts that run the program's sequence more than once in one process (tests): forgets
  // the terminated state and the main form, so the next CreateForm/Run start afresh. The forms
  // themselves are not touched (DestroyComponents frees them).
  void Reset();

 private:
  void FinishCreateForm(TComponent* Instance);

  bool FMainFormOnTaskBar = false;
  bool FShowMainForm = true;
  bool FTerminated = false;
  bool FRunning = false;
  TCustomForm* FMainForm = nullptr;
  std::string FTitle;
  TExceptionEvent FOnException;
  QEventLoop* FLoop = nullptr;
  std::unique_ptr<QApplication> FOwnQtApplication;
};

// The title rule on a file name: "vaskoli-upgrade" -> "Vaskoli-upgrade", "MY.APP.bin" -> "My".
std::string TitleFromFileName(const std::string& FileName);

// The process-wide application object, created on first use.
class TApplicationRef {
 public:
  TApplication* operator->() const { return Get(); }
  operator TApplication*() const { return Get(); }  // NOLINT: used like the pointer it stands for
  static TApplication* Get();
};

inline constexpr TApplicationRef Application{};
