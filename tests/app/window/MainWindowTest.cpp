// The upgrade tool's window and entry sequence on the offscreen platform, on a real database
// reached through a real alias file: the window as its description makes it, the two actions
// through simulated clicks, the exception display after a failing click, and the start-up
// failure box with exit code 1.
#include <gtest/gtest.h>

#include <QTimer>

#include <regex>
#include <stdexcept>

#include "app/Program.h"
#include "app/Unit1.h"
#include "tests/app/window/TestDatabase.h"
#include "ui/forms/QtTestSupport.h"

namespace {

// Its description is broken: creating it fails while the window is read.
class TBrokenMainForm : public TForm {
  VCL_DECLARE_CLASS(TBrokenMainForm, TForm)

 public:
  explicit TBrokenMainForm(TComponent* AOwner) : TForm(AOwner) {}
};

VCL_REGISTER_CLASS(TBrokenMainForm, [](TClassBuilder<TBrokenMainForm>&) {})

const bool kBrokenRegistered = [] {
  RegisterFormResource("TBROKENMAINFORM", R"(object BrokenMainForm: TBrokenMainForm
  Caption = 'Form1'
  object Button: TcxButton
    Colors.Normal = clNoSuchColour
  end
end
)");
  return true;
}();

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt_test::EnsureApplication();
    Application->Reset();
    db_.MakeKinder();
  }
  void TearDown() override {
    Application->DestroyComponents();
    Application->Reset();
    EXPECT_EQ(Form1, nullptr);
  }

  static void CreateMainWindow() { Application->CreateForm(&Form1); }

  // Runs the entry sequence; `inLoop` runs once the window is shown and the loop runs.
  static int RunWithActions(std::function<void()> inLoop) {
    QTimer::singleShot(0, [inLoop = std::move(inLoop)] { inLoop(); });
    return RunProgram();
  }

  static int Scaled(int value) {
    return static_cast<int>(std::lround(value * Screen->PixelsPerInch() / 96.0));
  }

  app_test::TestDatabase db_;
};

}  // namespace

TEST_F(MainWindowTest, TheWindowIsMadeFromItsDescription) {
  CreateMainWindow();
  ASSERT_NE(Form1, nullptr);
  EXPECT_EQ(Form1->Name(), "Form1");
  EXPECT_EQ(Form1->Caption(), "Form1");
  EXPECT_EQ(Form1->Widget()->windowTitle(), "Form1");
  EXPECT_EQ(Form1->ClientWidth(), Scaled(392));
  EXPECT_EQ(Form1->ClientHeight(), Scaled(260));
  EXPECT_EQ(Form1->Color(), clBtnFace);
  EXPECT_EQ(Form1->Font()->Name(), "Tahoma");
  EXPECT_EQ(Form1->Font()->Height(), Scaled(-11));
  EXPECT_EQ(Form1->Font()->Color(), clWindowText);
  EXPECT_EQ(Form1->Font()->Charset(), DEFAULT_CHARSET);
  EXPECT_TRUE(Form1->Font()->Style().Empty());
  EXPECT_EQ(Form1->Position(), poDefaultPosOnly);
  EXPECT_EQ(Form1->BorderStyle(), bsSizeable);
  EXPECT_EQ(Application->MainForm(), Form1);

  ASSERT_NE(Form1->cxButton1, nullptr);
  ASSERT_NE(Form1->cxButton2, nullptr);
  EXPECT_EQ(Form1->cxButton1->Caption(),
            "Hier klicken, um die  Datenbankstruktur von Vaskoli_AB an die Version 1.1 "
            "anzupassen !");
  EXPECT_EQ(Form1->cxButton1->ButtonWidget()->text().toStdString(), Form1->cxButton1->Caption());
  EXPECT_EQ(Form1->cxButton2->Caption(),
            "Abbrechen ohne Anpassung. (Vaskoli_AB l\xC3\xA4uft dann aber nicht.)");
  EXPECT_EQ(Form1->cxButton1->Colors()->Normal(), 4259584);
  EXPECT_EQ(Form1->cxButton2->Colors()->Normal(), clRed);
  EXPECT_TRUE(Form1->cxButton1->WordWrap());
  EXPECT_TRUE(Form1->cxButton2->WordWrap());
  EXPECT_EQ(Form1->cxButton1->Widget()->geometry(),
            QRect(Scaled(120), Scaled(32), Scaled(153), Scaled(73)));
  EXPECT_EQ(Form1->cxButton2->Widget()->geometry(),
            QRect(Scaled(120), Scaled(136), Scaled(153), Scaled(73)));
  EXPECT_EQ(Form1->cxButton1->TabOrder(), 0);
  EXPECT_EQ(Form1->cxButton2->TabOrder(), 1);
  EXPECT_EQ(Form1->cxButton1->Parent(), Form1);

  // The published fields keep their declared order.
  const std::vector<const TFieldInfo*> fields = TForm1::StaticClass()->Fields();
  ASSERT_GE(fields.size(), 2u);
  EXPECT_EQ(fields.front()->Name, "cxButton1");
  EXPECT_EQ(fields.back()->Name, "cxButton2");
}

