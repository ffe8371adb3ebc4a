// TList (pointer list), TStrings (the abstract string list with text forms, name=value access
// and streaming) and TStringList (sorted or not, duplicates, case sensitivity, notifications).
#include <algorithm>

#include "ui/classes/Classes.h"

namespace {
[[noreturn]] void ListIndexError(int Index) {
  throw EListError(Format("Listenindex überschreitet das Maximum (%d)", Index));
}
[[noreturn]] void StringListIndexError(int Index) {
  throw EStringListError(Format("Listenindex überschreitet das Maximum (%d)", Index));
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// TList

void TList::Check(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
}

int TList::Add(void* Item) {
  FList.push_back(Item);
  return Count() - 1;
}

void TList::Insert(int Index, void* Item) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  FList.insert(FList.begin() + Index, Item);
}

void TList::Delete(int Index) {
  Check(Index);
  FList.erase(FList.begin() + Index);
}

int TList::Remove(void* Item) {
  int i = IndexOf(Item);
  if (i >= 0) Delete(i);
  return i;
}

void* TList::Extract(void* Item) {
  int i = IndexOf(Item);
  if (i < 0) return nullptr;
  Delete(i);
  return Item;
}

int TList::IndexOf(void* Item) const {
  auto it = std::find(FList.begin(), FList.end(), Item);
  return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

void TList::SetCount(int NewCount) {
  if (NewCount < 0) throw EListError(Format("Ungültige Listenanzahl (%d)", NewCount));
  FList.resize(static_cast<size_t>(NewCount), nullptr);
}

void* TList::Items(int Index) const {
  Check(Index);
  return FList[static_cast<size_t>(Index)];
}

void TList::SetItems(int Index, void* Item) {
  Check(Index);
  FList[static_cast<size_t>(Index)] = Item;
}

void* TList::First() const {
  return Items(0);
}
void* TList::Last() const {
  return Items(Count() - 1);
}

void TList::Pack() {
  FList.erase(std::remove(FList.begin(), FList.end(), nullptr), FList.end());
}

void TList::Clear() {
  FList.clear();
}

void TList::Sort(const TListSortCompare& Compare) {
  std::stable_sort(FList.begin(), FList.end(), [&](void* a, void* b) { return Compare(a, b) < 0; });
}

void TList::Exchange(int Index1, int Index2) {
  Check(Index1);
  Check(Index2);
  std::swap(FList[static_cast<size_t>(Index1)], FList[static_cast<size_t>(Index2)]);
}

void TList::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  Check(CurIndex);
  Check(NewIndex);
  void* item = FList[static_cast<size_t>(CurIndex)];
  FList.erase(FList.begin() + CurIndex);
  FList.insert(FList.begin() + NewIndex, item);
}

// ---------------------------------------------------------------------------------------------
// TStrings

VCL_REGISTER_CLASS(TStrings, [](TClassBuilder<TStrings>&) {})

void TStrings::SetStrings(int Index, const std::string& S) {
  TObject* obj = Objects(Index);
  BeginUpdate();
  Finally end([this] { EndUpdate(); });
  Delete(Index);
  InsertObject(Index, S, obj);
}

TObject* TStrings::Objects(int) const {
  return nullptr;
}
void TStrings::SetObjects(int, TObject*) {}

int TStrings::Add(const std::string& S) {
  int n = Count();
  Insert(n, S);
  return n;
}

int TStrings::AddObject(const std::string& S, TObject* Obj) {
  int i = Add(S);
  SetObjects(i, Obj);
  return i;
}

void TStrings::InsertObject(int Index, const std::string& S, TObject* Obj) {
  Insert(Index, S);
  SetObjects(Index, Obj);
}

void TStrings::Exchange(int Index1, int Index2) {
  BeginUpdate();
  Finally end([this] { EndUpdate(); });
  std::string s1 = Strings(Index1), s2 = Strings(Index2);
  TObject* o1 = Objects(Index1);
  TObject* o2 = Objects(Index2);
  SetStrings(Index1, s2);
  SetObjects(Index1, o2);
  SetStrings(Index2, s1);
  SetObjects(Index2, o1);
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  BeginUpdate();
  Finally end([this] { EndUpdate(); });
  std::string s = Strings(CurIndex);
  TObject* o = Objects(CurIndex);
  SetObjects(CurIndex, nullptr);
  Delete(CurIndex);
  InsertObject(NewIndex, s, o);
}

int TStrings::CompareStrings(const std::string& S1, const std::string& S2) const {
  return AnsiCompareText(S1, S2);
}

int TStrings::IndexOf(const std::string& S) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Strings(i), S) == 0) return i;
  return -1;
}

