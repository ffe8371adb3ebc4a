// Reading component descriptions: creation order, names before properties, deferred references,
// Loaded order and the reading/loading states, strings, sets, collections, binary data,
// DefineProperties, errors with line numbers; and writing them back (round trip).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/classes/Classes.h"

namespace {

std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

std::string StateText(const TComponent* c) {
  std::string s;
  if (c->ComponentState().Contains(csReading)) s += "R";
  if (c->ComponentState().Contains(csLoading)) s += "L";
  return s.empty() ? "-" : s;
}

enum TTstKind { tkAlpha, tkBeta, tkGamma };
using TTstKinds = TSet<TTstKind>;
enum TTstStyle { tsBold, tsItalic, tsUnderline };
using TTstStyles = TSet<TTstStyle>;

const TIdentMap& TstColorIdents() {
  static const TIdentMap map = {{0x0000FF, "clRed"}, {0xF0F0F0, "clBtnFace"}};
  return map;
}

class TTstFont : public TPersistent {
  VCL_DECLARE_CLASS(TTstFont, TPersistent)
 public:
  const std::string& Name() const { return FName; }
  void SetName(const std::string& v) { FName = v; }
  int Height() const { return FHeight; }
  void SetHeight(int v) { FHeight = v; }
  TTstStyles Style() const { return FStyle; }
  void SetStyle(TTstStyles v) { FStyle = v; }

 private:
  std::string FName = "Arial";
  int FHeight = -11;
  TTstStyles FStyle;
};
VCL_REGISTER_CLASS(TTstFont, [](TClassBuilder<TTstFont>& c) {
  c.Prop("Name", &TTstFont::Name, &TTstFont::SetName, "Arial");
  c.Prop("Height", &TTstFont::Height, &TTstFont::SetHeight, -11);
  c.Set("Style", &TTstFont::Style, &TTstFont::SetStyle, {"tsBold", "tsItalic", "tsUnderline"});
})

class TTstWidget;

class TTstItem : public TCollectionItem {
  VCL_DECLARE_CLASS(TTstItem, TCollectionItem)
 public:
  using TCollectionItem::TCollectionItem;
  const std::string& Name() const { return FName; }
  void SetName(const std::string& v) { FName = v; }
  int Size() const { return FSize; }
  void SetSize(int v) { FSize = v; }
  TTstWidget* Target() const { return FTarget; }
  void SetTarget(TTstWidget* v) { FTarget = v; }

 private:
  std::string FName;
  int FSize = 0;
  TTstWidget* FTarget = nullptr;
};

class TTstWidget : public TComponent {
  VCL_DECLARE_CLASS(TTstWidget, TComponent)
 public:
  explicit TTstWidget(TComponent* AOwner)
      : TComponent(AOwner), FItems(this, TTstItem::StaticClass()) {
    Log().push_back("create " + ClassName());
  }
  ~TTstWidget() override { Log().push_back("destroy " + Name()); }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v) {
    Log().push_back("Caption of '" + Name() + "' " + StateText(this));
    FCaption = v;
  }
  int Left() const { return FLeft; }
  void SetLeft(int v) { FLeft = v; }
  uint8_t Small() const { return FSmall; }
  void SetSmall(uint8_t v) { FSmall = v; }
  int64_t Big() const { return FBig; }
  void SetBig(int64_t v) { FBig = v; }
  double Ratio() const { return FRatio; }
  void SetRatio(double v) { FRatio = v; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v) { FEnabled = v; }
  TTstKind Kind() const { return FKind; }
  void SetKind(TTstKind v) { FKind = v; }
  TTstKinds Kinds() const { return FKinds; }
  void SetKinds(TTstKinds v) { FKinds = v; }
  int Color() const { return FColor; }
  void SetColor(int v) { FColor = v; }
  TTstFont* Font() const { return const_cast<TTstFont*>(&FFont); }
  TStringList* Lines() const { return const_cast<TStringList*>(&FLines); }
  TOwnedCollection* Items() const { return const_cast<TOwnedCollection*>(&FItems); }
  TTstWidget* Buddy() const { return FBuddy; }
  void SetBuddy(TTstWidget* v) {
    Log().push_back("Buddy of " + Name() + " = " + (v ? v->Name() : "nil") + " " + StateText(this));
    FBuddy = v;
    if (v) v->FreeNotification(this);
  }
  // Position is clamped to Max, except while loading: then Loaded applies it.
  int Max() const { return FMax; }
  void SetMax(int v) { FMax = v; }
  int Position() const { return FPosition; }
  void SetPosition(int v) {
    if (ComponentState().Contains(csLoading)) {
      FPosition = v;
      return;
    }
    FPosition = std::min(v, FMax);
  }
  // A setter that refuses negative values with the framework's range error.
  int Checked() const { return FChecked; }
  void SetChecked(int v) {
    if (v < 0) throw ERangeError("Bereichsüberprüfungsfehler");
    FChecked = v;
  }
  const TNotifyEvent& OnClick() const { return FOnClick; }
  void SetOnClick(TNotifyEvent v) { FOnClick = std::move(v); }
  // By value on purpose: the property table must cope with getters that return a copy.
  std::function<void(TObject*, int)> OnValue() const { return FOnValue; }
  void SetOnValue(std::function<void(TObject*, int)> v) { FOnValue = std::move(v); }

