// TCustomForm, TScreen, TApplication and the registry of form descriptions.
#include "ui/forms/Forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QWidget>

#include <cmath>
#include <cstdio>
#include <map>

#include "ui/forms/ClipboardWriter.h"

namespace {

int MulDiv(int value, int m, int d) {
  return d == 0 ? value
                : static_cast<int>(
                      std::lround(static_cast<double>(value) * m / static_cast<double>(d)));
}

std::map<std::string, std::string>& FormResources() {
  static std::map<std::string, std::string> resources;
  return resources;
}

// The top-level window of a form: reports closing and showing to its form.
class TFormWindow : public QWidget {
 public:
  explicit TFormWindow(TCustomForm* form) : FForm(form) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    FForm->WindowClosed();
  }
  void showEvent(QShowEvent* event) override {
    QWidget::showEvent(event);
    if (!event->spontaneous()) FForm->WindowShown();
  }

 private:
  TCustomForm* FForm;
};

// The Qt application the framework creates when the host has none. Its notify() is the last
// line of defence of the message loop: an exception that escapes an event handler is shown by
// the exception display instead of unwinding through Qt.
class TGuardedQtApplication : public QApplication {
 public:
  TGuardedQtApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      Application->HandleException(nullptr);
      return false;
    }
  }
};

}  // namespace

void RegisterFormResource(const std::string& ResourceName, const std::string& Text) {
  FormResources()[UpperCase(ResourceName)] = Text;
}

