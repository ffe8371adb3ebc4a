// String lists (sorted, duplicates, case-insensitive, text forms, name=value, notifications)
// and the pointer list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/classes/Classes.h"

namespace {

std::vector<std::string> Lines(const TStrings& s) {
  std::vector<std::string> out;
  for (int i = 0; i < s.Count(); ++i) out.push_back(s.Strings(i));
  return out;
}

TEST(StringListTest, TextEndsEveryLineWithCrLfAndSplitsAnyBreak) {
  TStringList l;
  l.Add("ALTER TABLE a");
  l.Add("");
  l.Add("x");
  EXPECT_EQ(l.Text(), "ALTER TABLE a\r\n\r\nx\r\n");
  l.SetText("one\r\ntwo\nthree\rfour\r\n");
  EXPECT_EQ(Lines(l), (std::vector<std::string>{"one", "two", "three", "four"}));
  l.SetText("a\n\nb");
  EXPECT_EQ(Lines(l), (std::vector<std::string>{"a", "", "b"}));
  l.SetText("");
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Text(), "");
}

TEST(StringListTest, SortedListFindsAndHandlesDuplicates) {
  TStringList l;
  l.SetSorted(true);
  l.Add("delta");
  l.Add("Alpha");
  l.Add("charlie");
  l.Add("Bravo");
  EXPECT_EQ(Lines(l), (std::vector<std::string>{"Alpha", "Bravo", "charlie", "delta"}));
  int i = -1;
  EXPECT_TRUE(l.Find("CHARLIE", i));
  EXPECT_EQ(i, 2);
  EXPECT_FALSE(l.Find("echo", i));
  EXPECT_EQ(i, 4);
  EXPECT_FALSE(l.Find("b", i));
  EXPECT_EQ(i, 1);
  // dupIgnore (default): the existing index, nothing added.
  EXPECT_EQ(l.Add("ALPHA"), 0);
  EXPECT_EQ(l.Count(), 4);
  l.SetDuplicates(dupError);
  EXPECT_THROW(l.Add("bravo"), EStringListError);
  l.SetDuplicates(dupAccept);
  l.Add("bravo");
  EXPECT_EQ(l.Count(), 5);
  EXPECT_THROW(l.Insert(0, "zulu"), EStringListError);
  EXPECT_EQ(l.IndexOf("DELTA"), 4);
}

TEST(StringListTest, CaseInsensitiveByDefaultIncludingLatin1Letters) {
  TStringList l;
  l.Add("Ärger");
  l.Add("straße");
  EXPECT_EQ(l.IndexOf("ärger"), 0);
  EXPECT_EQ(l.IndexOf("STRASSE"), -1);  // equal in order, but not the same text
  EXPECT_EQ(l.IndexOf("STRAßE"), 1);
  l.SetCaseSensitive(true);
  EXPECT_EQ(l.IndexOf("ärger"), -1);
  EXPECT_EQ(l.IndexOf("Ärger"), 0);
  // Dictionary order: umlauts beside their base letter, not after 'z'.
  TStringList s;
  s.SetSorted(true);
  s.Add("Zebra");
  s.Add("Äpfel");
  s.Add("Birne");
  s.Add("apfel");
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"apfel", "Äpfel", "Birne", "Zebra"}));
}

TEST(StringListTest, SortingAnExistingListAndCaseSensitiveOrder) {
  TStringList l;
  l.SetCommaText("b,A,a,B");
  l.SetCaseSensitive(true);
  l.SetSorted(true);
  EXPECT_EQ(Lines(l), (std::vector<std::string>{"a", "A", "b", "B"}));
}

TEST(StringListTest, NamesValuesAndValueFromIndex) {
  TStringList l;
  l.Add("Server=local");
  l.Add("Path=C:\\data=x");
  l.Add("nonsense");
  EXPECT_EQ(l.Names(0), "Server");
  EXPECT_EQ(l.Names(2), "");
  EXPECT_EQ(l.Values("PATH"), "C:\\data=x");
  EXPECT_EQ(l.ValueFromIndex(1), "C:\\data=x");
  EXPECT_EQ(l.IndexOfName("server"), 0);
  EXPECT_EQ(l.Values("missing"), "");
  l.SetValues("Server", "remote");
  EXPECT_EQ(l.Strings(0), "Server=remote");
  l.SetValues("New", "1");
  EXPECT_EQ(l.Strings(3), "New=1");
  l.SetValues("Server", "");
  EXPECT_EQ(l.IndexOfName("Server"), -1);
  EXPECT_EQ(l.Count(), 3);
}

TEST(StringListTest, CommaAndDelimitedText) {
  TStringList l;
  l.Add("plain");
  l.Add("with blank");
  l.Add("say \"hi\"");
  l.Add("");
  l.Add("a,b");
  EXPECT_EQ(l.CommaText(), "plain,\"with blank\",\"say \"\"hi\"\"\",\"\",\"a,b\"");
  TStringList back;
  back.SetCommaText(l.CommaText());
  EXPECT_EQ(Lines(back), Lines(l));
  back.SetCommaText("one two, \"three four\" ,five,");
  EXPECT_EQ(Lines(back), (std::vector<std::string>{"one", "two", "three four", "five", ""}));
  TStringList d;
  d.SetDelimiter(';');
  d.SetStrictDelimiter(true);
  d.SetDelimitedText("a b;c;;d");
  EXPECT_EQ(Lines(d), (std::vector<std::string>{"a b", "c", "", "d"}));
  EXPECT_EQ(d.DelimitedText(), "a b;c;\"\";d");
}