  std::vector<uint8_t> Data;
  int WaitCursorReads = 0;
  TComponent* ParentSeen = nullptr;
  bool StoreLeft = true;
  bool IsLeftStored() const { return StoreLeft; }
  void SetParentComponent(TComponent* Value) override { ParentSeen = Value; }

  void Loaded() override {
    TComponent::Loaded();
    Log().push_back("Loaded " + Name() + " " + StateText(this) +
                    (FBuddy ? " buddy=" + FBuddy->Name() : ""));
    FPosition = std::min(FPosition, FMax);
  }
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FBuddy) FBuddy = nullptr;
  }
  void DefineProperties(TFiler* Filer) override {
    TComponent::DefineProperties(Filer);
    Filer->DefineBinaryProperty(
        "Data",
        [this](TStream& s) {
          Data.resize(static_cast<size_t>(s.Size()));
          if (!Data.empty()) s.ReadBuffer(Data.data(), s.Size());
        },
        [this](TStream& s) { s.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size())); },
        !Data.empty());
    Filer->DefineProperty(
        "WaitCursor",
        [this](TReader& r) {
          if (r.NextValue() == vaIdent)
            r.ReadIdent();
          else
            r.ReadInteger();
          ++WaitCursorReads;
        },
        nullptr, false);
    Filer->DefineProperty(
        "ItemData", [this](TReader& r) { r.ReadCollection(&FItems); },
        [this](TWriter& w) { w.WriteCollection(&FItems); }, true);
  }

 private:
  std::string FCaption;
  int FLeft = 0;
  uint8_t FSmall = 0;
  int64_t FBig = 0;
  double FRatio = 0;
  bool FEnabled = true;
  TTstKind FKind = tkAlpha;
  TTstKinds FKinds{tkBeta};
  int FColor = 0xF0F0F0;
  TTstFont FFont;
  TStringList FLines;
  TOwnedCollection FItems;
  TTstWidget* FBuddy = nullptr;
  int FMax = 10;
  int FPosition = 0;
  int FChecked = 0;
  TNotifyEvent FOnClick;
  std::function<void(TObject*, int)> FOnValue;
};
VCL_REGISTER_CLASS(TTstWidget, [](TClassBuilder<TTstWidget>& c) {
  using T = TTstWidget;
  c.Prop("Caption", &T::Caption, &T::SetCaption);
  c.Prop("Left", &T::Left, &T::SetLeft, 0).Stored(&T::IsLeftStored);
  c.Prop("Small", &T::Small, &T::SetSmall, 0);
  c.Prop("Big", &T::Big, &T::SetBig, 0);
  c.Prop("Ratio", &T::Ratio, &T::SetRatio, 0.0);
  c.Prop("Enabled", &T::Enabled, &T::SetEnabled, true);
  c.Enum("Kind", &T::Kind, &T::SetKind, {"tkAlpha", "tkBeta", "tkGamma"}, tkAlpha);
  c.Set("Kinds", &T::Kinds, &T::SetKinds, {"tkAlpha", "tkBeta", "tkGamma"}, TTstKinds{tkBeta});
  c.IntIdent("Color", &T::Color, &T::SetColor, TstColorIdents(), 0xF0F0F0);
  c.Object("Font", &T::Font);
  c.Strings("Lines", &T::Lines);
  c.Collection("Items", &T::Items);
  c.Ref("Buddy", &T::Buddy, &T::SetBuddy);
  c.Prop("Max", &T::Max, &T::SetMax, 10);
  c.Prop("Position", &T::Position, &T::SetPosition, 0);
  c.Prop("Checked", &T::Checked, &T::SetChecked, 0);
  c.Event("OnClick", &T::OnClick, &T::SetOnClick);
  c.Event("OnValue", &T::OnValue, &T::SetOnValue);
})

VCL_REGISTER_CLASS(TTstItem, [](TClassBuilder<TTstItem>& c) {
  c.Prop("Name", &TTstItem::Name, &TTstItem::SetName);
  c.Prop("Size", &TTstItem::Size, &TTstItem::SetSize, 0);
  c.Ref("Target", &TTstItem::Target, &TTstItem::SetTarget);
})

