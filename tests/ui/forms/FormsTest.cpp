// Forms read from their descriptions, the application object (creation, loop, termination,
// title, exception display) and the controls' parent, font, focus-order and scaling rules.
#include <gtest/gtest.h>

#include <QTimer>

#include <stdexcept>

#include "ui/forms/Forms.h"
#include "ui/forms/QtTestSupport.h"

namespace {

// A form with two plain window controls.
class TFormsTestForm : public TForm {
  VCL_DECLARE_CLASS(TFormsTestForm, TForm)

 public:
  explicit TFormsTestForm(TComponent* AOwner) : TForm(AOwner) {}
  TWinControl* First = nullptr;
  TWinControl* Second = nullptr;
  int Clicks = 0;
  void FirstClick(TObject*) { ++Clicks; }
  void FormCreate(TObject*) { CreatedWithCaption = Caption(); }
  std::string CreatedWithCaption;
};

VCL_REGISTER_CLASS(TFormsTestForm, [](TClassBuilder<TFormsTestForm>& c) {
  c.Field("First", &TFormsTestForm::First);
  c.Field("Second", &TFormsTestForm::Second);
  c.Method("FirstClick", &TFormsTestForm::FirstClick);
  c.Method("FormCreate", &TFormsTestForm::FormCreate);
})

// Made at 120 pixels per inch: read on a screen of another resolution, it is scaled.
class TFormsScaledForm : public TForm {
  VCL_DECLARE_CLASS(TFormsScaledForm, TForm)

 public:
  explicit TFormsScaledForm(TComponent* AOwner) : TForm(AOwner) {}
  TWinControl* Panel = nullptr;
};

VCL_REGISTER_CLASS(TFormsScaledForm, [](TClassBuilder<TFormsScaledForm>& c) {
  c.Field("Panel", &TFormsScaledForm::Panel);
})

// Its description names a property that does not exist.
class TFormsBrokenForm : public TForm {
  VCL_DECLARE_CLASS(TFormsBrokenForm, TForm)

 public:
  explicit TFormsBrokenForm(TComponent* AOwner) : TForm(AOwner) {}
};

VCL_REGISTER_CLASS(TFormsBrokenForm, [](TClassBuilder<TFormsBrokenForm>&) {})

// Has no description at all.
class TFormsUndescribedForm : public TForm {
  VCL_DECLARE_CLASS(TFormsUndescribedForm, TForm)

 public:
  explicit TFormsUndescribedForm(TComponent* AOwner) : TForm(AOwner) {}
};

VCL_REGISTER_CLASS(TFormsUndescribedForm, [](TClassBuilder<TFormsUndescribedForm>&) {})

const bool kRegistered = [] {
  RegisterFormResource("TFormsTestForm", R"(object FormsTestForm: TFormsTestForm
  Caption = 'Testfenster'
  ClientHeight = 150
  ClientWidth = 300
  Font.Height = -14
  Font.Name = 'DejaVu Sans'
  Font.Style = [fsBold]
  PixelsPerInch = 96
  OnCreate = FormCreate
  object Second: TWinControl
    Left = 10
    Top = 60
    Width = 100
    Height = 30
    TabOrder = 1
  end
  object First: TWinControl
    Left = 10
    Top = 10
    Width = 100
    Height = 30
    TabOrder = 0
    OnClick = FirstClick
  end
end
)");
  RegisterFormResource("TFORMSSCALEDFORM", R"(object FormsScaledForm: TFormsScaledForm
  ClientHeight = 300
  ClientWidth = 600
  Font.Height = -15
  PixelsPerInch = 192
  object Panel: TWinControl
    Left = 40
    Top = 20
    Width = 200
    Height = 100
  end
end
)");
  RegisterFormResource("TFormsBrokenForm", R"(object FormsBrokenForm: TFormsBrokenForm
  Caption = 'kaputt'
  object Inner: TWinControl
    NoSuchProperty = 1
  end
end
)");
  return true;
}();

class FormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qt_test::EnsureApplication();
    Application->Reset();
  }
  void TearDown() override {
    Application->DestroyComponents();
    Application->Reset();
  }
};

}  // namespace