TEST(StringListTest, ChangeNotificationsAndBeginEndUpdate) {
  TStringList l;
  int changing = 0, changed = 0;
  l.OnChanging = [&](TObject* s) {
    EXPECT_EQ(s, &l);
    ++changing;
  };
  l.OnChange = [&](TObject*) { ++changed; };
  l.Add("a");
  l.Add("b");
  l.Delete(0);
  EXPECT_EQ(changing, 3);
  EXPECT_EQ(changed, 3);
  changing = changed = 0;
  l.BeginUpdate();
  l.BeginUpdate();
  l.Add("c");
  l.Add("d");
  l.EndUpdate();
  EXPECT_EQ(changed, 0);  // still inside the outer update
  l.Clear();
  l.EndUpdate();
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  // SetText is one change.
  changing = changed = 0;
  l.SetText("x\r\ny\r\nz\r\n");
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(changing, 1);
  // An update without a change notifies nobody.
  changing = changed = 0;
  l.BeginUpdate();
  l.EndUpdate();
  EXPECT_EQ(changing + changed, 0);
}

// A descendant overriding the list's virtual operations sees them (as index file lists do).
class TCountingList : public TStringList {
 public:
  int Adds = 0, Clears = 0, Deletes = 0, Inserts = 0;
  int Add(const std::string& S) override {
    ++Adds;
    return TStringList::Add(S);
  }
  void Clear() override {
    ++Clears;
    TStringList::Clear();
  }
  void Delete(int Index) override {
    ++Deletes;
    TStringList::Delete(Index);
  }
  void Insert(int Index, const std::string& S) override {
    ++Inserts;
    TStringList::Insert(Index, S);
  }
};

TEST(StringListTest, VirtualOperationsReachDescendantsThroughBaseOperations) {
  TCountingList l;
  TStrings& base = l;
  base.SetText("a\nb");
  EXPECT_EQ(l.Clears, 1);
  EXPECT_EQ(l.Adds, 2);
  base.Move(0, 1);
  EXPECT_EQ(l.Deletes, 1);
  EXPECT_EQ(Lines(l), (std::vector<std::string>{"b", "a"}));
}

TEST(StringListTest, ObjectsOwnershipAssignAndStreams) {
  struct TCounted : TObject {
    explicit TCounted(int& n) : N(n) { ++N; }
    ~TCounted() override { --N; }
    int& N;
  };
  int alive = 0;
  {
    TStringList owning(true);
    owning.AddObject("a", new TCounted(alive));
    owning.AddObject("b", new TCounted(alive));
    EXPECT_EQ(alive, 2);
    owning.Delete(0);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(owning.IndexOfObject(owning.Objects(0)), 0);
  }
  EXPECT_EQ(alive, 0);

  TStringList src, dst;
  src.Add("x");
  src.Add("y");
  dst.Add("old");
  dst.Assign(&src);
  EXPECT_TRUE(dst.Equals(&src));

  TMemoryStream ms;
  src.SaveToStream(ms);
  EXPECT_EQ(ms.Size(), 6);
  ms.SetPosition(0);
  TStringList loaded;
  loaded.LoadFromStream(ms);
  EXPECT_TRUE(loaded.Equals(&src));
  TStringStream bom("\xEF\xBB\xBFline\r\n");
  loaded.LoadFromStream(bom);
  EXPECT_EQ(Lines(loaded), std::vector<std::string>{"line"});
  EXPECT_THROW(loaded.Strings(3), EStringListError);
  EXPECT_THROW(loaded.Delete(-1), EStringListError);
}

TEST(ListTest, PointerListOperations) {
  int a = 1, b = 2, c = 3;
  TList l;
  EXPECT_EQ(l.Add(&a), 0);
  l.Add(&b);
  l.Add(nullptr);
  l.Insert(0, &c);
  EXPECT_EQ(l.Count(), 4);
  EXPECT_EQ(l.IndexOf(&b), 2);
  l.Pack();
  EXPECT_EQ(l.Count(), 3);
  l.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
  EXPECT_EQ(l.Items(0), &a);
  EXPECT_EQ(l.Items(2), &c);
  l.Exchange(0, 2);
  EXPECT_EQ(l.First(), &c);
  l.Move(0, 2);
  EXPECT_EQ(l.Last(), &c);  // b, a, c
  EXPECT_EQ(l.Remove(&b), 0);
  EXPECT_EQ(l.Remove(&b), -1);
  EXPECT_THROW(l.Items(2), EListError);
  EXPECT_THROW(l.Insert(5, &a), EListError);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
}

}  // namespace