TEST_F(MainWindowTest, TheShownWindowPaintsGreenAndRedButtonsWithWholeCaptions) {
  CreateMainWindow();
  Form1->ShowForm();
  const QImage image = qt_test::Grab(Form1->Widget());
  ASSERT_EQ(image.size(), QSize(Form1->ClientWidth(), Form1->ClientHeight()));
  const QRect green = Form1->cxButton1->Widget()->geometry();
  const QRect red = Form1->cxButton2->Widget()->geometry();
  EXPECT_TRUE(
      qt_test::Near(image.pixelColor(green.left() + 2, green.center().y()), QColor(0, 255, 64), 2));
  EXPECT_TRUE(
      qt_test::Near(image.pixelColor(red.left() + 2, red.center().y()), QColor(255, 0, 0), 2));
  EXPECT_TRUE(qt_test::Near(image.pixelColor(5, 5), ColorToQColor(clBtnFace), 2));
  // Between and beside the buttons: the form's face.
  EXPECT_TRUE(qt_test::Near(image.pixelColor(green.center().x(), green.bottom() + 15),
                            ColorToQColor(clBtnFace), 2));

  // Both captions fit their buttons whole once wrapped.
  for (TcxButton* button : {Form1->cxButton1, Form1->cxButton2}) {
    const QRect area = button->ButtonWidget()->CaptionRect();
    const QRect text = button->ButtonWidget()->CaptionBoundingRect();
    EXPECT_TRUE(area.contains(text)) << button->Name();
  }
}

TEST_F(MainWindowTest, TheRedButtonEndsTheProgramWithExitCodeZeroAndChangesNothing) {
  qt_test::RecordedBoxes boxes;
  bool shown = false;
  const int exitCode = RunWithActions([&] {
    ASSERT_NE(Form1, nullptr);
    shown = Form1->Widget()->isVisible();
    qt_test::SendMouseClick(Form1->cxButton2->Widget());
  });
  EXPECT_TRUE(shown);
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(boxes.Requests().empty());
  EXPECT_EQ(Form1, nullptr);  // the window went at the end
  // The cancel action runs no statement: Kinder keeps its three columns.
  EXPECT_EQ(db_.Kinder().fields, (std::vector<std::string>{"Kind_ID", "Vorname", "Geburtsdatum"}));
}

TEST_F(MainWindowTest, TheGreenButtonUpgradesKinderAndEndsWithZero) {
  qt_test::RecordedBoxes boxes;
  const int exitCode = RunWithActions([&] { qt_test::SendMouseClick(Form1->cxButton1->Widget()); });
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(boxes.Requests().empty());
  const app_test::TableShape kinder = db_.Kinder();
  EXPECT_EQ(kinder.fields,
            (std::vector<std::string>{"Kind_ID", "Vorname", "Geburtsdatum", "Alter_Stichtag",
                                      "Kosten_von", "Kosten_bis", "Migrationshintergrund"}));
  EXPECT_EQ(kinder.records, 3u);
}