TEST_F(FormsTest, CreateFormReadsTheDescriptionAndMakesTheMainForm) {
  ASSERT_TRUE(kRegistered);
  TFormsTestForm* form = nullptr;
  Application->CreateForm(&form);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Application->MainForm(), form);
  EXPECT_EQ(form->Owner(), static_cast<TComponent*>(Application));
  EXPECT_EQ(form->Name(), "FormsTestForm");
  EXPECT_EQ(form->Caption(), "Testfenster");
  EXPECT_EQ(form->Widget()->windowTitle(), "Testfenster");
  EXPECT_EQ(form->ClientWidth(), 300);
  EXPECT_EQ(form->ClientHeight(), 150);
  EXPECT_EQ(form->Widget()->size(), QSize(300, 150));
  EXPECT_EQ(form->Color(), clBtnFace);
  EXPECT_EQ(form->Position(), poDefaultPosOnly);
  EXPECT_EQ(form->BorderStyle(), bsSizeable);
  EXPECT_EQ(form->BorderIcons(), (TBorderIcons{biSystemMenu, biMinimize, biMaximize}));
  EXPECT_EQ(form->CreatedWithCaption, "Testfenster");  // OnCreate ran after reading
  EXPECT_FALSE(form->Visible());

  // The controls are parented to the form, in its focus order, with the form's font.
  ASSERT_NE(form->First, nullptr);
  ASSERT_NE(form->Second, nullptr);
  EXPECT_EQ(form->First->Parent(), form);
  EXPECT_EQ(form->First->Widget()->parentWidget(), form->Widget());
  EXPECT_EQ(form->First->Widget()->geometry(), QRect(10, 10, 100, 30));
  EXPECT_EQ(form->First->TabOrder(), 0);
  EXPECT_EQ(form->Second->TabOrder(), 1);
  EXPECT_TRUE(form->First->ParentFont());
  EXPECT_EQ(form->First->Font()->Height(), -14);
  EXPECT_TRUE(form->First->Font()->Style().Contains(fsBold));
  EXPECT_EQ(form->First->Widget()->font().pixelSize(), 14);

  // A later change of the form's font reaches the controls that follow it.
  form->Font()->SetHeight(-18);
  EXPECT_EQ(form->Second->Font()->Height(), -18);
  form->Second->Font()->SetHeight(-9);  // its own font now
  EXPECT_FALSE(form->Second->ParentFont());
  form->Font()->SetHeight(-12);
  EXPECT_EQ(form->Second->Font()->Height(), -9);
  EXPECT_EQ(form->First->Font()->Height(), -12);

  // The streamed click handler is bound to the form's method.
  form->First->Click();
  EXPECT_EQ(form->Clicks, 1);
}

TEST_F(FormsTest, DestroyingTheFormsForgetsTheMainForm) {
  TFormsTestForm* form = nullptr;
  Application->CreateForm(&form);
  ASSERT_NE(form, nullptr);
  const int formsBefore = Screen->FormCount();
  Application->DestroyComponents();
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_EQ(Screen->FormCount(), formsBefore - 1);
}

