// The painted button: faces in its states, word wrap, clicks by mouse and keyboard, focus
// order among siblings, exceptions from its click, and streaming of its properties.
#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QTimer>

#include "ui/cx/cxButtons.h"
#include "ui/forms/QtTestSupport.h"

namespace {

class TcxTestForm : public TForm {
  VCL_DECLARE_CLASS(TcxTestForm, TForm)

 public:
  explicit TcxTestForm(TComponent* AOwner) : TForm(AOwner) {}
  TcxButton* Ok = nullptr;
  TcxButton* Cancel = nullptr;
  TcxButton* Help = nullptr;
  int OkClicks = 0;
  void OkClick(TObject*) { ++OkClicks; }
};

VCL_REGISTER_CLASS(TcxTestForm, [](TClassBuilder<TcxTestForm>& c) {
  c.Field("Ok", &TcxTestForm::Ok);
  c.Field("Cancel", &TcxTestForm::Cancel);
  c.Field("Help", &TcxTestForm::Help);
  c.Method("OkClick", &TcxTestForm::OkClick);
})

const bool kRegistered = [] {
  RegisterFormResource("TCXTESTFORM", R"(object cxTestForm: TcxTestForm
  ClientHeight = 200
  ClientWidth = 300
  object Ok: TcxButton
    Left = 10
    Top = 10
    Width = 120
    Height = 50
    Caption = 'Gut'
    TabOrder = 2
    OnClick = OkClick
    Colors.Normal = clLime
    Colors.Pressed = clNavy
    WordWrap = True
  end
  object Cancel: TcxButton
    Left = 10
    Top = 70
    Width = 120
    Height = 50
    Caption = 'Abbrechen'
    TabOrder = 0
    Colors.Normal = clRed
  end
  object Help: TcxButton
    Left = 10
    Top = 130
    Width = 120
    Height = 50
    Caption = 'Hilfe'
    TabOrder = 1
  end
end
)");
  return true;
}();

class CxButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kRegistered);
    qt_test::EnsureApplication();
    Application->Reset();
    Application->CreateForm(&Form);
    ASSERT_NE(Form, nullptr);
    Form->ShowForm();
    QApplication::setActiveWindow(Form->Widget());
  }
  void TearDown() override {
    Application->DestroyComponents();
    Application->Reset();
  }

  // A pixel of the face: inside the border, outside the focus rectangle and the caption.
  static QColor FacePixel(TcxButton* button) {
    const QImage image = qt_test::Grab(button->Widget());
    return image.pixelColor(2, image.height() / 2);
  }

  TcxTestForm* Form = nullptr;
};

}  // namespace

TEST_F(CxButtonTest, StreamedPropertiesReachTheWidget) {
  EXPECT_EQ(Form->Ok->Caption(), "Gut");
  EXPECT_EQ(Form->Ok->ButtonWidget()->text(), "Gut");
  EXPECT_EQ(Form->Ok->Colors()->Normal(), clLime);
  EXPECT_EQ(Form->Ok->Colors()->Pressed(), clNavy);
  EXPECT_EQ(Form->Ok->Colors()->Hot(), clDefault);
  EXPECT_TRUE(Form->Ok->WordWrap());
  EXPECT_TRUE(Form->Ok->ButtonWidget()->WordWrap());
  EXPECT_FALSE(Form->Cancel->WordWrap());
  EXPECT_EQ(Form->Ok->Widget()->geometry(), QRect(10, 10, 120, 50));
  EXPECT_EQ(Form->Ok->Parent(), Form);
}