const std::string* FindFormResource(const std::string& ResourceName) {
  const auto it = FormResources().find(UpperCase(ResourceName));
  return it == FormResources().end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------------------------------------
// TCustomForm

VCL_REGISTER_CLASS(TCustomForm, [](TClassBuilder<TCustomForm>& c) {
  c.Set("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons,
        {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"},
        TBorderIcons{biSystemMenu, biMinimize, biMaximize});
  c.Enum("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle,
         {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
         bsSizeable);
  c.Prop("ClientHeight", &TCustomForm::ClientHeight, &TCustomForm::SetClientHeight).NoDefault();
  c.Prop("ClientWidth", &TCustomForm::ClientWidth, &TCustomForm::SetClientWidth).NoDefault();
  c.IntIdent("Color", &TCustomForm::Color, &TCustomForm::SetColor, ColorIdents(), clBtnFace);
  c.Prop("OldCreateOrder", &TCustomForm::OldCreateOrder, &TCustomForm::SetOldCreateOrder, false);
  c.Enum("Position", &TCustomForm::Position, &TCustomForm::SetPosition,
         {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
          "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"},
         poDefaultPosOnly);
  c.Prop("PixelsPerInch", &TCustomForm::PixelsPerInch, &TCustomForm::SetPixelsPerInch).NoDefault();
  c.Prop("Scaled", &TCustomForm::Scaled, &TCustomForm::SetScaled, true);
  c.Prop("TextHeight", &TCustomForm::TextHeight, &TCustomForm::SetTextHeight, 0);
  c.Prop("Visible", &TCustomForm::Visible, &TCustomForm::SetVisible, false);
  c.Event("OnClose", &TCustomForm::OnClose, &TCustomForm::SetOnClose);
  c.Event("OnCreate", &TCustomForm::OnCreate, &TCustomForm::SetOnCreate);
  c.Event("OnDestroy", &TCustomForm::OnDestroy, &TCustomForm::SetOnDestroy);
  c.Event("OnShow", &TCustomForm::OnShow, &TCustomForm::SetOnShow);
})

VCL_REGISTER_CLASS(TForm, [](TClassBuilder<TForm>&) {})

QWidget* TCustomForm::CreateWindowWidget(TCustomForm* Form) {
  return new TFormWindow(Form);
}

TCustomForm::TCustomForm(TComponent* AOwner)
    : TWinControl(AOwner, CreateWindowWidget(this)), FPixelsPerInch(ScreenLogicalPixelsPerInch()) {
  FVisible = false;
  // The window passes the focus on to its first control instead of taking it.
  Widget()->setFocusPolicy(Qt::NoFocus);
  SetParentFont(false);
  SetColor(clBtnFace);
  Widget()->resize(320, 240);
  ApplyWindowFlags();
  Screen->FForms.push_back(this);
}

TCustomForm::~TCustomForm() {
  Guarded(FOnDestroy);
  Destroying();
  DestroyComponents();
  auto& forms = Screen->FForms;
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  Application->FormDestroyed(this);
}

void TCustomForm::Guarded(const TNotifyEvent& Event) {
  if (!Event) return;
  try {
    Event(this);
  } catch (...) {
    Application->HandleException(this);
  }
}

void TCustomForm::ReadDescription() {
  const std::string resourceName = UpperCase(ClassName());
  const std::string* text = FindFormResource(resourceName);
  if (text == nullptr)
    throw EResNotFound(Format("Ressource %s nicht gefunden", resourceName.c_str()));
  ReadComponentFromText(*text, this);
}

void TCustomForm::ReadState(TReader& Reader) {
  // A description without PixelsPerInch was made for this screen.
  const int screen = Screen->PixelsPerInch();
  FPixelsPerInch = screen;
  TWinControl::ReadState(Reader);
  // Controls read inside the form show in it, whether or not the reader attached them.
  for (int i = 0; i < ComponentCount(); ++i) {
    auto* control = dynamic_cast<TControl*>(Components(i));
    if (control != nullptr && control->Parent() == nullptr && control != this)
      control->SetParent(this);
  }
  if (FScaled && FPixelsPerInch > 0 && FPixelsPerInch != screen) ScaleBy(screen, FPixelsPerInch);
  FPixelsPerInch = screen;
}

void TCustomForm::SetPixelsPerInch(int Value) {
  if (Value > 0) FPixelsPerInch = Value;
}

void TCustomForm::ChangeScale(int M, int D) {
  const int clientWidth = MulDiv(ClientWidth(), M, D);
  const int clientHeight = MulDiv(ClientHeight(), M, D);
  Font()->SetHeight(MulDiv(Font()->Height(), M, D));
  Widget()->resize(clientWidth, clientHeight);
  for (int i = 0; i < ControlCount(); ++i) Controls(i)->ScaleBy(M, D);
}

QSize TCustomForm::FrameExtra() const {
  const QWidget* window = Widget();
  if (window == nullptr || !window->testAttribute(Qt::WA_WState_Created)) return QSize(0, 0);
  return window->frameGeometry().size() - window->size();
}

int TCustomForm::Left() const {
  return FPlaced && Widget() != nullptr ? Widget()->frameGeometry().x() : TWinControl::Left();
}

int TCustomForm::Top() const {
  return FPlaced && Widget() != nullptr ? Widget()->frameGeometry().y() : TWinControl::Top();
}

int TCustomForm::Width() const {
  return Widget() != nullptr ? Widget()->width() + FrameExtra().width() : TWinControl::Width();
}

int TCustomForm::Height() const {
  return Widget() != nullptr ? Widget()->height() + FrameExtra().height() : TWinControl::Height();
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  const QSize extra = FrameExtra();
  Widget()->resize(std::max(0, AWidth - extra.width()), std::max(0, AHeight - extra.height()));
}

void TCustomForm::BoundsChanged() {
  // The window system places the form unless its position is the designed one.
  if (FPosition == poDesigned || FPosition == poDefaultSizeOnly) {
    Widget()->move(TWinControl::Left(), TWinControl::Top());
  }
}

int TCustomForm::ClientWidth() const {
  return Widget() != nullptr ? Widget()->width() : 0;
}

void TCustomForm::SetClientWidth(int Value) {
  if (Widget() != nullptr) Widget()->resize(std::max(0, Value), Widget()->height());
}

int TCustomForm::ClientHeight() const {
  return Widget() != nullptr ? Widget()->height() : 0;
}

void TCustomForm::SetClientHeight(int Value) {
  if (Widget() != nullptr) Widget()->resize(Widget()->width(), std::max(0, Value));
}

void TCustomForm::CaptionChanged() {
  if (Widget() != nullptr) Widget()->setWindowTitle(QString::fromStdString(Caption()));
}

void TCustomForm::SetPosition(TPosition Value) {
  FPosition = Value;
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  FBorderStyle = Value;
  ApplyWindowFlags();
}

void TCustomForm::SetBorderIcons(TBorderIcons Value) {
  FBorderIcons = Value;
  ApplyWindowFlags();
}

void TCustomForm::ApplyWindowFlags() {
  QWidget* window = Widget();
  if (window == nullptr) return;
  Qt::WindowFlags flags = Qt::Window;
  if (FBorderStyle == bsToolWindow || FBorderStyle == bsSizeToolWin) flags = Qt::Tool;
  if (FBorderStyle == bsNone) {
    flags |= Qt::FramelessWindowHint;
  } else {
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    const bool framedWithButtons = FBorderStyle == bsSingle || FBorderStyle == bsSizeable;
    if (FBorderIcons.Contains(biSystemMenu)) {
      flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      if (framedWithButtons && FBorderIcons.Contains(biMinimize))
        flags |= Qt::WindowMinimizeButtonHint;
      if (framedWithButtons && FBorderIcons.Contains(biMaximize))
        flags |= Qt::WindowMaximizeButtonHint;
      if (FBorderStyle == bsDialog && FBorderIcons.Contains(biHelp))
        flags |= Qt::WindowContextHelpButtonHint;
    }
  }
  const bool wasVisible = window->isVisible();
  window->setWindowFlags(flags);
  if (wasVisible) window->show();  // changing the flags hides a window
}

void TCustomForm::PlaceOnFirstShow() {
  if (FPlaced) return;
  FPlaced = true;
  QWidget* window = Widget();
  const bool sizeable = FBorderStyle == bsSizeable || FBorderStyle == bsSizeToolWin;
  if (!sizeable) window->setFixedSize(window->size());
  const QScreen* screen = QGuiApplication::primaryScreen();
  auto centreOn = [window](const QRect& area) {
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    window->move(frame.topLeft());
  };
  switch (FPosition) {
    case poDesigned:
    case poDefaultSizeOnly:
      window->move(TWinControl::Left(), TWinControl::Top());
      break;
    case poScreenCenter:
    case poDesktopCenter:
      if (screen != nullptr) centreOn(screen->availableGeometry());
      break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TCustomForm* other =
          FPosition == poOwnerFormCenter ? dynamic_cast<TCustomForm*>(Owner()) : nullptr;
      if (other == nullptr) other = Application->MainForm();
      if (other != nullptr && other != this && other->Widget() != nullptr &&
          other->Widget()->isVisible()) {
        centreOn(other->Widget()->frameGeometry());
      } else if (screen != nullptr) {
        centreOn(screen->availableGeometry());
      }
      break;
    }
    case poDefault:
    case poDefaultPosOnly:
      break;  // the window system chooses
  }
}

void TCustomForm::SetVisible(bool Value) {
  if (Value) {
    ShowForm();
  } else {
    FVisible = false;
    if (Widget() != nullptr) Widget()->hide();
  }
}

void TCustomForm::ShowForm() {
  FVisible = true;
  QWidget* window = Widget();
  if (window == nullptr) return;
  PlaceOnFirstShow();
  window->show();
  // Platforms without a window system (offscreen, minimal) cannot raise windows.
  const QString platform = QGuiApplication::platformName();
  if (platform != "offscreen" && platform != "minimal") window->raise();
  window->activateWindow();
}

void TCustomForm::Close() {
  if (Widget() != nullptr && Widget()->isVisible()) {
    Widget()->close();  // closeEvent -> WindowClosed
  } else {
    WindowClosed();
  }
}

void TCustomForm::WindowClosed() {
  FVisible = false;
  Guarded(FOnClose);
  if (Application->MainForm() == this) Application->Terminate();
}

void TCustomForm::WindowShown() {
  Guarded(FOnShow);
}

bool TCustomForm::Active() const {
  return Widget() != nullptr && Widget()->isActiveWindow();
}

void TCustomForm::DoCreate() {
  if (FOnCreate) FOnCreate(this);
}

// ---------------------------------------------------------------------------------------------
// TScreen

namespace {
TScreen gScreen;
}
TScreen* const Screen = &gScreen;

int TScreen::Width() const {
  const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                              ? QGuiApplication::primaryScreen()
                              : nullptr;
  return screen != nullptr ? screen->geometry().width() : 0;
}

int TScreen::Height() const {
  const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                              ? QGuiApplication::primaryScreen()
                              : nullptr;
  return screen != nullptr ? screen->geometry().height() : 0;
}

TCustomForm* TScreen::ActiveForm() const {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return nullptr;
  const QWidget* active = QApplication::activeWindow();
  if (active == nullptr) return nullptr;
  for (TCustomForm* form : FForms) {
    if (form->Widget() == active) return form;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// TApplication

VCL_REGISTER_CLASS(TApplication, [](TClassBuilder<TApplication>&) {})

TApplication* TApplicationRef::Get() {
  // Lives for the whole process: Qt objects must not be torn down by static destructors.
  static TApplication* const instance = new TApplication(nullptr);
  return instance;
}

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() {
  Destroying();
  DestroyComponents();
}

void TApplication::Initialize() {
  // The engine's clipboard functions go through Qt's clipboard once there is an application.
  static const bool clipboard_installed = InstallEngineClipboardWriter();
  (void)clipboard_installed;
  QCoreApplication* existing = QCoreApplication::instance();
  if (existing != nullptr) {
    if (qobject_cast<QApplication*>(existing) == nullptr) {
      throw EInvalidOperation("Die Anwendung braucht eine grafische Qt-Anwendung");
    }
    return;
  }
  static std::string programName = ProgramFileName().empty() ? "program" : ProgramFileName();
  static int argc = 1;
  static char* argv[] = {programName.data(), nullptr};
  FOwnQtApplication = std::make_unique<TGuardedQtApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
}

void TApplication::FinishCreateForm(TComponent* Instance) {
  auto* form = dynamic_cast<TCustomForm*>(Instance);
  if (form == nullptr) {
    // Other components (data modules) read a description when one is registered.
    if (const std::string* text = FindFormResource(Instance->ClassName())) {
      ReadComponentFromText(*text, Instance);
    }
    return;
  }
  // The plain form classes have no description of their own; every derived one must have one.
  if (form->ClassType() != TForm::StaticClass() &&
      form->ClassType() != TCustomForm::StaticClass()) {
    form->ReadDescription();
  }
  form->DoCreate();
  if (FMainForm == nullptr) FMainForm = form;
}

void TApplication::FormDestroyed(TCustomForm* Form) {
  if (FMainForm == Form) FMainForm = nullptr;
}

void TApplication::Reset() {
  FTerminated = false;
  FMainForm = nullptr;
}

void TApplication::Run() {
  if (FRunning) throw EInvalidOperation("Die Nachrichtenschleife läuft bereits");
  Initialize();
  if (FTerminated) return;
  if (FMainForm != nullptr && FShowMainForm) FMainForm->ShowForm();
  if (FTerminated) return;
  QEventLoop loop;
  FLoop = &loop;
  FRunning = true;
  Finally done([this] {
    FLoop = nullptr;
    FRunning = false;
  });
  loop.exec();
}

void TApplication::Terminate() {
  FTerminated = true;
  if (FLoop != nullptr) FLoop->quit();
}

void TApplication::ProcessMessages() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

std::string TitleFromFileName(const std::string& FileName) {
  std::string name = ExtractFileName(FileName);
  const size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  QString title = QString::fromStdString(name).toLower();
  if (!title.isEmpty()) title[0] = title[0].toUpper();
  return title.toStdString();
}

std::string TApplication::Title() const {
  return FTitle.empty() ? TitleFromFileName(ProgramFileName()) : FTitle;
}

void TApplication::HandleException(TObject* Sender) {
  const std::exception_ptr current = std::current_exception();
  if (!current) return;
  try {
    try {
      std::rethrow_exception(current);
    } catch (const EAbort&) {
      // The silent exception: nothing to show.
    } catch (const std::exception& e) {
      if (FOnException) {
        FOnException(Sender, e);
      } else {
        ShowException(e);
      }
    } catch (...) {
      const Exception unknown("Unbekannte Ausnahme");
      if (FOnException) {
        FOnException(Sender, unknown);
      } else {
        ShowException(unknown);
      }
    }
  } catch (const std::exception& failure) {
    // The display itself failed; there is no one left to tell but the error stream.
    std::fprintf(stderr, "%s: %s\n", Title().c_str(), failure.what());
  } catch (...) {
    std::fprintf(stderr, "%s: exception while showing an exception\n", Title().c_str());
  }
}

void TApplication::ShowException(const std::exception& E) {
  ShowExceptionBox(E, Title(), ActiveWindow());
}

MessageBoxResult TApplication::MessageBox(const std::string& Text, const std::string& Caption,
                                          MessageBoxButtons Buttons, MessageBoxIcon Icon) {
  MessageBoxRequest request;
  request.Title = Caption.empty() ? Title() : Caption;
  request.Text = Text;
  request.Buttons = Buttons;
  request.Icon = Icon;
  request.Owner = ActiveWindow();
  return MessageBoxes().Show(request);
}

QWidget* TApplication::ActiveWindow() const {
  if (TCustomForm* active = Screen->ActiveForm()) return active->Widget();
  if (FMainForm != nullptr && FMainForm->Widget() != nullptr && FMainForm->Widget()->isVisible()) {
    return FMainForm->Widget();
  }
  return nullptr;
}
