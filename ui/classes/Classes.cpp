// Class information and the class registry, TObject, TPersistent and TComponent (ownership,
// names, component state, notifications).
#include "ui/classes/Classes.h"

#include <map>
#include <mutex>

// ---------------------------------------------------------------------------------------------
// Identifier maps and property defaults

std::string IntToIdent(int64_t Value, const TIdentMap& Map) {
  for (const auto& e : Map)
    if (e.Value == Value) return e.Name;
  return "";
}

bool IdentToInt(const std::string& Name, int64_t& Value, const TIdentMap& Map) {
  for (const auto& e : Map)
    if (SameText(e.Name, Name)) {
      Value = e.Value;
      return true;
    }
  return false;
}

bool TPropInfo::ShouldWrite(TObject* Instance) const {
  if (StoredFn && !StoredFn(Instance)) return false;
  switch (Kind) {
    case TPropKind::Integer:
    case TPropKind::Int64:
    case TPropKind::Boolean:
    case TPropKind::Enum:
    case TPropKind::Set:
    case TPropKind::IntIdent:
      return !HasDefault || GetOrd(Instance) != OrdDefault;
    case TPropKind::Float:
      return !HasDefault || GetFloat(Instance) != FloatDefault;
    case TPropKind::String:
      return !HasDefault || GetStr(Instance) != StrDefault;
    case TPropKind::Ref:
      return GetRef(Instance) != nullptr;
    case TPropKind::Event:
      return GetEventBinding(Instance).Instance != nullptr;
    case TPropKind::Object:
      return GetObject(Instance) != nullptr;
    case TPropKind::Collection: {
      auto* c = dynamic_cast<TCollection*>(GetObject(Instance));
      return c && c->Count() > 0;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------------------------
// TClassInfo

TClassInfo::TClassInfo(std::string Name, TClass Parent) : FName(std::move(Name)), FParent(Parent) {}

bool TClassInfo::InheritsFrom(TClass Ancestor) const {
  for (TClass c = this; c; c = c->FParent)
    if (c == Ancestor) return true;
  return false;
}

TComponent* TClassInfo::CreateComponent(TComponent* Owner) const {
  if (!ComponentFactory)
    throw EComponentError("Von der Klasse " + FName + " kann keine Komponente erzeugt werden");
  return ComponentFactory(Owner);
}

TCollectionItem* TClassInfo::CreateItem(TCollection* Collection) const {
  if (!ItemFactory)
    throw EComponentError("Von der Klasse " + FName +
                          " kann kein Element einer Kollektion erzeugt werden");
  return ItemFactory(Collection);
}

const TPropInfo* TClassInfo::FindProp(std::string_view Name) const {
  std::string n(Name);
  for (TClass c = this; c; c = c->FParent)
    for (const auto& p : c->FProps)
      if (SameText(p->Name, n)) return p.get();
  return nullptr;
}

const TFieldInfo* TClassInfo::FindField(std::string_view Name) const {
  std::string n(Name);
  for (TClass c = this; c; c = c->FParent)
    for (const auto& f : c->FFields)
      if (SameText(f->Name, n)) return f.get();
  return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(std::string_view Name) const {
  std::string n(Name);
  for (TClass c = this; c; c = c->FParent)
    for (const auto& m : c->FMethods)
      if (SameText(m->Name, n)) return m.get();
  return nullptr;
}

std::vector<const TPropInfo*> TClassInfo::Properties() const {
  std::vector<TClass> chain;
  for (TClass c = this; c; c = c->FParent) chain.insert(chain.begin(), c);
  std::vector<const TPropInfo*> out;
  for (TClass c : chain)
    for (const auto& p : c->FProps) {
      auto same = std::find_if(out.begin(), out.end(),
                               [&](const TPropInfo* q) { return SameText(q->Name, p->Name); });
      if (same != out.end())
        *same = p.get();
      else
        out.push_back(p.get());
    }
  return out;
}

std::vector<const TFieldInfo*> TClassInfo::Fields() const {
  std::vector<const TFieldInfo*> out;
  for (TClass c = this; c; c = c->FParent)
    for (const auto& f : c->FFields) out.push_back(f.get());
  return out;
}

std::vector<const TMethodInfo*> TClassInfo::Methods() const {
  std::vector<const TMethodInfo*> out;
  for (TClass c = this; c; c = c->FParent)
    for (const auto& m : c->FMethods) out.push_back(m.get());
  return out;
}

std::string TClassInfo::MethodName(const TMethodBinding& Binding) const {
  if (!Binding.Instance) return "";
  for (const TMethodInfo* m : Methods())
    if (SameText(m->Name, Binding.Name)) return m->Name;
  return "";
}

TPropInfo& TClassInfo::AddProp(TPropInfo Prop) {
  FProps.push_back(std::make_unique<TPropInfo>(std::move(Prop)));
  return *FProps.back();
}

void TClassInfo::AddField(TFieldInfo Field) {
  FFields.push_back(std::make_unique<TFieldInfo>(std::move(Field)));
}

void TClassInfo::AddMethod(TMethodInfo Method) {
  FMethods.push_back(std::make_unique<TMethodInfo>(std::move(Method)));
}

// ---------------------------------------------------------------------------------------------
// Registry

namespace {
struct Registry {
  std::mutex Lock;
  std::map<std::string, TClass> ByName;  // upper-case name
};
Registry& TheRegistry() {
  static Registry* r = new Registry;  // never destroyed: classes outlive static destruction
  return *r;
}
}  // namespace

void RegisterClass(TClass Class) {
  if (!Class) return;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> g(r.Lock);
  auto [it, inserted] = r.ByName.emplace(UpperCase(Class->Name()), Class);
  if (!inserted && it->second != Class)
    throw EFilerError("Eine Klasse mit der Bezeichnung " + Class->Name() + " existiert bereits");
}

void RegisterClasses(std::initializer_list<TClass> Classes) {
  for (TClass c : Classes) RegisterClass(c);
}

void UnRegisterClass(TClass Class) {
  if (!Class) return;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> g(r.Lock);
  auto it = r.ByName.find(UpperCase(Class->Name()));
  if (it != r.ByName.end() && it->second == Class) r.ByName.erase(it);
}

TClass GetClass(const std::string& Name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> g(r.Lock);
  auto it = r.ByName.find(UpperCase(Name));
  return it == r.ByName.end() ? nullptr : it->second;
}

TClass FindClass(const std::string& Name) {
  TClass c = GetClass(Name);
  if (!c) throw EClassNotFound("Klasse " + Name + " nicht gefunden");
  return c;
}

// ---------------------------------------------------------------------------------------------
// TObject, TPersistent

TObject::~TObject() = default;

TClass TObject::StaticClass() {
  static const TClass info = new TClassInfo("TObject", nullptr);
  return info;
}

static const vcl_detail::AutoRegister vcl_auto_register_TObject(TObject::StaticClass());

VCL_REGISTER_CLASS(TPersistent, [](TClassBuilder<TPersistent>&) {})

void TPersistent::Assign(TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) {
  Dest->AssignError(this);
}

void TPersistent::AssignError(TPersistent* Source) {
  std::string from = Source ? Source->ClassName() : std::string("nil");
  throw EConvertError(from + " kann nicht zu " + ClassName() + " zugewiesen werden");
}

TPersistent* TPersistent::GetOwner() {
  return nullptr;
}

std::string TPersistent::GetNamePath() {
  return ClassName();
}

void TPersistent::DefineProperties(TFiler*) {}

// ---------------------------------------------------------------------------------------------
// TComponent

VCL_REGISTER_CLASS(TComponent, [](TClassBuilder<TComponent>& c) {
  c.Prop("Tag", &TComponent::Tag, &TComponent::SetTag, 0);
})

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone linked by free notification; each removes its link back to us.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    auto& back = other->FFreeNotifies;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::SetName(const std::string& NewName) {
  if (FName == NewName) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError("'" + NewName + "' ist kein gültiger Komponentenname");
  if (FOwner)
    FOwner->ValidateRename(this, FName, NewName);
  else
    ValidateRename(nullptr, FName, NewName);
  SetReference(false);
  ChangeName(NewName);
  SetReference(true);
}

void TComponent::ChangeName(const std::string& NewName) {
  FName = NewName;
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName) {
  if (AComponent && !NewName.empty() && !SameText(CurName, NewName)) {
    TComponent* other = FindComponent(NewName);
    if (other && other != AComponent)
      throw EComponentError("Eine Komponente mit der Bezeichnung " + NewName +
                            " existiert bereits");
  }
}

// Keeps the owner's published field named like this component pointing to it (or clears it).
void TComponent::SetReference(bool Enable) {
  if (!FOwner || FName.empty()) return;
  const TFieldInfo* f = FOwner->ClassType()->FindField(FName);
  if (!f) return;
  if (Enable) {
    f->Set(FOwner, this);  // a field of another type is left alone
  } else if (f->Get(FOwner) == this) {
    f->Set(FOwner, nullptr);
  }
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError(Format("Listenindex überschreitet das Maximum (%d)", Index));
  return FComponents[static_cast<size_t>(Index)];
}

int TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(const std::string& Name) const {
  if (Name.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, Name)) return c;
  return nullptr;
}

void TComponent::SetDesigning(bool Value, bool SetChildren) {
  if (Value)
    FComponentState.Include(csDesigning);
  else
    FComponentState.Exclude(csDesigning);
  if (SetChildren)
    for (TComponent* c : FComponents) c->SetDesigning(Value, true);
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent) return;
  // Refuse a taken name before anything changes: the component stays with its old owner.
  ValidateRename(AComponent, "", AComponent->FName);
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  Insert(AComponent);
  AComponent->SetReference(true);
  if (FComponentState.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  AComponent->SetReference(false);
  Remove(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it != FComponents.end()) FComponents.erase(it);
  AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* last = FComponents.back();
    last->Destroying();
    RemoveComponent(last);
    delete last;
  }
}

void TComponent::Destroying() {
  if (FComponentState.Contains(csDestroying)) return;
  FComponentState.Include(csDestroying);
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  auto& back = AComponent->FFreeNotifies;
  if (std::find(back.begin(), back.end(), this) == back.end()) back.push_back(this);
  FComponentState.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent),
                      FFreeNotifies.end());
  auto& back = AComponent->FFreeNotifies;
  back.erase(std::remove(back.begin(), back.end(), this), back.end());
}

void TComponent::Loaded() {
  FComponentState.Exclude(csLoading);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // Copy: a handler may add or remove components.
  std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned)
    if (std::find(FComponents.begin(), FComponents.end(), c) != FComponents.end())
      c->Notification(AComponent, Operation);
}

void TComponent::ReadState(TReader& Reader) {
  Reader.ReadData(this);
}

void TComponent::WriteState(TWriter& Writer) {
  Writer.WriteProperties(this);
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  if (Root != this) return;
  std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned)
    if (!c->HasParent()) Proc(c);
}

TComponent* TComponent::GetChildOwner() {
  return nullptr;
}
TComponent* TComponent::GetChildParent() {
  return this;
}
bool TComponent::HasParent() {
  return false;
}
TComponent* TComponent::GetParentComponent() {
  return nullptr;
}
void TComponent::SetParentComponent(TComponent*) {}