TEST_F(CxButtonTest, FacesPaintTheirColoursInEveryState) {
  TcxButtonWidget* ok = Form->Ok->ButtonWidget();
  EXPECT_TRUE(qt_test::Near(FacePixel(Form->Ok), QColor(0, 255, 0), 2));
  EXPECT_TRUE(qt_test::Near(FacePixel(Form->Cancel), QColor(255, 0, 0), 2));
  // Without Colors.Normal the face is the system's button face.
  EXPECT_TRUE(qt_test::Near(FacePixel(Form->Help), ColorToQColor(clBtnFace), 2));

  // Hover: a lighter face derived from Normal.
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), ok->mapToGlobal(QPointF(5, 5)));
  QApplication::sendEvent(ok, &enter);
  EXPECT_EQ(ok->State(), TcxButtonState::Hot);
  const QColor hot = FacePixel(Form->Ok);
  EXPECT_FALSE(qt_test::Near(hot, QColor(0, 255, 0), 10));
  EXPECT_GT(hot.lightness(), QColor(0, 255, 0).lightness());

  // Pressed: the explicitly set colour.
  ok->setDown(true);
  EXPECT_EQ(ok->State(), TcxButtonState::Pressed);
  EXPECT_TRUE(qt_test::Near(FacePixel(Form->Ok), QColor(0, 0, 128), 2));
  ok->setDown(false);

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(ok, &leave);
  EXPECT_EQ(ok->State(), TcxButtonState::Normal);

  // Derived pressed face of the red button: darker than its normal face.
  TcxButtonWidget* cancel = Form->Cancel->ButtonWidget();
  cancel->setDown(true);
  const QColor pressed = FacePixel(Form->Cancel);
  cancel->setDown(false);
  EXPECT_LT(pressed.lightness(), QColor(255, 0, 0).lightness());

  // Disabled: neither the normal face nor a click.
  Form->Cancel->SetEnabled(false);
  EXPECT_EQ(cancel->State(), TcxButtonState::Disabled);
  EXPECT_FALSE(qt_test::Near(FacePixel(Form->Cancel), QColor(255, 0, 0), 30));

  // A colour changed later repaints the face.
  Form->Help->Colors()->SetNormal(clBlue);
  EXPECT_TRUE(qt_test::Near(FacePixel(Form->Help), QColor(0, 0, 255), 2));
}

TEST_F(CxButtonTest, WordWrapKeepsALongCaptionInsideTheButton) {
  TcxButton* button = Form->Help;
  button->SetHeight(90);
  button->SetCaption("Ein sehr langer Text, der auf keinen Fall in eine einzige Zeile passt");
  button->SetWordWrap(false);
  const QRect area = button->ButtonWidget()->CaptionRect();
  EXPECT_GT(button->ButtonWidget()->CaptionBoundingRect().width(), area.width());

  button->SetWordWrap(true);
  const QRect wrapped = button->ButtonWidget()->CaptionBoundingRect();
  EXPECT_TRUE(area.contains(wrapped))
      << wrapped.x() << "," << wrapped.y() << " " << wrapped.width() << "x" << wrapped.height();
  EXPECT_GT(wrapped.height(), 2 * QFontMetrics(button->Widget()->font()).height());
}

TEST_F(CxButtonTest, ACaptionTooLongForTheButtonIsClippedToItsCaptionArea) {
  TcxButton* button = Form->Help;
  button->SetHeight(30);
  button->SetWordWrap(true);
  button->SetCaption("Viel zu viel Text fuer so einen kleinen Knopf, Zeile um Zeile um Zeile");
  ASSERT_GT(button->ButtonWidget()->CaptionBoundingRect().height(),
            button->ButtonWidget()->CaptionRect().height());
  // Nothing but face colour between the border and the caption area on every side.
  const QImage image = qt_test::Grab(button->Widget());
  const QColor face = ColorToQColor(clBtnFace);
  for (int y = 3; y < image.height() - 3; ++y) {
    for (int x : {2, image.width() - 3}) {
      ASSERT_TRUE(qt_test::Near(image.pixelColor(x, y), face, 4)) << x << "," << y;
    }
  }
  for (int x = 4; x < image.width() - 4; ++x) {
    for (int y : {2, image.height() - 3}) {
      ASSERT_TRUE(qt_test::Near(image.pixelColor(x, y), face, 4)) << x << "," << y;
    }
  }
}