// Another component class, only reachable through the registry (no field of the form has it).
class TTstOther : public TComponent {
  VCL_DECLARE_CLASS(TTstOther, TComponent)
 public:
  using TComponent::TComponent;
};
VCL_REGISTER_CLASS(TTstOther, [](TClassBuilder<TTstOther>&) {})

std::vector<std::string>& ProbeSeen() {
  static std::vector<std::string> seen;
  return seen;
}

// Records in its Loaded the states of the owner and of all the owner's components.
class TTstProbe : public TComponent {
  VCL_DECLARE_CLASS(TTstProbe, TComponent)
 public:
  using TComponent::TComponent;
  void Loaded() override {
    TComponent::Loaded();
    std::string s = Name() + ": " + Owner()->Name() + "=" + StateText(Owner());
    for (int i = 0; i < Owner()->ComponentCount(); ++i)
      s += " " + Owner()->Components(i)->Name() + "=" + StateText(Owner()->Components(i));
    ProbeSeen().push_back(s);
  }
};
VCL_REGISTER_CLASS(TTstProbe, [](TClassBuilder<TTstProbe>&) {})

class TTstForm : public TComponent {
  VCL_DECLARE_CLASS(TTstForm, TComponent)
 public:
  explicit TTstForm(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
  ~TTstForm() override { DestroyComponents(); }

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v) {
    Log().push_back("Caption of form " + StateText(this));
    FCaption = v;
  }
  void Loaded() override {
    TComponent::Loaded();
    Log().push_back("Loaded form " + StateText(this));
  }
  void Button1Click(TObject* Sender) { Clicks.push_back(static_cast<TComponent*>(Sender)); }
  void ValueChanged(TObject*, int v) { Values.push_back(v); }

  TTstWidget* Button1 = nullptr;
  TTstWidget* Button2 = nullptr;
  std::vector<TComponent*> Clicks;
  std::vector<int> Values;

 private:
  std::string FCaption;
};
VCL_REGISTER_CLASS(TTstForm, [](TClassBuilder<TTstForm>& c) {
  c.Prop("Caption", &TTstForm::Caption, &TTstForm::SetCaption);
  c.Field("Button1", &TTstForm::Button1);
  c.Field("Button2", &TTstForm::Button2);
  c.Method("Button1Click", &TTstForm::Button1Click);
  c.Method("ValueChanged", &TTstForm::ValueChanged);
})

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Log().clear();
    ProbeSeen().clear();
  }
};

const char* kForm =
    "object Form1: TTstForm\n"                                               // 1
    "  Caption = 'Form1'\n"                                                  // 2
    "  object Button1: TTstWidget\n"                                         // 3
    "    Caption = 'Hier klicken, um die  Daten'#13#10'zu '#228'ndern !'\n"  // 4
    "    Buddy = Other1\n"                                                   // 5
    "    OnClick = Button1Click\n"                                           // 6
    "  end\n"                                                                // 7
    "  object Button2: TTstWidget\n"                                         // 8
    "    Caption = 'It''s'\n"                                                // 9
    "    Buddy = Button1\n"                                                  // 10
    "  end\n"                                                                // 11
    "  object Other1: TTstWidget\n"                                          // 12
    "    Caption = 'Other'\n"                                                // 13
    "  end\n"                                                                // 14
    "end\n";

TEST_F(ReaderTest, CreatesInStreamOrderSetsNamesFirstAndDefersReferences) {
  TTstForm form;
  ReadComponentFromText(kForm, &form);
  EXPECT_EQ(form.Name(), "Form1");
  ASSERT_EQ(form.ComponentCount(), 3);
  EXPECT_EQ(form.Components(0)->Name(), "Button1");
  EXPECT_EQ(form.Components(1)->Name(), "Button2");
  EXPECT_EQ(form.Components(2)->Name(), "Other1");
  EXPECT_EQ(form.Button1, form.Components(0));
  EXPECT_EQ(form.Button2, form.Components(1));

  // Names are set before properties; properties are set while reading+loading; references
  // come after all objects exist (Other1 appears after Button1), in stream order; then Loaded in
  // reading order with csReading already gone and csLoading cleared just before each one.
  std::vector<std::string> expected = {
      "Caption of form RL",
      "create TTstWidget",
      "Caption of 'Button1' RL",
      "create TTstWidget",
      "Caption of 'Button2' RL",
      "create TTstWidget",
      "Caption of 'Other1' RL",
      "Buddy of Button1 = Other1 RL",
      "Buddy of Button2 = Button1 RL",
      "Loaded form -",
      "Loaded Button1 - buddy=Other1",
      "Loaded Button2 - buddy=Button1",
      "Loaded Other1 -",
  };
  EXPECT_EQ(Log(), expected);
}

