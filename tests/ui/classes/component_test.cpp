// Component ownership, names, reverse destruction order, notifications and free notification;
// class registry and property tables.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/classes/Classes.h"

namespace {

std::vector<std::string>& Events() {
  static std::vector<std::string> events;
  return events;
}

class TTrkComponent : public TComponent {
  VCL_DECLARE_CLASS(TTrkComponent, TComponent)
 public:
  explicit TTrkComponent(TComponent* AOwner, std::string Label = "")
      : TComponent(AOwner), FLabel(std::move(Label)) {}
  ~TTrkComponent() override {
    Events().push_back("destroy " + FLabel + (ComponentState().Contains(csDestroying) ? " D" : ""));
  }
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    // Only the TComponent part of AComponent is whole here (it may be under construction or
    // destruction): use its name, never its own members.
    Events().push_back(FLabel + (Operation == opInsert ? " +" : " -") + AComponent->Name());
    if (Operation == opRemove && AComponent == Watched) Watched = nullptr;
  }
  TComponent* Watched = nullptr;

 private:
  std::string FLabel;
};
VCL_REGISTER_CLASS(TTrkComponent, [](TClassBuilder<TTrkComponent>&) {})

class TTrkOwner : public TComponent {
  VCL_DECLARE_CLASS(TTrkOwner, TComponent)
 public:
  using TComponent::TComponent;
  ~TTrkOwner() override { DestroyComponents(); }
  TTrkComponent* First = nullptr;
};
VCL_REGISTER_CLASS(TTrkOwner,
                   [](TClassBuilder<TTrkOwner>& c) { c.Field("First", &TTrkOwner::First); })

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override { Events().clear(); }
};

TEST_F(ComponentTest, OwnedComponentsAreDestroyedInReverseCreationOrder) {
  auto* owner = new TTrkOwner(nullptr);
  new TTrkComponent(owner, "a");
  new TTrkComponent(owner, "b");
  new TTrkComponent(owner, "c");
  ASSERT_EQ(owner->ComponentCount(), 3);
  Events().clear();
  delete owner;
  std::vector<std::string> destroys;
  for (const auto& e : Events())
    if (e.rfind("destroy", 0) == 0) destroys.push_back(e);
  EXPECT_EQ(destroys, (std::vector<std::string>{"destroy c D", "destroy b D", "destroy a D"}));
}

TEST_F(ComponentTest, DeletingAComponentRemovesItAndNotifiesOwnerAndSiblings) {
  TTrkOwner owner(nullptr);
  auto* a = new TTrkComponent(&owner, "a");
  a->SetName("a");
  auto* b = new TTrkComponent(&owner, "b");
  b->SetName("b");
  // opInsert reaches the existing sibling while b is still being constructed (its own override
  // and label are not there yet).
  EXPECT_EQ(Events(), (std::vector<std::string>{"a +"}));
  Events().clear();
  delete a;
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), b);
  EXPECT_EQ(b->ComponentIndex(), 0);
  // The sibling heard of the removal; the dying component's own override already ran out.
  EXPECT_THAT(Events(), ::testing::Contains("b -a"));
}

TEST_F(ComponentTest, NamesAreCheckedAndUniqueAmongSiblings) {
  TTrkOwner owner(nullptr);
  auto* a = new TTrkComponent(&owner, "a");
  auto* b = new TTrkComponent(&owner, "b");
  a->SetName("Button1");
  EXPECT_THROW(b->SetName("button1"), EComponentError);
  EXPECT_THROW(b->SetName("1st"), EComponentError);
  EXPECT_THROW(b->SetName("with blank"), EComponentError);
  EXPECT_EQ(b->Name(), "");
  b->SetName("_Button2");
  a->SetName("BUTTON1");  // only the case changes: allowed
  EXPECT_EQ(owner.FindComponent("button1"), a);
  EXPECT_EQ(owner.FindComponent("_button2"), b);
  EXPECT_EQ(owner.FindComponent("nothing"), nullptr);
  EXPECT_EQ(owner.FindComponent(""), nullptr);
  b->SetName("");
  EXPECT_EQ(owner.FindComponent("_Button2"), nullptr);
  EXPECT_THROW(owner.Components(5), EListError);
}

TEST_F(ComponentTest, PublishedFieldFollowsNameAndIsClearedOnDestruction) {
  TTrkOwner owner(nullptr);
  auto* a = new TTrkComponent(&owner, "a");
  a->SetName("First");
  EXPECT_EQ(owner.First, a);
  a->SetName("Renamed");
  EXPECT_EQ(owner.First, nullptr);
  a->SetName("First");
  EXPECT_EQ(owner.First, a);
  delete a;
  EXPECT_EQ(owner.First, nullptr);
}

