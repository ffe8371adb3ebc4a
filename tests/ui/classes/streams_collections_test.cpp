// Streams (memory, bytes, string, file) and collections (items, IDs, order, updates, owner).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ui/classes/Classes.h"

namespace {

TEST(StreamTest, MemoryStreamReadWriteSeek) {
  TMemoryStream ms;
  ms.WriteBuffer("hello", 5);
  EXPECT_EQ(ms.Size(), 5);
  EXPECT_EQ(ms.Position(), 5);
  EXPECT_EQ(ms.Seek(-2, soEnd), 3);
  char buf[8] = {};
  EXPECT_EQ(ms.Read(buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "lo");
  ms.SetPosition(0);
  EXPECT_THROW(ms.ReadBuffer(buf, 6), EReadError);
  EXPECT_THROW(ms.Seek(-1, soBeginning), EStreamError);
  ms.Seek(7, soBeginning);  // past the end: the gap becomes zeros
  ms.WriteBuffer("!", 1);
  EXPECT_EQ(ms.Size(), 8);
  EXPECT_EQ(ms.Memory()[5], 0);
  ms.SetSize(2);
  EXPECT_EQ(ms.Position(), 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ms.Memory()), 2), "he");
  ms.Clear();
  EXPECT_EQ(ms.Size(), 0);
}

TEST(StreamTest, CopyFromAndStringAndBytesStreams) {
  TStringStream src("abcdef");
  TBytesStream dst;
  EXPECT_EQ(dst.CopyFrom(src, 0), 6);  // 0: everything from the start
  EXPECT_EQ(dst.Bytes(), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f'}));
  src.SetPosition(2);
  TStringStream part;
  EXPECT_EQ(part.CopyFrom(src, 3), 3);
  EXPECT_EQ(part.DataString(), "cde");
  EXPECT_THROW(part.CopyFrom(src, 5), EReadError);  // only 1 byte left
  TStringStream s;
  s.WriteString("xyz");
  s.SetPosition(1);
  EXPECT_EQ(s.ReadString(10), "yz");
}

TEST(StreamTest, FileStreamAndMemoryStreamFiles) {
  char tmpl[] = "/tmp/classes-stream-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  std::string file = dir + "/data.bin";
  {
    TFileStream f(file, fmCreate);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.Size(), 10);
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
  }
  {
    TFileStream f(file, fmOpenRead);
    char buf[10];
    EXPECT_EQ(f.Read(buf, 10), 4);
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
  }
  TMemoryStream ms;
  ms.LoadFromFile(file);
  EXPECT_EQ(ms.Size(), 4);
  EXPECT_EQ(ms.Position(), 0);  // loading leaves the position at the start
  ms.Seek(0, soEnd);
  ms.WriteBuffer("!", 1);
  ms.SaveToFile(file);
  TMemoryStream back;
  back.LoadFromFile(file);
  ASSERT_EQ(back.Size(), 5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.Memory()), 5), "0123!");
  EXPECT_THROW(TFileStream(dir + "/missing", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(dir + "/no/such/dir", fmCreate), EFCreateError);
  unlink(file.c_str());
  rmdir(dir.c_str());
}

class TColItem : public TCollectionItem {
  VCL_DECLARE_CLASS(TColItem, TCollectionItem)
 public:
  using TCollectionItem::TCollectionItem;
  int Value() const { return FValue; }
  void SetValue(int v) {
    FValue = v;
    Changed(false);
  }
  void Assign(TPersistent* Source) override {
    if (auto* s = dynamic_cast<TColItem*>(Source)) {
      FValue = s->FValue;
      return;
    }
    TCollectionItem::Assign(Source);
  }

 private:
  int FValue = 0;
};
VCL_REGISTER_CLASS(TColItem, [](TClassBuilder<TColItem>& c) {
  c.Prop("Value", &TColItem::Value, &TColItem::SetValue, 0);
})

class TWatchedCollection : public TOwnedCollection {
 public:
  using TOwnedCollection::TOwnedCollection;
  std::vector<TCollectionItem*> Updates;
  std::vector<std::string> Notes;

 protected:
  void Update(TCollectionItem* Item) override { Updates.push_back(Item); }
  void Notify(TCollectionItem*, TCollectionNotification Action) override {
    Notes.push_back(Action == cnAdded ? "added" : Action == cnDeleting ? "deleting" : "extract");
  }
};

TEST(CollectionTest, ItemsIdsIndexAndDeletion) {
  TWatchedCollection c(nullptr, TColItem::StaticClass());
  auto* a = static_cast<TColItem*>(c.Add());
  auto* b = static_cast<TColItem*>(c.Add());
  auto* x = static_cast<TColItem*>(c.Insert(0));
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(x->Index(), 0);
  EXPECT_EQ(a->Index(), 1);
  EXPECT_EQ(a->ID(), 0);
  EXPECT_EQ(b->ID(), 1);
  EXPECT_EQ(x->ID(), 2);
  EXPECT_EQ(c.FindItemID(1), b);
  EXPECT_EQ(c.FindItemID(9), nullptr);
  EXPECT_EQ(a->Collection(), &c);
  c.Delete(1);  // a
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(c.FindItemID(0), nullptr);
  b->SetIndex(0);
  EXPECT_EQ(c.Items(0), b);
  delete x;  // an item that goes leaves its collection
  EXPECT_EQ(c.Count(), 1);
  EXPECT_THROW(c.Items(1), EListError);
  auto* d = static_cast<TColItem*>(c.Add());
  EXPECT_EQ(d->ID(), 3);  // IDs are never reused
}

TEST(CollectionTest, UpdateNotificationsAndBeginEndUpdate) {
  TWatchedCollection c(nullptr, TColItem::StaticClass());
  auto* a = static_cast<TColItem*>(c.Add());
  EXPECT_EQ(c.Updates, std::vector<TCollectionItem*>{nullptr});
  c.Updates.clear();
  a->SetValue(5);
  EXPECT_EQ(c.Updates, std::vector<TCollectionItem*>{a});
  c.Updates.clear();
  c.BeginUpdate();
  c.Add();
  a->SetValue(6);
  c.Clear();
  EXPECT_TRUE(c.Updates.empty());
  c.EndUpdate();
  EXPECT_EQ(c.Updates, std::vector<TCollectionItem*>{nullptr});
  EXPECT_EQ(c.Count(), 0);
  EXPECT_THAT(c.Notes, ::testing::Contains("deleting"));
}

TEST(CollectionTest, AssignCopiesItemsAndOwnerIsKept) {
  TStringList owner;  // any persistent object can own a collection
  TOwnedCollection src(&owner, TColItem::StaticClass());
  static_cast<TColItem*>(src.Add())->SetValue(1);
  static_cast<TColItem*>(src.Add())->SetValue(2);
  TCollection dst(TColItem::StaticClass());
  dst.Add();
  dst.Assign(&src);
  ASSERT_EQ(dst.Count(), 2);
  EXPECT_EQ(static_cast<TColItem*>(dst.Items(1))->Value(), 2);
  EXPECT_EQ(src.GetOwner(), &owner);
  EXPECT_EQ(src.Items(0)->GetOwner(), &src);
  EXPECT_THROW(TCollection(TStrings::StaticClass()), EComponentError);
}

}  // namespace