TEST_F(ReaderTest, LaterComponentsAreStillLoadingDuringAnEarlierLoaded) {
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object A: TTstProbe\n"
      "  end\n"
      "  object B: TTstProbe\n"
      "  end\n"
      "end\n",
      &form);
  // When A's Loaded ran: the form was loaded, A itself no longer loading, B still loading;
  // nobody reading.
  ASSERT_EQ(ProbeSeen().size(), 2u);
  EXPECT_EQ(ProbeSeen()[0], "A: F=- A=- B=L");
  EXPECT_EQ(ProbeSeen()[1], "B: F=- A=- B=-");
}

TEST_F(ReaderTest, StringsKeepBlanksQuotesAndCharacterCodes) {
  TTstForm form;
  ReadComponentFromText(kForm, &form);
  EXPECT_EQ(form.Button1->Caption(),
            "Hier klicken, um die  Daten\r\nzu \xC3\xA4ndern !");  // two blanks, ä as UTF-8
  EXPECT_EQ(form.Button2->Caption(), "It's");
}

TEST_F(ReaderTest, StringContinuationSurrogatePairsAndRawUtf8) {
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Caption = 'first ' +\n"
      "      'second'#55357#56832' l\xC3\xA4uft'\n"
      "  end\n"
      "end\n",
      &form);
  EXPECT_EQ(form.Button1->Caption(), "first second\xF0\x9F\x98\x80 l\xC3\xA4uft");
}

TEST_F(ReaderTest, CaptionSplitOverLinesKeepsBothBlanks) {
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Caption = \n"
      "      'Hier klicken, um die  Datenbankstruktur von Vaskoli_AB an die Ver' +\n"
      "      'sion 1.1 anzupassen !'\n"
      "  end\n"
      "end\n",
      &form);
  EXPECT_EQ(form.Button1->Caption(),
            "Hier klicken, um die  Datenbankstruktur von Vaskoli_AB an die Version 1.1 "
            "anzupassen !");
}

TEST_F(ReaderTest, EventHandlersResolveAgainstRootMethods) {
  TTstForm form;
  ReadComponentFromText(kForm, &form);
  ASSERT_TRUE(form.Button1->OnClick());
  form.Button1->OnClick()(form.Button1);
  ASSERT_EQ(form.Clicks.size(), 1u);
  EXPECT_EQ(form.Clicks[0], form.Button1);
  EXPECT_FALSE(form.Button2->OnClick());
}

TEST_F(ReaderTest, ScalarSetEnumIdentAndNestedValues) {
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Left = -120\n"
      "    Small = $FF\n"
      "    Big = 12345678901234\n"
      "    Ratio = 1.5E3\n"
      "    Enabled = False\n"
      "    Kind = tkGamma\n"
      "    Kinds = [tkAlpha, tkGamma]\n"
      "    Color = clRed\n"
      "    Font.Name = 'Tahoma'\n"
      "    Font.Style = []\n"
      "    Lines.Strings = (\n"
      "      'ALTER TABLE a'\n"
      "      'ALTER TABLE b')\n"
      "    OnValue = ValueChanged\n"
      "  end\n"
      "  object Button2: TTstWidget\n"
      "    Color = 4259584\n"
      "    Font.Style = [tsBold, tsUnderline]\n"
      "    Kinds = []\n"
      "  end\n"
      "end\n",
      &form);
  TTstWidget* b = form.Button1;
  EXPECT_EQ(b->Left(), -120);
  EXPECT_EQ(b->Small(), 255);
  EXPECT_EQ(b->Big(), 12345678901234LL);
  EXPECT_DOUBLE_EQ(b->Ratio(), 1500.0);
  EXPECT_FALSE(b->Enabled());
  EXPECT_EQ(b->Kind(), tkGamma);
  EXPECT_EQ(b->Kinds(), (TTstKinds{tkAlpha, tkGamma}));
  EXPECT_EQ(b->Color(), 0x0000FF);
  EXPECT_EQ(b->Font()->Name(), "Tahoma");
  EXPECT_TRUE(b->Font()->Style().Empty());
  ASSERT_EQ(b->Lines()->Count(), 2);
  EXPECT_EQ(b->Lines()->Text(), "ALTER TABLE a\r\nALTER TABLE b\r\n");
  ASSERT_TRUE(b->OnValue());
  b->OnValue()(b, 7);
  EXPECT_EQ(form.Values, std::vector<int>{7});
  EXPECT_EQ(form.Button2->Color(), 4259584);
  EXPECT_EQ(form.Button2->Font()->Style(), (TTstStyles{tsBold, tsUnderline}));
  EXPECT_TRUE(form.Button2->Kinds().Empty());
}