TEST_F(MainWindowTest, AFailingUpgradeIsShownAndTheWindowStaysUsable) {
  // Kinder already has the new columns: the engine refuses the first statement.
  app_test::RunSql(db_.Data(), "ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;");
  qt_test::RecordedBoxes boxes;
  bool visibleAfterFailure = false, tableClosed = false, connected = false;
  const int exitCode = RunWithActions([&] {
    qt_test::SendMouseClick(Form1->cxButton1->Widget());
    visibleAfterFailure = Form1->Widget()->isVisible() && !Application->Terminated();
    tableClosed = !Form1->AdsTableKinder->Active();
    connected = Form1->AdsConnection1->IsConnected();
    // A second try fails the same way; the keyboard still reaches the button.
    Form1->cxButton1->SetFocus();
    qt_test::SendKey(Form1->cxButton1->Widget(), Qt::Key_Space);
    QTimer::singleShot(0, [] { qt_test::SendMouseClick(Form1->cxButton2->Widget()); });
  });
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(visibleAfterFailure);
  EXPECT_TRUE(tableClosed);
  EXPECT_TRUE(connected);
  ASSERT_EQ(boxes.Requests().size(), 2u);
  const MessageBoxRequest& box = boxes.Requests()[0];
  EXPECT_EQ(box.Title, Application->Title());
  EXPECT_EQ(box.Text.rfind("AdsQuery1: ", 0), 0u) << box.Text;
  EXPECT_NE(box.Text.find("Alter_Stichtag"), std::string::npos) << box.Text;
  EXPECT_EQ(box.Icon, MessageBoxIcon::Error);
  EXPECT_EQ(box.Buttons, MessageBoxButtons::Ok);
  EXPECT_NE(box.Owner, nullptr);
  EXPECT_EQ(boxes.Requests()[1].Text, box.Text);
  // Nothing of the refused script changed the table.
  EXPECT_EQ(db_.Kinder().fields.size(), 4u);
}

TEST_F(MainWindowTest, AFailedStartUpShowsTheRuntimeBoxAndEndsWithOne) {
  ASSERT_TRUE(kBrokenRegistered);
  qt_test::RecordedBoxes boxes;
  TBrokenMainForm* broken = nullptr;
  bool loopRan = false;
  // A timer of this scope: it must not fire in a later test's loop.
  QTimer loopProbe;
  loopProbe.setSingleShot(true);
  QObject::connect(&loopProbe, &QTimer::timeout, [&] { loopRan = true; });
  loopProbe.start(0);
  const int exitCode = RunProgram([&] { Application->CreateForm(&broken); });
  EXPECT_EQ(exitCode, 1);
  EXPECT_EQ(broken, nullptr);
  EXPECT_EQ(Screen->FormCount(), 0);
  EXPECT_FALSE(loopRan);  // no window, no message loop
  ASSERT_EQ(boxes.Requests().size(), 1u);
  const MessageBoxRequest& box = boxes.Requests()[0];
  EXPECT_EQ(box.Title, "Anwendungsfehler");
  EXPECT_EQ(box.Icon, MessageBoxIcon::Error);
  EXPECT_EQ(box.Buttons, MessageBoxButtons::Ok);
  EXPECT_EQ(box.Owner, nullptr);
  EXPECT_TRUE(box.TaskModal);
  EXPECT_TRUE(std::regex_match(
      box.Text, std::regex("Exception EReadError in Modul [^ ]+ bei [0-9A-F]{8}\\.\n.*\\.\n")))
      << box.Text;
  EXPECT_NE(box.Text.find("clNoSuchColour"), std::string::npos) << box.Text;
}

TEST_F(MainWindowTest, AStartUpFailureNamesTheExceptionAndAddsTheMissingDot) {
  qt_test::RecordedBoxes boxes;
  EXPECT_EQ(RunProgram([] { throw EInvalidOperation("TAdsConnection.AliasName is not valid"); }),
            1);
  ASSERT_EQ(boxes.Requests().size(), 1u);
  EXPECT_TRUE(
      std::regex_match(boxes.Requests()[0].Text,
                       std::regex("Exception EInvalidOperation in Modul [^ ]+ bei [0-9A-F]{8}\\.\n"
                                  "TAdsConnection\\.AliasName is not valid\\.\n")))
      << boxes.Requests()[0].Text;

  EXPECT_EQ(RunProgram([] { throw std::runtime_error("schon mit Punkt."); }), 1);
  ASSERT_EQ(boxes.Requests().size(), 2u);
  EXPECT_NE(boxes.Requests()[1].Text.find("Exception std::runtime_error in Modul "),
            std::string::npos);
  EXPECT_NE(boxes.Requests()[1].Text.find("\nschon mit Punkt.\n"), std::string::npos);
}

TEST_F(MainWindowTest, AFailureAfterTheMainWindowWasCreatedStillShowsNoWindow) {
  qt_test::RecordedBoxes boxes;
  const int exitCode = RunProgram([] {
    Application->CreateForm(&Form1);
    throw ERangeError("zweites Fenster kaputt");
  });
  EXPECT_EQ(exitCode, 1);
  EXPECT_EQ(Form1, nullptr);  // destroyed at the end, never shown
  EXPECT_EQ(boxes.Requests().size(), 1u);
}
