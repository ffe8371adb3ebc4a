// TCollection, TCollectionItem and TOwnedCollection: an owned, ordered list of items of one
// class, each with a stable ID, and the update notifications of the whole collection.
#include "ui/classes/Classes.h"

// ---------------------------------------------------------------------------------------------
// TCollectionItem

VCL_REGISTER_CLASS(TCollectionItem, [](TClassBuilder<TCollectionItem>&) {})

TCollectionItem::TCollectionItem(TCollection* Collection) {
  SetCollection(Collection);
}

TCollectionItem::~TCollectionItem() {
  SetCollection(nullptr);
}

void TCollectionItem::SetCollection(TCollection* Value) {
  if (FCollection == Value) return;
  if (FCollection) FCollection->RemoveItem(this);
  if (Value) Value->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (!FCollection) return -1;
  auto& items = FCollection->FItems;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void TCollectionItem::SetIndex(int Value) {
  int cur = Index();
  if (cur < 0 || cur == Value) return;
  auto& items = FCollection->FItems;
  if (Value < 0 || Value >= static_cast<int>(items.size()))
    throw EListError(Format("Listenindex überschreitet das Maximum (%d)", Value));
  items.erase(items.begin() + cur);
  items.insert(items.begin() + Value, this);
  Changed(true);
}

std::string TCollectionItem::DisplayName() const {
  return ClassName();
}

TPersistent* TCollectionItem::GetOwner() {
  return FCollection;
}

std::string TCollectionItem::GetNamePath() {
  if (!FCollection) return ClassName();
  return FCollection->GetNamePath() + Format("[%d]", Index());
}

void TCollectionItem::Changed(bool AllItems) {
  if (FCollection && FCollection->UpdateCount() == 0)
    FCollection->Update(AllItems ? nullptr : this);
}

// ---------------------------------------------------------------------------------------------
// TCollection

VCL_REGISTER_CLASS(TCollection, [](TClassBuilder<TCollection>&) {})

TCollection::TCollection(TClass ItemClass) : FItemClass(ItemClass) {
  if (!ItemClass || !ItemClass->ItemFactory)
    throw EComponentError("Die Klasse der Kollektionselemente hat keinen Konstruktor");
  FFactory = ItemClass->ItemFactory;
}

TCollection::TCollection(TClass ItemClass, TItemFactory Factory)
    : FItemClass(ItemClass), FFactory(std::move(Factory)) {
  if (!FFactory) throw EComponentError("Die Kollektion braucht einen Elementkonstruktor");
}

TCollection::~TCollection() {
  FUpdateCount = 1;  // no Update notifications while going
  while (!FItems.empty()) delete FItems.back();
}

TCollectionItem* TCollection::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError(Format("Listenindex überschreitet das Maximum (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

TCollectionItem* TCollection::Add() {
  TCollectionItem* item = FFactory(this);
  if (item->FCollection != this) item->SetCollection(this);
  return item;
}

TCollectionItem* TCollection::Insert(int Index) {
  if (Index < 0 || Index > Count())
    throw EListError(Format("Listenindex überschreitet das Maximum (%d)", Index));
  BeginUpdate();
  Finally end([this] { EndUpdate(); });
  TCollectionItem* item = Add();
  item->SetIndex(Index);
  return item;
}

void TCollection::Delete(int Index) {
  TCollectionItem* item = Items(Index);
  Notify(item, cnDeleting);
  delete item;
}

void TCollection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  Finally end([this] { EndUpdate(); });
  while (!FItems.empty()) {
    TCollectionItem* item = FItems.back();
    Notify(item, cnDeleting);
    delete item;
  }
}

TCollectionItem* TCollection::FindItemID(int ID) const {
  for (TCollectionItem* item : FItems)
    if (item->FID == ID) return item;
  return nullptr;
}

void TCollection::BeginUpdate() {
  ++FUpdateCount;
}

void TCollection::EndUpdate() {
  if (FUpdateCount <= 0) return;
  if (--FUpdateCount == 0) Changed();
}

void TCollection::Changed() {
  if (FUpdateCount == 0) Update(nullptr);
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Notify(TCollectionItem*, TCollectionNotification) {}

void TCollection::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<TCollection*>(Source)) {
    if (src == this) return;
    BeginUpdate();
    Finally end([this] { EndUpdate(); });
    Clear();
    for (int i = 0; i < src->Count(); ++i) Add()->Assign(src->Items(i));
    return;
  }
  TPersistent::Assign(Source);
}

std::string TCollection::GetNamePath() {
  TPersistent* owner = GetOwner();
  if (!owner) return ClassName();
  std::string ownerPath = owner->GetNamePath();
  if (ownerPath.empty()) return ClassName();
  // The owner's property that holds this collection gives the rest of the path.
  for (const TPropInfo* p : owner->ClassType()->Properties())
    if (p->Kind == TPropKind::Collection && p->GetObject(owner) == this)
      return ownerPath + "." + p->Name;
  return ownerPath;
}

void TCollection::InsertItem(TCollectionItem* Item) {
  FItems.push_back(Item);
  Item->FCollection = this;
  Item->FID = FNextID++;
  Notify(Item, cnAdded);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* Item) {
  Notify(Item, cnExtracting);
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it != FItems.end()) FItems.erase(it);
  Item->FCollection = nullptr;
  Changed();
}

// ---------------------------------------------------------------------------------------------
// TOwnedCollection

VCL_REGISTER_CLASS(TOwnedCollection, [](TClassBuilder<TOwnedCollection>&) {})

TOwnedCollection::TOwnedCollection(TPersistent* AOwner, TClass ItemClass)
    : TCollection(ItemClass), FOwner(AOwner) {}

TOwnedCollection::TOwnedCollection(TPersistent* AOwner, TClass ItemClass, TItemFactory Factory)
    : TCollection(ItemClass, std::move(Factory)), FOwner(AOwner) {}