TEST_F(ReaderTest, PropertyStreamedBeforeTheOneItDependsOn) {
  // Position (50) comes before Max (100): a setter that clamps would lose it, unless it keeps
  // the value while csLoading and applies it in Loaded.
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Position = 50\n"
      "    Max = 100\n"
      "  end\n"
      "end\n",
      &form);
  EXPECT_EQ(form.Button1->Position(), 50);
  form.Button1->SetPosition(500);  // outside loading the setter clamps
  EXPECT_EQ(form.Button1->Position(), 100);
}

TEST_F(ReaderTest, CollectionsWithItemsAndReferencesInsideItems) {
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Items = <\n"
      "      item\n"
      "        Name = 'one'\n"
      "        Size = 1\n"
      "        Target = Button2\n"
      "      end\n"
      "      item\n"
      "        Name = 'two'\n"
      "      end>\n"
      "    ItemData = <>\n"
      "  end\n"
      "  object Button2: TTstWidget\n"
      "  end\n"
      "end\n",
      &form);
  // ItemData (a DefineProperties collection) read last clears the items: <> is an empty
  // collection.
  EXPECT_EQ(form.Button1->Items()->Count(), 0);

  TTstForm form2;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Items = <\n"
      "      item\n"
      "        Name = 'one'\n"
      "        Size = 1\n"
      "        Target = Button2\n"
      "      end\n"
      "      item\n"
      "        Name = 'two'\n"
      "      end>\n"
      "  end\n"
      "  object Button2: TTstWidget\n"
      "  end\n"
      "end\n",
      &form2);
  auto* items = form2.Button1->Items();
  ASSERT_EQ(items->Count(), 2);
  auto* first = static_cast<TTstItem*>(items->Items(0));
  EXPECT_EQ(first->Name(), "one");
  EXPECT_EQ(first->Size(), 1);
  EXPECT_EQ(first->Target(), form2.Button2);
  EXPECT_EQ(static_cast<TTstItem*>(items->Items(1))->Name(), "two");
}

TEST_F(ReaderTest, BinaryAndDefinedProperties) {
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Data = {\n"
      "      0001FF\n"
      "      7f}\n"
      "    WaitCursor = crHourGlass\n"
      "  end\n"
      "  object Button2: TTstWidget\n"
      "    WaitCursor = -11\n"
      "  end\n"
      "end\n",
      &form);
  EXPECT_EQ(form.Button1->Data, (std::vector<uint8_t>{0x00, 0x01, 0xFF, 0x7F}));
  EXPECT_EQ(form.Button1->WaitCursorReads, 1);
  EXPECT_EQ(form.Button2->WaitCursorReads, 1);
}

TEST_F(ReaderTest, ComponentByRegisteredClassWithoutFieldAndUnnamedComponents) {
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n  object X: TTstOther\n  end\n  object TTstOther\n  end\nend\n", &form);
  ASSERT_EQ(form.ComponentCount(), 2);
  EXPECT_EQ(form.Components(0)->ClassName(), "TTstOther");
  EXPECT_EQ(form.FindComponent("x"), form.Components(0));
  EXPECT_EQ(form.Components(1)->Name(), "");
  std::string text = WriteComponentToText(&form);
  EXPECT_EQ(text,
            "object F: TTstForm\n  object X: TTstOther\n  end\n  object TTstOther\n  end\nend\n");
}

TEST_F(ReaderTest, NestedObjectsAreOwnedByTheRootAndParentedByTheirContainer) {
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    object Button2: TTstWidget\n"
      "      Caption = 'inner'\n"
      "    end\n"
      "    Caption = 'outer'\n"
      "  end\n"
      "end\n",
      &form);
  ASSERT_NE(form.Button2, nullptr);
  EXPECT_EQ(form.Button2->Owner(), &form);
  EXPECT_EQ(form.Button2->ParentSeen, form.Button1);
  EXPECT_EQ(form.Button1->ParentSeen, &form);
  EXPECT_EQ(form.Button2->Caption(), "inner");
  EXPECT_EQ(form.Button1->Caption(), "outer");
}

TEST_F(ReaderTest, QualifiedGlobalAndNilReferences) {
  TTstForm other;
  other.SetName("Other");
  auto* target = new TTstWidget(&other);
  target->SetName("Target");
  SetFindGlobalComponent([&](const std::string& name) -> TComponent* {
    return SameText(name, "Other") ? &other : nullptr;
  });
  Finally reset([] { SetFindGlobalComponent(nullptr); });
  TTstForm form;
  ReadComponentFromText(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Buddy = F.Button2\n"
      "    Items = <\n"
      "      item\n"
      "        Target = Other.Target\n"
      "      end>\n"
      "  end\n"
      "  object Button2: TTstWidget\n"
      "    Buddy = nil\n"
      "  end\n"
      "end\n",
      &form);
  EXPECT_EQ(form.Button1->Buddy(), form.Button2);
  EXPECT_EQ(static_cast<TTstItem*>(form.Button1->Items()->Items(0))->Target(), target);
  EXPECT_EQ(form.Button2->Buddy(), nullptr);
  // The writer names a component of another root with that root's name.
  form.Button2->SetBuddy(target);
  EXPECT_THAT(WriteComponentToText(&form), ::testing::HasSubstr("Buddy = Other.Target\n"));
  form.Button2->SetBuddy(nullptr);
}