TEST_F(ComponentTest, FreeNotificationAcrossOwners) {
  TTrkOwner one(nullptr), two(nullptr);
  auto* watcher = new TTrkComponent(&one, "watcher");
  auto* target = new TTrkComponent(&two, "target");
  target->SetName("target");
  watcher->Watched = target;
  target->FreeNotification(watcher);
  Events().clear();
  delete target;
  EXPECT_EQ(watcher->Watched, nullptr);
  EXPECT_THAT(Events(), ::testing::Contains("watcher -target"));

  // After RemoveFreeNotification nobody is told.
  auto* target2 = new TTrkComponent(&two, "target2");
  watcher->Watched = target2;
  target2->FreeNotification(watcher);
  target2->RemoveFreeNotification(watcher);
  delete target2;
  EXPECT_EQ(watcher->Watched, target2);  // stale on purpose: the link was removed
  watcher->Watched = nullptr;

  // The link goes both ways: a watcher that goes first leaves no dangling link behind.
  auto* target3 = new TTrkComponent(&two, "target3");
  target3->SetName("target3");
  target3->FreeNotification(watcher);
  delete watcher;
  Events().clear();
  delete target3;
  EXPECT_THAT(Events(), ::testing::Not(::testing::Contains("watcher -target3")));
}

TEST_F(ComponentTest, InsertAndRemoveComponentMoveOwnership) {
  TTrkOwner one(nullptr), two(nullptr);
  auto* c = new TTrkComponent(&one, "c");
  c->SetName("Moving");
  two.InsertComponent(c);
  EXPECT_EQ(c->Owner(), &two);
  EXPECT_EQ(one.ComponentCount(), 0);
  EXPECT_EQ(two.FindComponent("moving"), c);
  two.RemoveComponent(c);
  EXPECT_EQ(c->Owner(), nullptr);
  delete c;
  // A name taken in the new owner is refused on insertion.
  auto* x = new TTrkComponent(&one, "x");
  x->SetName("Same");
  auto* y = new TTrkComponent(&two, "y");
  y->SetName("Same");
  EXPECT_THROW(two.InsertComponent(x), EComponentError);
  EXPECT_EQ(x->Owner(), &one);  // the refused move leaves it where it was
  EXPECT_EQ(one.FindComponent("Same"), x);
}

TEST_F(ComponentTest, DesigningStateReachesOwnedComponents) {
  TTrkOwner owner(nullptr);
  auto* a = new TTrkComponent(&owner, "a");
  owner.SetDesigning(true);
  EXPECT_TRUE(a->ComponentState().Contains(csDesigning));
  auto* b = new TTrkComponent(&owner, "b");
  EXPECT_TRUE(b->ComponentState().Contains(csDesigning));
}

TEST_F(ComponentTest, ClassInfoRegistryAndInheritance) {
  TTrkOwner owner(nullptr);
  EXPECT_EQ(owner.ClassName(), "TTrkOwner");
  EXPECT_TRUE(owner.InheritsFrom(TComponent::StaticClass()));
  EXPECT_TRUE(owner.InheritsFrom(TPersistent::StaticClass()));
  EXPECT_FALSE(owner.InheritsFrom(TTrkComponent::StaticClass()));
  EXPECT_EQ(TTrkOwner::StaticClass()->Parent(), TComponent::StaticClass());
  EXPECT_EQ(GetClass("ttrkowner"), TTrkOwner::StaticClass());
  EXPECT_EQ(GetClass("TNobody"), nullptr);
  EXPECT_THROW(FindClass("TNobody"), EClassNotFound);
  // Tag comes from TComponent's table, along the chain.
  EXPECT_NE(TTrkOwner::StaticClass()->FindProp("tag"), nullptr);
  EXPECT_NE(TTrkOwner::StaticClass()->FindField("FIRST"), nullptr);
  TComponent* made = GetClass("TTrkComponent")->CreateComponent(&owner);
  EXPECT_EQ(made->Owner(), &owner);
  EXPECT_EQ(made->ClassName(), "TTrkComponent");
  // A different class under a taken name is refused.
  TClassInfo impostor("TTrkOwner", TComponent::StaticClass());
  EXPECT_THROW(RegisterClass(&impostor), EFilerError);
  // Abstract classes have no factory.
  EXPECT_FALSE(TStrings::StaticClass()->CanCreateComponent());
  EXPECT_THROW(TStrings::StaticClass()->CreateComponent(nullptr), EComponentError);
}

TEST_F(ComponentTest, TSetOperations) {
  using S = TComponentState;
  S s{csLoading, csReading};
  EXPECT_TRUE(s.Contains(csLoading));
  EXPECT_FALSE(s.Contains(csWriting));
  s.Include(csWriting).Exclude(csLoading);
  EXPECT_EQ(s, (S{csReading, csWriting}));
  EXPECT_EQ(s.Count(), 2);
  EXPECT_EQ(s + S{csDesigning}, (S{csReading, csWriting, csDesigning}));
  EXPECT_EQ(s - S{csReading}, S{csWriting});
  EXPECT_EQ(s * (S{csReading, csLoading}), S{csReading});
  EXPECT_TRUE(S{}.Empty());
  EXPECT_EQ(S::FromBits(s.Bits()), s);
}

TEST_F(ComponentTest, AssignWithoutSupportRaisesConvertError) {
  TStringList list;
  TTrkOwner owner(nullptr);
  try {
    list.Assign(&owner);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_THAT(e.Message(), ::testing::HasSubstr("TTrkOwner"));
    EXPECT_THAT(e.Message(), ::testing::HasSubstr("TStringList"));
  }
}

}  // namespace