TEST_F(FormsTest, AFailingDescriptionLeavesNoHalfBuiltForm) {
  const int forms = Screen->FormCount();
  const int components = Application->ComponentCount();
  TFormsBrokenForm* form = reinterpret_cast<TFormsBrokenForm*>(this);  // must be cleared
  try {
    Application->CreateForm(&form);
    FAIL() << "the unknown property was accepted";
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.Message()).find("NoSuchProperty"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(form, nullptr);
  EXPECT_EQ(Screen->FormCount(), forms);
  EXPECT_EQ(Application->ComponentCount(), components);
  EXPECT_EQ(Application->MainForm(), nullptr);

  TFormsUndescribedForm* undescribed = nullptr;
  EXPECT_THROW(Application->CreateForm(&undescribed), EResNotFound);
  EXPECT_EQ(undescribed, nullptr);
}

TEST_F(FormsTest, AFormMadeForAnotherResolutionIsScaledToTheScreen) {
  TFormsScaledForm* form = nullptr;
  Application->CreateForm(&form);
  const int screen = Screen->PixelsPerInch();
  auto scaled = [screen](int value) {
    return static_cast<int>(std::lround(value * screen / 192.0));
  };
  EXPECT_EQ(form->PixelsPerInch(), screen);
  EXPECT_EQ(form->ClientWidth(), scaled(600));
  EXPECT_EQ(form->ClientHeight(), scaled(300));
  EXPECT_EQ(form->Font()->Height(), scaled(-15));
  EXPECT_EQ(form->Panel->Left(), scaled(40));
  EXPECT_EQ(form->Panel->Top(), scaled(20));
  EXPECT_EQ(form->Panel->Width(), scaled(200));
  EXPECT_EQ(form->Panel->Height(), scaled(100));
  EXPECT_EQ(form->Panel->Font()->Height(), scaled(-15));

  // Scaling by hand: positions and sizes of the controls move with the factor.
  form->ScaleBy(2, 1);
  EXPECT_EQ(form->ClientWidth(), 2 * scaled(600));
  EXPECT_EQ(form->Panel->Width(), 2 * scaled(200));
}

TEST_F(FormsTest, RunShowsTheMainFormAndEndsWhenTerminated) {
  TFormsTestForm* form = nullptr;
  Application->CreateForm(&form);
  bool visibleInLoop = false;
  QTimer::singleShot(0, [&] {
    visibleInLoop = form->Widget()->isVisible();
    Application->Terminate();
  });
  Application->Run();
  EXPECT_TRUE(visibleInLoop);
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(FormsTest, TerminateBeforeRunMakesRunReturnAtOnce) {
  TFormsTestForm* form = nullptr;
  Application->CreateForm(&form);
  bool timerRan = false;
  QTimer::singleShot(0, [&] { timerRan = true; });
  Application->Terminate();
  Application->Run();
  EXPECT_FALSE(timerRan);
  Application->ProcessMessages();
  EXPECT_TRUE(timerRan);
}

TEST_F(FormsTest, ClosingTheMainFormEndsTheLoop) {
  TFormsTestForm* form = nullptr;
  Application->CreateForm(&form);
  QTimer::singleShot(0, [&] { form->Close(); });
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(form->Widget()->isVisible());
}

TEST_F(FormsTest, ExceptionFromAClickIsShownAndTheLoopGoesOn) {
  qt_test::RecordedBoxes boxes;
  TFormsTestForm* form = nullptr;
  Application->CreateForm(&form);
  form->First->SetOnClick([](TObject*) { throw EConvertError("kein Datum"); });
  form->Second->SetOnClick([](TObject*) { throw std::runtime_error("roh "); });
  QTimer::singleShot(0, [&] {
    form->First->DispatchClick();
    form->Second->DispatchClick();
    Application->Terminate();
  });
  Application->Run();
  ASSERT_EQ(boxes.Requests().size(), 2u);
  EXPECT_EQ(boxes.Requests()[0].Text, "kein Datum.");
  EXPECT_EQ(boxes.Requests()[0].Title, Application->Title());
  EXPECT_EQ(boxes.Requests()[0].Icon, MessageBoxIcon::Error);
  EXPECT_EQ(boxes.Requests()[0].Buttons, MessageBoxButtons::Ok);
  EXPECT_EQ(boxes.Requests()[0].Owner, form->Widget());  // the active (main) window
  EXPECT_FALSE(boxes.Requests()[0].TaskModal);
  EXPECT_EQ(boxes.Requests()[1].Text, "roh ");
}

TEST_F(FormsTest, HandleExceptionIgnoresAbortAndPrefersOnException) {
  qt_test::RecordedBoxes boxes;
  try {
    Abort();
  } catch (...) {
    Application->HandleException(nullptr);
  }
  EXPECT_TRUE(boxes.Requests().empty());

  std::string seen;
  Application->SetOnException([&](TObject*, const std::exception& e) { seen = e.what(); });
  try {
    throw Exception("an den Handler");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  Application->SetOnException(nullptr);
  EXPECT_EQ(seen, "an den Handler");
  EXPECT_TRUE(boxes.Requests().empty());
}

TEST_F(FormsTest, TitleIsTheProgramNameUpToItsFirstDotCapitalised) {
  EXPECT_EQ(TitleFromFileName("vaskoli-upgrade"), "Vaskoli-upgrade");
  EXPECT_EQ(TitleFromFileName("/opt/bin/VASKOLI-Upgrade.exe"), "Vaskoli-upgrade");
  EXPECT_EQ(TitleFromFileName("my.app.bin"), "My");
  EXPECT_EQ(TitleFromFileName("ärger"), "Ärger");
  EXPECT_EQ(Application->Title(), TitleFromFileName(ProgramFileName()));
  Application->SetTitle("Eigener Titel");
  EXPECT_EQ(Application->Title(), "Eigener Titel");
  Application->SetTitle("");

  qt_test::RecordedBoxes boxes;
  boxes.Boxes().QueueAnswer(MessageBoxResult::No);
  EXPECT_EQ(
      Application->MessageBox("Weiter?", "", MessageBoxButtons::YesNo, MessageBoxIcon::Question),
      MessageBoxResult::No);
  ASSERT_EQ(boxes.Requests().size(), 1u);
  EXPECT_EQ(boxes.Requests()[0].Title, Application->Title());
  EXPECT_EQ(boxes.Requests()[0].Buttons, MessageBoxButtons::YesNo);
}

TEST_F(FormsTest, AnExceptionLeavingAnyQueuedEventIsCaughtByTheMessageLoop) {
  qt_test::RecordedBoxes boxes;
  QTimer::singleShot(0, [] { throw EConvertError("aus der Warteschlange"); });
  Application->ProcessMessages();
  ASSERT_EQ(boxes.Requests().size(), 1u);
  EXPECT_EQ(boxes.Requests()[0].Text, "aus der Warteschlange.");
  // The loop goes on handling events afterwards.
  bool later = false;
  QTimer::singleShot(0, [&] { later = true; });
  Application->ProcessMessages();
  EXPECT_TRUE(later);
}

TEST_F(FormsTest, AParentGoingFirstLeavesItsChildrenDetachedButAlive) {
  TFormsTestForm* form = nullptr;
  Application->CreateForm(&form);
  auto* panel = new TWinControl(form);
  panel->SetParent(form);
  auto* inner = new TWinControl(form);
  inner->SetParent(panel);
  inner->SetBounds(1, 2, 30, 40);
  ASSERT_EQ(inner->Widget()->parentWidget(), panel->Widget());
  delete panel;
  EXPECT_EQ(inner->Parent(), nullptr);
  ASSERT_NE(inner->Widget(), nullptr);
  EXPECT_EQ(inner->Widget()->parentWidget(), nullptr);
  EXPECT_FALSE(inner->Widget()->isVisible());
  inner->SetParent(form);  // and can be shown elsewhere
  EXPECT_EQ(inner->Widget()->parentWidget(), form->Widget());
  EXPECT_EQ(inner->Widget()->geometry(), QRect(1, 2, 30, 40));
}

TEST_F(FormsTest, PositionAndBorderDecideWhereAndHowTheWindowAppears) {
  TFormsTestForm* form = nullptr;
  Application->CreateForm(&form);
  form->SetPosition(poDesigned);
  form->SetLeft(40);
  form->SetTop(30);
  form->SetBorderStyle(bsDialog);
  form->ShowForm();
  EXPECT_EQ(form->Widget()->frameGeometry().topLeft(), QPoint(40, 30));
  EXPECT_EQ(form->Left(), 40);
  const Qt::WindowFlags flags = form->Widget()->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  // A dialog border is not sizeable.
  EXPECT_EQ(form->Widget()->minimumSize(), form->Widget()->maximumSize());

  TFormsScaledForm* second = nullptr;
  Application->CreateForm(&second);
  EXPECT_EQ(Application->MainForm(), form);  // the first form stays the main form
  const Qt::WindowFlags sizeable = second->Widget()->windowFlags();
  EXPECT_TRUE(sizeable.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(sizeable.testFlag(Qt::WindowMaximizeButtonHint));
  second->SetBorderIcons({});
  EXPECT_FALSE(second->Widget()->windowFlags().testFlag(Qt::WindowCloseButtonHint));
}