TEST_F(ReaderTest, ByteOrderMarkIsSkipped) {
  TTstForm form;
  ReadComponentFromText("\xEF\xBB\xBFobject F: TTstForm\n  Caption = 'x'\nend\n", &form);
  EXPECT_EQ(form.Caption(), "x");
}

TEST_F(ReaderTest, WriterHonoursTheStoredPredicate) {
  TTstForm form;
  form.SetName("F");
  auto* a = new TTstWidget(&form);
  a->SetName("A");
  a->SetLeft(7);
  EXPECT_THAT(WriteComponentToText(&form), ::testing::HasSubstr("Left = 7"));
  a->StoreLeft = false;
  EXPECT_THAT(WriteComponentToText(&form), ::testing::Not(::testing::HasSubstr("Left")));
}

// --- errors ---------------------------------------------------------------------------------

std::string ReadError(const std::string& text, std::string* className = nullptr) {
  TTstForm form;
  try {
    ReadComponentFromText(text, &form);
  } catch (const Exception& e) {
    if (className) *className = e.ClassName();
    return e.Message();
  }
  return "";
}

TEST_F(ReaderTest, UnknownClassNamesClassAndLine) {
  std::string cls;
  std::string msg = ReadError(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "  end\n"
      "  object Q: TNoSuchClass\n"
      "  end\n"
      "end\n",
      &cls);
  EXPECT_EQ(cls, "EClassNotFound");
  EXPECT_THAT(msg, ::testing::HasSubstr("TNoSuchClass"));
  EXPECT_THAT(msg, ::testing::HasSubstr("Zeile 4"));
}

TEST_F(ReaderTest, UnknownPropertyNamesPropertyAndLine) {
  std::string cls;
  std::string msg = ReadError(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Caption = 'x'\n"
      "    Colour = 5\n"
      "  end\n"
      "end\n",
      &cls);
  EXPECT_EQ(cls, "EReadError");
  EXPECT_THAT(msg, ::testing::HasSubstr("Button1.Colour"));
  EXPECT_THAT(msg, ::testing::HasSubstr("Zeile 4"));
  EXPECT_THAT(ReadError("object F: TTstForm\n object B: TTstWidget\n  Font.Size = 3\n end\nend"),
              ::testing::AllOf(::testing::HasSubstr("Font.Size"), ::testing::HasSubstr("Zeile 3")));
}

TEST_F(ReaderTest, UnknownOrMismatchedEventHandler) {
  std::string msg = ReadError(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    OnClick = NoSuchHandler\n"
      "  end\n"
      "end\n");
  EXPECT_THAT(msg, ::testing::HasSubstr("NoSuchHandler"));
  EXPECT_THAT(msg, ::testing::HasSubstr("Zeile 3"));
  msg = ReadError(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    OnClick = ValueChanged\n"
      "  end\n"
      "end\n");
  EXPECT_THAT(msg, ::testing::HasSubstr("ValueChanged"));
}

TEST_F(ReaderTest, UnresolvedReferenceNamesLineAfterReading) {
  std::string cls;
  std::string msg = ReadError(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Buddy = Ghost\n"
      "  end\n"
      "end\n",
      &cls);
  EXPECT_EQ(cls, "EReadError");
  EXPECT_THAT(msg, ::testing::HasSubstr("Ghost"));
  EXPECT_THAT(msg, ::testing::HasSubstr("Zeile 3"));
  // A reference to a component of the wrong type.
  msg = ReadError(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Buddy = X\n"
      "  end\n"
      "  object X: TTstOther\n"
      "  end\n"
      "end\n");
  EXPECT_THAT(msg, ::testing::HasSubstr("TTstOther"));
}

TEST_F(ReaderTest, BadValuesAreReadErrors) {
  const char* cases[] = {
      "object F: TTstForm\n object B: TTstWidget\n  Kind = tkDelta\n end\nend\n",
      "object F: TTstForm\n object B: TTstWidget\n  Small = 256\n end\nend\n",
      "object F: TTstForm\n object B: TTstWidget\n  Left = 'text'\n end\nend\n",
      "object F: TTstForm\n object B: TTstWidget\n  Kinds = [tkAlpha, tkNone]\n end\nend\n",
      "object F: TTstForm\n object B: TTstWidget\n  Caption = 'open\n end\nend\n",
      "object F: TTstForm\n object B: TTstWidget\n  Data = {ABC}\n end\nend\n",
      "object F: TTstForm\n object B: TTstWidget\n  Color = clNoSuchColor\n end\nend\n",
  };
  for (const char* text : cases) {
    std::string cls;
    std::string msg = ReadError(text, &cls);
    EXPECT_EQ(cls, "EReadError") << text;
    EXPECT_THAT(msg, ::testing::HasSubstr("Zeile 3")) << text;
  }
}