TEST_F(CxButtonTest, MouseSpaceAndEnterClickOnceEachAndADisabledButtonNever) {
  TcxButtonWidget* ok = Form->Ok->ButtonWidget();
  qt_test::SendMouseClick(ok);
  EXPECT_EQ(Form->OkClicks, 1);
  ok->setFocus();
  qt_test::SendKey(ok, Qt::Key_Space);
  EXPECT_EQ(Form->OkClicks, 2);
  qt_test::SendKey(ok, Qt::Key_Return);
  EXPECT_EQ(Form->OkClicks, 3);
  // A release outside the button is no click.
  qt_test::SendMouseClick(ok, QPoint(ok->width() + 20, 5));
  EXPECT_EQ(Form->OkClicks, 3);
  Form->Ok->SetEnabled(false);
  qt_test::SendMouseClick(ok);
  EXPECT_EQ(Form->OkClicks, 3);
}

TEST_F(CxButtonTest, TabOrderDecidesTheKeyboardFocusOrder) {
  // Streamed: Cancel 0, Help 1, Ok 2 although Ok was read first.
  EXPECT_EQ(Form->Cancel->TabOrder(), 0);
  EXPECT_EQ(Form->Help->TabOrder(), 1);
  EXPECT_EQ(Form->Ok->TabOrder(), 2);

  Form->Cancel->SetFocus();
  ASSERT_TRUE(Form->Cancel->Focused());
  qt_test::SendKey(Form->Cancel->Widget(), Qt::Key_Tab);
  EXPECT_TRUE(Form->Help->Focused());
  qt_test::SendKey(Form->Help->Widget(), Qt::Key_Tab);
  EXPECT_TRUE(Form->Ok->Focused());

  // Moving one renumbers the others.
  Form->Ok->SetTabOrder(0);
  EXPECT_EQ(Form->Ok->TabOrder(), 0);
  EXPECT_EQ(Form->Cancel->TabOrder(), 1);
  EXPECT_EQ(Form->Help->TabOrder(), 2);
  qt_test::SendKey(Form->Ok->Widget(), Qt::Key_Tab);
  EXPECT_TRUE(Form->Cancel->Focused());

  // A button that is no tab stop is skipped.
  Form->Help->SetTabStop(false);
  qt_test::SendKey(Form->Cancel->Widget(), Qt::Key_Tab);
  EXPECT_TRUE(Form->Ok->Focused());
}

TEST_F(CxButtonTest, AnExceptionFromTheClickIsShownAndTheButtonStillWorks) {
  qt_test::RecordedBoxes boxes;
  int calls = 0;
  Form->Cancel->SetOnClick([&](TObject* sender) {
    EXPECT_EQ(sender, Form->Cancel);
    if (++calls == 1) throw EInvalidOperation("Nicht jetzt");
  });
  qt_test::SendMouseClick(Form->Cancel->Widget());
  ASSERT_EQ(boxes.Requests().size(), 1u);
  EXPECT_EQ(boxes.Requests()[0].Text, "Nicht jetzt.");
  EXPECT_EQ(boxes.Requests()[0].Title, Application->Title());
  qt_test::SendMouseClick(Form->Cancel->Widget());
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(boxes.Requests().size(), 1u);
}

TEST_F(CxButtonTest, TheWriterKeepsColoursCaptionAndHandler) {
  const std::string text = WriteComponentToText(Form);
  EXPECT_NE(text.find("Colors.Normal = clLime"), std::string::npos) << text;
  EXPECT_NE(text.find("Colors.Pressed = clNavy"), std::string::npos) << text;
  EXPECT_EQ(text.find("Colors.Hot"), std::string::npos) << text;
  EXPECT_NE(text.find("OnClick = OkClick"), std::string::npos) << text;
  EXPECT_NE(text.find("Caption = 'Abbrechen'"), std::string::npos) << text;
  EXPECT_NE(text.find("WordWrap = True"), std::string::npos) << text;
}