int TStrings::IndexOfName(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i) {
    std::string s = Strings(i);
    size_t p = s.find(FNameValueSeparator);
    if (p != std::string::npos && CompareStrings(s.substr(0, p), Name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(TObject* Obj) const {
  for (int i = 0; i < Count(); ++i)
    if (Objects(i) == Obj) return i;
  return -1;
}

void TStrings::AddStrings(const TStrings* Strings) {
  if (!Strings) return;
  BeginUpdate();
  Finally end([this] { EndUpdate(); });
  for (int i = 0; i < Strings->Count(); ++i) AddObject(Strings->Strings(i), Strings->Objects(i));
}

bool TStrings::Equals(const TStrings* Strings) const {
  if (!Strings || Strings->Count() != Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (this->Strings(i) != Strings->Strings(i)) return false;
  return true;
}

std::string TStrings::Names(int Index) const {
  std::string s = Strings(Index);
  size_t p = s.find(FNameValueSeparator);
  return p == std::string::npos ? "" : s.substr(0, p);
}

std::string TStrings::Values(const std::string& Name) const {
  int i = IndexOfName(Name);
  return i < 0 ? "" : ValueFromIndex(i);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
  int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = Name + FNameValueSeparator + Value;
  if (i < 0)
    Add(line);
  else
    SetStrings(i, line);
}

std::string TStrings::ValueFromIndex(int Index) const {
  std::string s = Strings(Index);
  size_t p = s.find(FNameValueSeparator);
  return p == std::string::npos ? "" : s.substr(p + 1);
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Strings(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(const std::string& Value) {
  BeginUpdate();
  Finally end([this] { EndUpdate(); });
  Clear();
  size_t start = 0, i = 0;
  while (i < Value.size()) {
    char c = Value[i];
    if (c == '\r' || c == '\n') {
      Add(Value.substr(start, i - start));
      if (c == '\r' && i + 1 < Value.size() && Value[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < Value.size()) Add(Value.substr(start));
}

std::string TStrings::DelimitedText() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    std::string s = Strings(i);
    bool quote = s.empty() && Count() > 0;
    for (char c : s)
      if (c == FQuoteChar || c == FDelimiter ||
          (!FStrictDelimiter && static_cast<unsigned char>(c) <= ' '))
        quote = true;
    if (i > 0) out += FDelimiter;
    if (quote) {
      out += FQuoteChar;
      for (char c : s) {
        if (c == FQuoteChar) out += FQuoteChar;
        out += c;
      }
      out += FQuoteChar;
    } else {
      out += s;
    }
  }
  return out;
}

void TStrings::SetDelimitedText(const std::string& Value) {
  BeginUpdate();
  Finally end([this] { EndUpdate(); });
  Clear();
  auto blank = [&](char c) { return !FStrictDelimiter && static_cast<unsigned char>(c) <= ' '; };
  size_t i = 0, n = Value.size();
  while (i < n && blank(Value[i])) ++i;
  while (i < n) {
    std::string item;
    if (Value[i] == FQuoteChar) {
      ++i;
      while (i < n) {
        if (Value[i] == FQuoteChar) {
          if (i + 1 < n && Value[i + 1] == FQuoteChar) {
            item += FQuoteChar;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += Value[i++];
      }
    } else {
      while (i < n && Value[i] != FDelimiter && !blank(Value[i])) item += Value[i++];
    }
    Add(item);
    while (i < n && blank(Value[i])) ++i;
    if (i < n && Value[i] == FDelimiter) {
      ++i;
      while (i < n && blank(Value[i])) ++i;
      if (i == n) Add("");  // a trailing delimiter ends an empty item
    }
  }
}

std::string TStrings::CommaText() const {
  TStringList copy;
  copy.AddStrings(this);
  copy.SetDelimiter(',');
  copy.SetQuoteChar('"');
  return copy.DelimitedText();
}

void TStrings::SetCommaText(const std::string& Value) {
  char d = FDelimiter, q = FQuoteChar;
  bool strict = FStrictDelimiter;
  FDelimiter = ',';
  FQuoteChar = '"';
  FStrictDelimiter = false;
  Finally restore([&] {
    FDelimiter = d;
    FQuoteChar = q;
    FStrictDelimiter = strict;
  });
  SetDelimitedText(Value);
}

void TStrings::BeginUpdate() {
  if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (FUpdateCount <= 0) return;
  if (--FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::LoadFromStream(TStream& Stream) {
  int64_t size = Stream.Size() - Stream.Position();
  std::string data(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  if (!data.empty()) Stream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
  SetText(data);
}

void TStrings::SaveToStream(TStream& Stream) const {
  std::string t = Text();
  Stream.WriteBuffer(t.data(), static_cast<int64_t>(t.size()));
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

void TStrings::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<TStrings*>(Source)) {
    if (src == this) return;
    BeginUpdate();
    Finally end([this] { EndUpdate(); });
    Clear();
    FNameValueSeparator = src->FNameValueSeparator;
    FDelimiter = src->FDelimiter;
    FQuoteChar = src->FQuoteChar;
    FStrictDelimiter = src->FStrictDelimiter;
    AddStrings(src);
    return;
  }
  TPersistent::Assign(Source);
}

void TStrings::AssignTo(TPersistent* Dest) {
  TPersistent::AssignTo(Dest);
}

void TStrings::DefineProperties(TFiler* Filer) {
  Filer->DefineProperty(
      "Strings", [this](TReader& r) { ReadData(r); }, [this](TWriter& w) { WriteData(w); },
      Count() > 0);
}

void TStrings::ReadData(TReader& Reader) {
  BeginUpdate();
  Finally end([this] { EndUpdate(); });
  Clear();
  Reader.ReadListBegin();
  while (!Reader.EndOfList()) Add(Reader.ReadString());
  Reader.ReadListEnd();
}

void TStrings::WriteData(TWriter& Writer) {
  Writer.WriteListBegin();
  for (int i = 0; i < Count(); ++i) Writer.WriteString(Strings(i));
  Writer.WriteListEnd();
}

// ---------------------------------------------------------------------------------------------
// TStringList

VCL_REGISTER_CLASS(TStringList, [](TClassBuilder<TStringList>&) {})

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  if (FOwnsObjects)
    for (auto& it : FList) delete it.Obj;
}

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) StringListIndexError(Index);
}

std::string TStringList::Strings(int Index) const {
  CheckIndex(Index);
  return FList[static_cast<size_t>(Index)].Str;
}

void TStringList::SetStrings(int Index, const std::string& S) {
  if (FSorted) throw EStringListError("Operation für sortierte Liste nicht zulässig");
  CheckIndex(Index);
  Changing();
  FList[static_cast<size_t>(Index)].Str = S;
  Changed();
}

TObject* TStringList::Objects(int Index) const {
  CheckIndex(Index);
  return FList[static_cast<size_t>(Index)].Obj;
}

void TStringList::SetObjects(int Index, TObject* Obj) {
  CheckIndex(Index);
  Changing();
  TObject*& slot = FList[static_cast<size_t>(Index)].Obj;
  if (FOwnsObjects && slot != Obj) delete slot;
  slot = Obj;
  Changed();
}

int TStringList::Add(const std::string& S) {
  return AddObject(S, nullptr);
}

int TStringList::AddObject(const std::string& S, TObject* Obj) {
  int index;
  if (!FSorted) {
    index = Count();
  } else if (Find(S, index)) {
    switch (FDuplicates) {
      case dupIgnore:
        return index;
      case dupError:
        throw EStringListError("Stringliste erlaubt keine Duplikate");
      case dupAccept:
        break;
    }
  }
  InsertItem(index, S, Obj);
  return index;
}

void TStringList::Insert(int Index, const std::string& S) {
  InsertObject(Index, S, nullptr);
}

void TStringList::InsertObject(int Index, const std::string& S, TObject* Obj) {
  if (FSorted) throw EStringListError("Operation für sortierte Liste nicht zulässig");
  if (Index < 0 || Index > Count()) StringListIndexError(Index);
  InsertItem(Index, S, Obj);
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* Obj) {
  Changing();
  FList.insert(FList.begin() + Index, Item{S, Obj});
  Changed();
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Changing();
  TObject* obj = FList[static_cast<size_t>(Index)].Obj;
  FList.erase(FList.begin() + Index);
  if (FOwnsObjects) delete obj;
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  std::vector<Item> old;
  old.swap(FList);
  if (FOwnsObjects)
    for (auto& it : old) delete it.Obj;
  Changed();
}

void TStringList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  if (Index1 == Index2) return;
  Changing();
  std::swap(FList[static_cast<size_t>(Index1)], FList[static_cast<size_t>(Index2)]);
  Changed();
}

int TStringList::IndexOf(const std::string& S) const {
  if (!FSorted) return TStrings::IndexOf(S);
  int i;
  return Find(S, i) ? i : -1;
}

bool TStringList::Find(const std::string& S, int& Index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(FList[static_cast<size_t>(mid)].Str, S);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (FDuplicates != dupAccept) lo = mid;
      }
    }
  }
  Index = lo;
  return found;
}

void TStringList::Sort() {
  CustomSort([](TStringList* l, int a, int b) {
    return l->CompareStrings(l->FList[static_cast<size_t>(a)].Str,
                             l->FList[static_cast<size_t>(b)].Str);
  });
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
  if (Count() < 2) return;
  Changing();
  // Sort a permutation so that the comparison sees indexes into the unchanged list.
  std::vector<int> order(FList.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return Compare(this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(FList.size());
  for (int i : order) sorted.push_back(FList[static_cast<size_t>(i)]);
  FList.swap(sorted);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (FSorted == Value) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (FCaseSensitive == Value) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}

int TStringList::CompareStrings(const std::string& S1, const std::string& S2) const {
  return FCaseSensitive ? AnsiCompareStr(S1, S2) : AnsiCompareText(S1, S2);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 || !FChangingWhileUpdating) {
    FChangingWhileUpdating = UpdateCount() > 0;
    if (OnChanging) OnChanging(this);
  }
}

void TStringList::Changed() {
  if (UpdateCount() == 0) {
    if (OnChange) OnChange(this);
  } else {
    FChangedWhileUpdating = true;
  }
}

// Inside BeginUpdate/EndUpdate the first change sends OnChanging and the outermost EndUpdate
// sends OnChange, once, if anything changed.
void TStringList::SetUpdateState(bool Updating) {
  if (Updating) {
    FChangedWhileUpdating = false;
    FChangingWhileUpdating = false;
  } else {
    bool changed = FChangedWhileUpdating;
    FChangedWhileUpdating = false;
    FChangingWhileUpdating = false;
    if (changed && OnChange) OnChange(this);
  }
}