TEST_F(ReaderTest, SetterExceptionKeepsItsClassAndGetsTheLine) {
  std::string cls;
  std::string msg = ReadError(
      "object F: TTstForm\n"
      "  object Button1: TTstWidget\n"
      "    Checked = -1\n"
      "  end\n"
      "end\n",
      &cls);
  EXPECT_EQ(cls, "ERangeError");
  EXPECT_THAT(msg, ::testing::HasSubstr("Button1.Checked"));
  EXPECT_THAT(msg, ::testing::HasSubstr("Zeile 3"));
}

TEST_F(ReaderTest, InheritedAndInlineAreRefusedClearly) {
  std::string msg = ReadError("inherited Form1: TTstForm\nend\n");
  EXPECT_THAT(msg, ::testing::HasSubstr("inherited"));
  msg = ReadError("object F: TTstForm\n  inline X: TTstOther\n  end\nend\n");
  EXPECT_THAT(msg, ::testing::HasSubstr("inline"));
  EXPECT_THAT(msg, ::testing::HasSubstr("Zeile 2"));
}

TEST_F(ReaderTest, RootClassMustMatchAndDuplicateChildNamesFail) {
  EXPECT_THAT(ReadError("object F: TTstOther\nend\n"), ::testing::HasSubstr("TTstOther"));
  std::string cls;
  std::string msg = ReadError(
      "object F: TTstForm\n object A: TTstOther\n end\n object a: TTstOther\n end\nend\n", &cls);
  EXPECT_EQ(cls, "EComponentError");
  EXPECT_THAT(msg, ::testing::HasSubstr("Zeile 4"));
}

TEST_F(ReaderTest, FailureLeavesCreatedComponentsOwnedAndNotLoaded) {
  TTstForm form;
  EXPECT_THROW(ReadComponentFromText("object F: TTstForm\n"
                                     "  object Button1: TTstWidget\n"
                                     "  end\n"
                                     "  object Button2: TTstWidget\n"
                                     "    Bogus = 1\n"
                                     "  end\n"
                                     "end\n",
                                     &form),
               EReadError);
  EXPECT_EQ(form.ComponentCount(), 2);
  EXPECT_EQ(form.Button1, form.Components(0));
  for (const auto& line : Log()) EXPECT_THAT(line, ::testing::Not(::testing::StartsWith("Loaded")));
  EXPECT_FALSE(form.Button1->ComponentState().Contains(csReading));
}

TEST_F(ReaderTest, LoadedFailureStopsLaterLoaded) {
  // An exception from the root's Loaded propagates unchanged; later components get no Loaded.
  class TBadForm : public TTstForm {
   public:
    void Loaded() override {
      TTstForm::Loaded();
      throw EInvalidOperation("kaputt");
    }
  };
  TBadForm form;
  try {
    ReadComponentFromText(kForm, &form);
    FAIL() << "expected EInvalidOperation";
  } catch (const EInvalidOperation& e) {
    EXPECT_EQ(e.Message(), "kaputt");
  }
  // The children were read (references set) but never got Loaded; they are still loading.
  EXPECT_EQ(form.Button2->Buddy(), form.Button1);
  EXPECT_TRUE(form.Button1->ComponentState().Contains(csLoading));
  EXPECT_FALSE(form.Button1->ComponentState().Contains(csReading));
}

TEST_F(ReaderTest, CreateComponentFromTextBuildsTheRoot) {
  TComponent* root = CreateComponentFromText(kForm, nullptr);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->ClassName(), "TTstForm");
  EXPECT_EQ(static_cast<TTstForm*>(root)->Button2->Caption(), "It's");
  delete root;
  EXPECT_THROW(CreateComponentFromText("object F: TNoSuch\nend\n", nullptr), EClassNotFound);
}

// --- writer ---------------------------------------------------------------------------------

TEST_F(ReaderTest, WriterRoundTripReproducesComponents) {
  TTstForm form;
  form.SetName("Form1");
  form.SetCaption("Main");
  auto* a = new TTstWidget(&form);
  a->SetName("Button1");
  a->SetCaption("Hier klicken, um die  Daten\r\n\xC3\xA4ndern 'jetzt' !");
  a->SetLeft(-5);
  a->SetSmall(200);
  a->SetBig(-9000000000LL);
  a->SetRatio(0.1);
  a->SetEnabled(false);
  a->SetKind(tkBeta);
  a->SetKinds(TTstKinds{tkAlpha, tkGamma});
  a->SetColor(0x0000FF);
  a->Font()->SetName("Tahoma");
  a->Font()->SetStyle(TTstStyles{tsItalic});
  a->Lines()->Add("line one");
  a->Lines()->Add("");
  a->Lines()->Add("line 'three'");
  a->Data = {0xDE, 0xAD, 0xBE, 0xEF};
  auto* item = static_cast<TTstItem*>(a->Items()->Add());
  item->SetName("first");
  item->SetSize(3);
  auto* b = new TTstWidget(&form);
  b->SetName("Button2");
  b->SetColor(4259584);
  b->SetBuddy(a);
  item->SetTarget(b);
  a->SetOnClick(MethodByName<void(TObject*)>(&form, "Button1Click"));
  a->SetOnValue([](TObject*, int) {});  // a plain lambda is not a published method: not written
  b->SetOnValue(MethodByName<void(TObject*, int)>(&form, "ValueChanged"));

  std::string text = WriteComponentToText(&form);
  EXPECT_THAT(text, ::testing::StartsWith("object Form1: TTstForm\n  Caption = 'Main'\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("    Color = clRed\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("    Color = 4259584\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("    Font.Name = 'Tahoma'\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("    Kinds = [tkAlpha, tkGamma]\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("    OnClick = Button1Click\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("    Buddy = Button1\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("'line one'\n      ''\n      'line ''three''')\n"));
  EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("OnValue = <")));
  EXPECT_EQ(text.find("OnValue"), text.rfind("OnValue"));  // only Button2's
  EXPECT_THAT(text, ::testing::HasSubstr("    OnValue = ValueChanged\n"));
  EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("Max =")));  // default not written
  EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("WaitCursor")));

  TTstForm copy;
  ReadComponentFromText(text, &copy);
  ASSERT_NE(copy.Button1, nullptr);
  ASSERT_NE(copy.Button2, nullptr);
  TTstWidget* ca = copy.Button1;
  EXPECT_EQ(ca->Caption(), a->Caption());
  EXPECT_EQ(ca->Left(), -5);
  EXPECT_EQ(ca->Small(), 200);
  EXPECT_EQ(ca->Big(), -9000000000LL);
  EXPECT_DOUBLE_EQ(ca->Ratio(), 0.1);
  EXPECT_FALSE(ca->Enabled());
  EXPECT_EQ(ca->Kind(), tkBeta);
  EXPECT_EQ(ca->Kinds(), (TTstKinds{tkAlpha, tkGamma}));
  EXPECT_EQ(ca->Font()->Name(), "Tahoma");
  EXPECT_EQ(ca->Font()->Style(), TTstStyles{tsItalic});
  EXPECT_TRUE(ca->Lines()->Equals(a->Lines()));
  EXPECT_EQ(ca->Data, a->Data);
  ASSERT_EQ(ca->Items()->Count(), 1);
  EXPECT_EQ(static_cast<TTstItem*>(ca->Items()->Items(0))->Target(), copy.Button2);
  EXPECT_EQ(copy.Button2->Buddy(), ca);
  EXPECT_EQ(copy.Button2->Color(), 4259584);
  ASSERT_TRUE(ca->OnClick());
  ca->OnClick()(ca);
  EXPECT_EQ(copy.Clicks, std::vector<TComponent*>{ca});
  ASSERT_TRUE(copy.Button2->OnValue());
  EXPECT_FALSE(ca->OnValue());
  copy.Button2->OnValue()(copy.Button2, 3);
  EXPECT_EQ(copy.Values, std::vector<int>{3});
  // Writing the copy gives the same text again.
  EXPECT_EQ(WriteComponentToText(&copy), text);
}

TEST_F(ReaderTest, WriterListsEmptyAndDefaultedValues) {
  TTstForm form;
  form.SetName("F");
  auto* a = new TTstWidget(&form);
  a->SetName("A");
  a->SetKinds(TTstKinds{});  // differs from the default [tkBeta]
  a->SetRatio(2.0);
  std::string text = WriteComponentToText(&form);
  EXPECT_EQ(text,
            "object F: TTstForm\n"
            "  object A: TTstWidget\n"
            "    Ratio = 2.0\n"
            "    Kinds = []\n"
            "    ItemData = <>\n"
            "  end\n"
            "end\n");
  TTstForm copy;
  ReadComponentFromText(text, &copy);
  EXPECT_TRUE(copy.Button1 == nullptr);
  auto* ca = static_cast<TTstWidget*>(copy.FindComponent("A"));
  ASSERT_NE(ca, nullptr);
  EXPECT_TRUE(ca->Kinds().Empty());
  EXPECT_DOUBLE_EQ(ca->Ratio(), 2.0);
}

}  // namespace
