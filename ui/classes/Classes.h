// The component framework core: class information and the class registry, published-property
// tables, TPersistent and TComponent (ownership, names, states, notifications), sets, pointer
// and string lists, collections, streams, and the reader and writer of the text form of a
// component description ("object Form1: TForm1 ... end").
//
// Ownership: a component owned by another is a raw pointer that its owner deletes (in reverse
// creation order); collections own their items; string lists own their objects only when
// OwnsObjects is set. Threads: the class registry is lock-guarded; everything else belongs to
// one thread at a time.
#pragma once

#include <algorithm>
#include <any>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <utility>
#include <vector>

#include "ui/classes/SysUtils.h"

class TObject;
class TPersistent;
class TComponent;
class TCollection;
class TCollectionItem;
class TStrings;
class TFiler;
class TReader;
class TWriter;
class TStream;
class TClassInfo;
using TClass = const TClassInfo*;

using TNotifyEvent = std::function<void(TObject* Sender)>;

// ---------------------------------------------------------------------------------------------
// TSet: a set over an enumeration, as bit flags over the enumerators' ordinals (0..63).

template <class E>
class TSet {
  static_assert(std::is_enum_v<E>, "TSet is a set over an enumeration");

 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> Elements) {
    for (E e : Elements) FBits |= Bit(e);
  }
  static constexpr TSet FromBits(uint64_t Bits) {
    TSet s;
    s.FBits = Bits;
    return s;
  }
  constexpr uint64_t Bits() const { return FBits; }
  constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
  constexpr TSet& Include(E e) {
    FBits |= Bit(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    FBits &= ~Bit(e);
    return *this;
  }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr int Count() const { return __builtin_popcountll(FBits); }
  constexpr TSet operator+(TSet o) const { return FromBits(FBits | o.FBits); }
  constexpr TSet operator-(TSet o) const { return FromBits(FBits & ~o.FBits); }
  constexpr TSet operator*(TSet o) const { return FromBits(FBits & o.FBits); }
  constexpr TSet& operator+=(TSet o) {
    FBits |= o.FBits;
    return *this;
  }
  constexpr TSet& operator-=(TSet o) {
    FBits &= ~o.FBits;
    return *this;
  }
  constexpr bool operator==(const TSet&) const = default;

 private:
  static constexpr uint64_t Bit(E e) {
    auto ord = static_cast<uint64_t>(e);
    return ord < 64 ? (uint64_t{1} << ord) : 0;
  }
  uint64_t FBits = 0;
};

template <class T>
struct IsTSet : std::false_type {};
template <class E>
struct IsTSet<TSet<E>> : std::true_type {
  using Enum = E;
};

// ---------------------------------------------------------------------------------------------
// Class information: name, parent, factories, published properties, fields and methods.

enum class TPropKind {
  Integer,  // any integral type up to 32 bits
  Int64,    // 64-bit integer
  Float,    // double
  Boolean,
  String,      // UTF-8 std::string
  Enum,        // enumeration, streamed by its identifier
  Set,         // TSet over an enumeration: [a, b]
  IntIdent,    // integer with names for some values (colours, char sets)
  Object,      // nested TPersistent: Font.Name = ...; also TStrings (SQL.Strings = (...))
  Collection,  // TCollection: Params = <item ... end>
  Ref,         // reference to a component, set after the whole description was read
  Event        // std::function handler, streamed as the name of a published method of the root
};

struct TIdentMapEntry {
  int64_t Value;
  std::string Name;
};
using TIdentMap = std::vector<TIdentMapEntry>;
// Looks Value up in Map: the name, or "" when it has none.
std::string IntToIdent(int64_t Value, const TIdentMap& Map);
// Case-insensitive; false when the name is not in Map.
bool IdentToInt(const std::string& Name, int64_t& Value, const TIdentMap& Map);

// A published method bound to an instance, as it sits inside an event's std::function. The
// writer recovers the method name of a handler from it.
struct TMethodBinding {
  TObject* Instance = nullptr;
  std::string Name;
};

template <class Sig>
struct TBoundMethod;
template <class... Args>
struct TBoundMethod<void(Args...)> : TMethodBinding {
  std::function<void(TObject*, Args...)> Call;
  void operator()(Args... a) const { Call(Instance, std::forward<Args>(a)...); }
};

// One published property. The type-erased accessors take the instance as TObject*; which of
// them are set depends on Kind (ordinal kinds use GetOrd/SetOrd with the value, the enum's
// ordinal or the set's bits).
struct TPropInfo {
  std::string Name;
  TPropKind Kind = TPropKind::Integer;
  std::vector<std::string> Names;  // Enum: identifier per ordinal; Set: element name per bit
  TIdentMap Idents;                // IntIdent
  int64_t MinValue = std::numeric_limits<int64_t>::min();
  int64_t MaxValue = std::numeric_limits<int64_t>::max();

  bool HasDefault = false;  // the writer omits a value equal to the default
  int64_t OrdDefault = 0;
  double FloatDefault = 0;
  std::string StrDefault;
  std::function<bool(TObject*)> StoredFn;  // optional: false = never written

  std::function<int64_t(TObject*)> GetOrd;
  std::function<void(TObject*, int64_t)> SetOrd;
  std::function<double(TObject*)> GetFloat;
  std::function<void(TObject*, double)> SetFloat;
  std::function<std::string(TObject*)> GetStr;
  std::function<void(TObject*, const std::string&)> SetStr;
  std::function<TPersistent*(TObject*)> GetObject;  // Object, Collection
  std::function<TComponent*(TObject*)> GetRef;
  // Returns false (and sets nothing) when the component is not of the property's type.
  std::function<bool(TObject*, TComponent*)> SetRef;
  std::type_index EventSignature = typeid(void);
  // Handler: an empty std::any clears, else a std::function of the event's signature.
  std::function<void(TObject*, const std::any&)> SetEvent;
  // A copy of the published-method binding the handler holds; Instance is nullptr when there is
  // none (no handler, or a plain lambda).
  std::function<TMethodBinding(TObject*)> GetEventBinding;

  // True when the writer is to write the value of Instance (stored, and not the default).
  bool ShouldWrite(TObject* Instance) const;
};

struct TFieldInfo {
  std::string Name;
  TClass FieldClass = nullptr;
  std::function<TComponent*(TObject*)> Get;
  // Returns false when the component is not of the field's type.
  std::function<bool(TObject*, TComponent*)> Set;
};

struct TMethodInfo {
  std::string Name;
  std::type_index Signature = typeid(void);
  // A std::function of the method's signature bound to Instance, wrapped in std::any.
  std::function<std::any(TObject* Instance)> Bind;
};

class TClassInfo {
 public:
  TClassInfo(std::string Name, TClass Parent);
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  const std::string& Name() const { return FName; }
  TClass Parent() const { return FParent; }
  bool InheritsFrom(TClass Ancestor) const;

  // Components: new instance owned by Owner; raises EComponentError for a class without factory.
  bool CanCreateComponent() const { return static_cast<bool>(ComponentFactory); }
  TComponent* CreateComponent(TComponent* Owner) const;
  // Collection items: new item inside Collection; raises EComponentError without factory.
  TCollectionItem* CreateItem(TCollection* Collection) const;

  // Case-insensitive look-ups along the class chain (own class first).
  const TPropInfo* FindProp(std::string_view Name) const;
  const TFieldInfo* FindField(std::string_view Name) const;
  const TMethodInfo* FindMethod(std::string_view Name) const;
  // Every published property, base classes first; a redeclared name keeps the base's place.
  std::vector<const TPropInfo*> Properties() const;
  std::vector<const TFieldInfo*> Fields() const;
  std::vector<const TMethodInfo*> Methods() const;
  // The name of the published method of this class that Binding refers to, or "".
  std::string MethodName(const TMethodBinding& Binding) const;

  TPropInfo& AddProp(TPropInfo Prop);
  void AddField(TFieldInfo Field);
  void AddMethod(TMethodInfo Method);

  std::function<TComponent*(TComponent*)> ComponentFactory;
  std::function<TCollectionItem*(TCollection*)> ItemFactory;

 private:
  std::string FName;
  TClass FParent;
  std::vector<std::unique_ptr<TPropInfo>> FProps;
  std::vector<std::unique_ptr<TFieldInfo>> FFields;
  std::vector<std::unique_ptr<TMethodInfo>> FMethods;
};

// The process-wide registry of classes by name (case-insensitive). RegisterClass of an already
// registered class does nothing; a different class under a taken name raises EFilerError.
void RegisterClass(TClass Class);
void RegisterClasses(std::initializer_list<TClass> Classes);
void UnRegisterClass(TClass Class);
TClass GetClass(const std::string& Name);   // nullptr when unknown
TClass FindClass(const std::string& Name);  // raises EClassNotFound when unknown

// Declares the class-information members; put it first in the class body.
//   class TcxButton : public TWinControl {
//     VCL_DECLARE_CLASS(TcxButton, TWinControl)
//    public: ...
#define VCL_DECLARE_CLASS(Cls, Parent) \
 public:                               \
  using inherited = Parent;            \
  static TClass StaticClass();         \
  TClass ClassType() const override {  \
    return Cls::StaticClass();         \
  }                                    \
                                       \
 private:

template <class T>
class TClassBuilder;

namespace vcl_detail {
template <class T, class Fn>
TClass MakeClassInfo(const char* Name, TClass Parent, Fn&& Build);
struct AutoRegister {
  explicit AutoRegister(TClass Class) { ::RegisterClass(Class); }
};
}  // namespace vcl_detail

// Defines Cls::StaticClass() and registers the class by name at start-up. Once per class, in
// its .cpp file:
//   VCL_REGISTER_CLASS(TcxButton, [](TClassBuilder<TcxButton>& c) { c.Prop(...); ... });
// The registration runs when the linker keeps that .cpp file; from a static library it keeps it
// only when something refers to it. A published field (c.Field) of a root refers to its class,
// so everything a form declares is found; a class that is only ever named in a description
// needs a call of Cls::StaticClass() (or RegisterClass) somewhere in the program.
#define VCL_REGISTER_CLASS(Cls, ...)                                                        \
  TClass Cls::StaticClass() {                                                               \
    static const TClass info =                                                              \
        ::vcl_detail::MakeClassInfo<Cls>(#Cls, Cls::inherited::StaticClass(), __VA_ARGS__); \
    return info;                                                                            \
  }                                                                                         \
  static const ::vcl_detail::AutoRegister vcl_auto_register_##Cls(Cls::StaticClass());

// ---------------------------------------------------------------------------------------------
// TObject and TPersistent

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject();

  static TClass StaticClass();
  virtual TClass ClassType() const { return TObject::StaticClass(); }
  const std::string& ClassName() const { return ClassType()->Name(); }
  bool InheritsFrom(TClass Class) const { return ClassType()->InheritsFrom(Class); }
};

class TPersistent : public TObject {
  VCL_DECLARE_CLASS(TPersistent, TObject)
 public:
  // Copies Source into this object; the default asks Source->AssignTo(this), and raises
  // EConvertError when neither side knows how.
  virtual void Assign(TPersistent* Source);
  // The object that owns this one for naming and streaming purposes (nullptr by default).
  virtual TPersistent* GetOwner();
  virtual std::string GetNamePath();
  // Declares the object's unpublished stream properties (TFiler::DefineProperty).
  virtual void DefineProperties(TFiler* Filer);

 protected:
  virtual void AssignTo(TPersistent* Dest);
  [[noreturn]] void AssignError(TPersistent* Source);
};

// ---------------------------------------------------------------------------------------------
// TComponent

enum TComponentStateFlag {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateFlag>;

enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
  VCL_DECLARE_CLASS(TComponent, TPersistent)
 public:
  // Inserts the new component into AOwner's list (AOwner may be nullptr).
  explicit TComponent(TComponent* AOwner);
  // Sets csDestroying, tells the free-notification clients (opRemove), destroys the owned
  // components in reverse creation order, and leaves the owner (which, with its other
  // components, receives Notification(this, opRemove)). Descendants whose owned components must
  // go before their own members call DestroyComponents() in their destructor.
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  // Refuses a name that is not an identifier or that a sibling already has (case-insensitive)
  // with EComponentError; the empty name is allowed. Keeps the owner's published field of the
  // old and the new name in step.
  virtual void SetName(const std::string& NewName);
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t Value) { FTag = Value; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Raises EListError for an index out of range.
  TComponent* Components(int Index) const;
  int ComponentIndex() const;
  // Owned component by name, case-insensitive; nullptr when none (or Name empty).
  TComponent* FindComponent(const std::string& Name) const;

  TComponentState ComponentState() const { return FComponentState; }
  void SetDesigning(bool Value, bool SetChildren = true);

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  void DestroyComponents();
  // Marks this component and its owned ones csDestroying.
  void Destroying();

  // Both components will hear (Notification opRemove) when the other one goes.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Called once after the component was read from a description (csLoading already cleared).
  virtual void Loaded();
  // opInsert/opRemove of AComponent; the default forgets a free-notification link to a removed
  // component and passes the notification on to every owned component.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

  // Reading and writing of this component's own part of a description. ReadState reads the
  // properties and the nested objects (TReader::ReadData); override to prepare or finish.
  virtual void ReadState(TReader& Reader);
  virtual void WriteState(TWriter& Writer);
  // Which components the writer writes nested inside this one: the default writes, for the
  // root, every owned component that has no parent.
  virtual void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root);
  // The owner the reader gives to components read nested inside this one (nullptr = the root).
  virtual TComponent* GetChildOwner();
  // The component nested children are attached to (default: this).
  virtual TComponent* GetChildParent();
  virtual bool HasParent();
  virtual TComponent* GetParentComponent();
  virtual void SetParentComponent(TComponent* Value);

  TPersistent* GetOwner() override { return FOwner; }
  std::string GetNamePath() override { return FName; }

 protected:
  virtual void ValidateRename(TComponent* AComponent, const std::string& CurName,
                              const std::string& NewName);
  // Stores the name without checks.
  void ChangeName(const std::string& NewName);
  void IncludeState(TComponentStateFlag Flag) { FComponentState.Include(Flag); }
  void ExcludeState(TComponentStateFlag Flag) { FComponentState.Exclude(Flag); }

 private:
  friend class TReader;
  friend class TWriter;
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void SetReference(bool Enable);

  TComponent* FOwner = nullptr;
  std::string FName;
  intptr_t FTag = 0;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  TComponentState FComponentState;
};

// ---------------------------------------------------------------------------------------------
// TList: a list of untyped pointers. Index errors raise EListError.

class TList {
 public:
  using TListSortCompare = std::function<int(void* Item1, void* Item2)>;

  TList() = default;
  virtual ~TList() = default;

  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  int Remove(void* Item);  // index it had, -1 when absent
  void* Extract(void* Item);
  int IndexOf(void* Item) const;
  int Count() const { return static_cast<int>(FList.size()); }
  void SetCount(int NewCount);
  void* Items(int Index) const;
  void SetItems(int Index, void* Item);
  void* First() const;
  void* Last() const;
  void Pack();  // removes nullptr entries
  void Clear();
  void Sort(const TListSortCompare& Compare);
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);

 private:
  void Check(int Index) const;
  std::vector<void*> FList;
};

// ---------------------------------------------------------------------------------------------
// TStrings / TStringList

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStrings : public TPersistent {
  VCL_DECLARE_CLASS(TStrings, TPersistent)
 public:
  TStrings() = default;

  virtual int Count() const = 0;
  virtual std::string Strings(int Index) const = 0;
  virtual void SetStrings(int Index, const std::string& S);
  virtual TObject* Objects(int Index) const;
  virtual void SetObjects(int Index, TObject* Obj);
  virtual int Add(const std::string& S);
  virtual int AddObject(const std::string& S, TObject* Obj);
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void InsertObject(int Index, const std::string& S, TObject* Obj);
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(int Index1, int Index2);
  virtual void Move(int CurIndex, int NewIndex);
  virtual int IndexOf(const std::string& S) const;
  int IndexOfName(const std::string& Name) const;
  int IndexOfObject(TObject* Obj) const;
  void AddStrings(const TStrings* Strings);
  bool Equals(const TStrings* Strings) const;

  // Name=Value lines.
  std::string Names(int Index) const;
  std::string Values(const std::string& Name) const;
  // An empty value deletes the line.
  void SetValues(const std::string& Name, const std::string& Value);
  std::string ValueFromIndex(int Index) const;
  char NameValueSeparator() const { return FNameValueSeparator; }
  void SetNameValueSeparator(char C) { FNameValueSeparator = C; }

  // Every line followed by CR LF. SetText splits at CR LF, LF or CR.
  virtual std::string Text() const;
  virtual void SetText(const std::string& Value);
  std::string CommaText() const;
  void SetCommaText(const std::string& Value);
  std::string DelimitedText() const;
  void SetDelimitedText(const std::string& Value);
  char Delimiter() const { return FDelimiter; }
  void SetDelimiter(char C) { FDelimiter = C; }
  char QuoteChar() const { return FQuoteChar; }
  void SetQuoteChar(char C) { FQuoteChar = C; }
  bool StrictDelimiter() const { return FStrictDelimiter; }
  void SetStrictDelimiter(bool B) { FStrictDelimiter = B; }

  // Nested updates: OnChanging comes with the first change, OnChange once at the outermost
  // EndUpdate, and both only when something changed meanwhile.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  void LoadFromStream(TStream& Stream);  // UTF-8; a byte-order mark is skipped
  void SaveToStream(TStream& Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  void Assign(TPersistent* Source) override;
  // Streams the lines as the property "Strings" = ( 'a' 'b' ).
  void DefineProperties(TFiler* Filer) override;

 protected:
  // Called with Updating true when the outermost BeginUpdate starts and false when it ends.
  virtual void SetUpdateState(bool Updating);
  virtual int CompareStrings(const std::string& S1, const std::string& S2) const;
  void ReadData(TReader& Reader);
  void WriteData(TWriter& Writer);
  void AssignTo(TPersistent* Dest) override;

 private:
  char FNameValueSeparator = '=';
  char FDelimiter = ',';
  char FQuoteChar = '"';
  bool FStrictDelimiter = false;
  int FUpdateCount = 0;
};

class TStringList : public TStrings {
  VCL_DECLARE_CLASS(TStringList, TStrings)
 public:
  using TStringListSortCompare = std::function<int(TStringList* List, int Index1, int Index2)>;

  TStringList() = default;
  explicit TStringList(bool OwnsObjects) : FOwnsObjects(OwnsObjects) {}
  ~TStringList() override;

  int Count() const override { return static_cast<int>(FList.size()); }
  std::string Strings(int Index) const override;
  void SetStrings(int Index, const std::string& S) override;
  TObject* Objects(int Index) const override;
  void SetObjects(int Index, TObject* Obj) override;
  // On a sorted list: finds the place; a duplicate is ignored (the existing index is returned),
  // accepted, or refused with EStringListError, as Duplicates says.
  int Add(const std::string& S) override;
  int AddObject(const std::string& S, TObject* Obj) override;
  // Refused with EStringListError on a sorted list.
  void Insert(int Index, const std::string& S) override;
  void InsertObject(int Index, const std::string& S, TObject* Obj) override;
  void Delete(int Index) override;
  void Clear() override;
  void Exchange(int Index1, int Index2) override;
  int IndexOf(const std::string& S) const override;

  // Binary search on a sorted list: true and the index when found, else false and the index at
  // which S would be inserted.
  virtual bool Find(const std::string& S, int& Index) const;
  virtual void Sort();
  void CustomSort(const TStringListSortCompare& Compare);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);
  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool Value) { FOwnsObjects = Value; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  // Fire OnChanging/OnChange, unless inside BeginUpdate/EndUpdate.
  virtual void Changing();
  virtual void Changed();
  void SetUpdateState(bool Updating) override;
  int CompareStrings(const std::string& S1, const std::string& S2) const override;
  void InsertItem(int Index, const std::string& S, TObject* Obj);

 private:
  struct Item {
    std::string Str;
    TObject* Obj;
  };
  void CheckIndex(int Index) const;
  std::vector<Item> FList;
  bool FSorted = false;
  bool FCaseSensitive = false;
  bool FOwnsObjects = false;
  TDuplicates FDuplicates = dupIgnore;
  bool FChangedWhileUpdating = false;
  bool FChangingWhileUpdating = false;
};

// ---------------------------------------------------------------------------------------------
// TCollection / TCollectionItem

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

class TCollectionItem : public TPersistent {
  VCL_DECLARE_CLASS(TCollectionItem, TPersistent)
 public:
  // Adds the new item to Collection (may be nullptr).
  explicit TCollectionItem(TCollection* Collection);
  // Leaves the collection.
  ~TCollectionItem() override;

  TCollection* Collection() const { return FCollection; }
  void SetCollection(TCollection* Value);
  int ID() const { return FID; }
  int Index() const;
  void SetIndex(int Value);
  virtual std::string DisplayName() const;
  TPersistent* GetOwner() override;
  std::string GetNamePath() override;

 protected:
  // Tells the collection this item changed (AllItems: the whole collection).
  void Changed(bool AllItems);

 private:
  friend class TCollection;
  TCollection* FCollection = nullptr;
  int FID = 0;
};

class TCollection : public TPersistent {
  VCL_DECLARE_CLASS(TCollection, TPersistent)
 public:
  using TItemFactory = std::function<TCollectionItem*(TCollection*)>;
  // ItemClass must have an item factory (a constructor taking TCollection*).
  explicit TCollection(TClass ItemClass);
  TCollection(TClass ItemClass, TItemFactory Factory);
  ~TCollection() override;

  TClass ItemClass() const { return FItemClass; }
  int Count() const { return static_cast<int>(FItems.size()); }
  // Raises EListError for an index out of range.
  TCollectionItem* Items(int Index) const;
  TCollectionItem* Add();
  TCollectionItem* Insert(int Index);
  void Delete(int Index);
  void Clear();
  TCollectionItem* FindItemID(int ID) const;
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }
  // Copies Source's items (each through its Assign) when Source is a collection.
  void Assign(TPersistent* Source) override;
  std::string GetNamePath() override;

 protected:
  // Item == nullptr: the whole collection changed. Called outside of BeginUpdate/EndUpdate.
  virtual void Update(TCollectionItem* Item);
  virtual void Notify(TCollectionItem* Item, TCollectionNotification Action);
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* Item);
  void RemoveItem(TCollectionItem* Item);

  TClass FItemClass;
  TItemFactory FFactory;
  std::vector<TCollectionItem*> FItems;
  int FNextID = 0;
  int FUpdateCount = 0;
};

class TOwnedCollection : public TCollection {
  VCL_DECLARE_CLASS(TOwnedCollection, TCollection)
 public:
  TOwnedCollection(TPersistent* AOwner, TClass ItemClass);
  TOwnedCollection(TPersistent* AOwner, TClass ItemClass, TItemFactory Factory);
  TPersistent* GetOwner() override { return FOwner; }

 private:
  TPersistent* FOwner;
};

// ---------------------------------------------------------------------------------------------
// Streams

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
  VCL_DECLARE_CLASS(TStream, TObject)
 public:
  // Read/Write transfer up to Count bytes and return how many they did.
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  // The new position; a position before 0 raises EStreamError.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);
  // Exactly Count bytes or EReadError / EWriteError.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Copies Count bytes from Source's position; Count 0 copies all of Source from its start.
  int64_t CopyFrom(TStream& Source, int64_t Count);
};

class TMemoryStream : public TStream {
  VCL_DECLARE_CLASS(TMemoryStream, TStream)
 public:
  TMemoryStream() = default;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t NewSize) override;
  uint8_t* Memory() { return FData.data(); }
  const uint8_t* Memory() const { return FData.data(); }
  void Clear();
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream);
  // Raise EFOpenError / EFCreateError when the file cannot be opened or created.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

 protected:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

class TBytesStream : public TMemoryStream {
  VCL_DECLARE_CLASS(TBytesStream, TMemoryStream)
 public:
  TBytesStream() = default;
  explicit TBytesStream(std::vector<uint8_t> Bytes);
  // The stream's content (Size bytes).
  const std::vector<uint8_t>& Bytes() const { return FData; }
};

class TStringStream : public TMemoryStream {
  VCL_DECLARE_CLASS(TStringStream, TMemoryStream)
 public:
  TStringStream() = default;
  explicit TStringStream(const std::string& S);
  std::string DataString() const;
  std::string ReadString(int64_t Count);
  void WriteString(const std::string& S);
};

enum : uint16_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  // Sharing modes are accepted for compatibility; files are not share-locked.
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,
};

class TFileStream : public TStream {
  VCL_DECLARE_CLASS(TFileStream, TStream)
 public:
  // fmCreate creates or truncates (EFCreateError on failure); the fmOpen modes open an existing
  // file (EFOpenError). The message names the file and the system's reason.
  TFileStream(const std::string& FileName, uint16_t Mode);
  ~TFileStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

// ---------------------------------------------------------------------------------------------
// Filer, reader and writer of the text form of a component description.

// Kinds of value the reader finds next (TReader::NextValue).
enum TValueType {
  vaNull,  // end of a list, collection or object (')', '>', 'end')
  vaList,
  vaInt8,
  vaInt16,
  vaInt32,
  vaExtended,
  vaString,
  vaIdent,
  vaFalse,
  vaTrue,
  vaBinary,
  vaSet,
  vaLString,
  vaNil,
  vaCollection,
  vaSingle,
  vaCurrency,
  vaDate,
  vaWString,
  vaInt64,
  vaUTF8String,
  vaDouble
};

class TFiler {
 public:
  TFiler() = default;
  TFiler(const TFiler&) = delete;
  TFiler& operator=(const TFiler&) = delete;
  virtual ~TFiler() = default;

  // Declares a stream property of the object whose DefineProperties runs. While reading, the
  // reader calls ReadData when Name is the property at hand; while writing, the writer calls
  // WriteData when HasData. ReadData reads exactly one value, WriteData writes exactly one.
  virtual void DefineProperty(const std::string& Name, std::function<void(TReader&)> ReadData,
                              std::function<void(TWriter&)> WriteData, bool HasData) = 0;
  // The same for a binary value { hex }: the functions get a stream holding the bytes (reading)
  // or to fill (writing).
  virtual void DefineBinaryProperty(const std::string& Name, std::function<void(TStream&)> ReadData,
                                    std::function<void(TStream&)> WriteData, bool HasData) = 0;
  TComponent* Root() const { return FRoot; }

 protected:
  TComponent* FRoot = nullptr;
};

class TReader : public TFiler {
 public:
  // Text must outlive the reader.
  explicit TReader(std::string_view Text);
  ~TReader() override;

  // Reads the description into Root: the header's name becomes Root's name, the header's class
  // must be Root's class or one of its ancestors. Creates the nested components, sets properties,
  // resolves references and calls Loaded, in that order (see the .cpp for the exact contract).
  void ReadRootComponent(TComponent* Root);
  // Reads properties and nested objects of Instance up to its "end" (TComponent::ReadState's
  // default body).
  void ReadData(TComponent* Instance);

  // Value access for DefineProperty readers. NextValue (also as ReadValue) tells the kind of
  // the next value without taking it; the Read* functions take one value of their kind and
  // raise EReadError (naming the property and the line) for another kind.
  TValueType NextValue();
  TValueType ReadValue() { return NextValue(); }
  bool EndOfList();
  void ReadListBegin();
  void ReadListEnd();
  int32_t ReadInteger();
  int64_t ReadInt64();
  double ReadFloat();
  bool ReadBoolean();
  std::string ReadString();
  std::string ReadIdent();
  std::vector<uint8_t> ReadBinary();
  // Reads <item ... end ...> into Collection (cleared first).
  void ReadCollection(TCollection* Collection);
  // Skips one value of any kind.
  void SkipValue();

  // Line (1-based) of the value or token at hand.
  int Line() const;
  // Name of the property being read ("Font.Name").
  const std::string& PropName() const { return FPropPath; }
  // Raises EReadError naming the property being read and the line.
  [[noreturn]] void Error(const std::string& Message) const;

  void DefineProperty(const std::string& Name, std::function<void(TReader&)> ReadData,
                      std::function<void(TWriter&)> WriteData, bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, std::function<void(TStream&)> ReadData,
                            std::function<void(TStream&)> WriteData, bool HasData) override;

  // The class named in the header of a description ("object Form1: TForm1" gives "TForm1").
  static std::string RootClassName(std::string_view Text);
  // Resolves a component reference by name ("X", "Root", "Form1.X") the way fix-ups do.
  TComponent* FindComponentByPath(const std::string& Path) const;

 private:
  struct Impl;
  void ReadObject(TComponent* Container);
  void ReadProperty(TObject* Instance);
  void ReadPropValue(TObject* Instance, const TPropInfo& Prop);
  void ReadSetValue(TObject* Instance, const TPropInfo& Prop);
  void FixupReferences();
  std::unique_ptr<Impl> FImpl;
  std::string FPropPath;
  std::string FComponentName;
  std::string FDefinedName;  // the stream property being offered to DefineProperties
  bool FDefinedHandled = false;
  int FValueLine = 0;
};

class TWriter : public TFiler {
 public:
  explicit TWriter(std::string& Out);
  ~TWriter() override;

  void WriteRootComponent(TComponent* Root);
  // Writes "object Name: TClass", Instance's properties, its children and "end".
  void WriteComponent(TComponent* Instance);
  // Writes Instance's properties (TComponent::WriteState's default body, without children).
  void WriteProperties(TPersistent* Instance);

  // Value output for DefineProperty writers (one value per call, except lists).
  void WriteListBegin();
  void WriteListEnd();
  void WriteInteger(int64_t Value);
  void WriteFloat(double Value);
  void WriteBoolean(bool Value);
  void WriteString(const std::string& Value);
  void WriteIdent(const std::string& Ident);
  void WriteBinary(const std::vector<uint8_t>& Bytes);
  void WriteCollection(TCollection* Collection);

  void DefineProperty(const std::string& Name, std::function<void(TReader&)> ReadData,
                      std::function<void(TWriter&)> WriteData, bool HasData) override;
  void DefineBinaryProperty(const std::string& Name, std::function<void(TStream&)> ReadData,
                            std::function<void(TStream&)> WriteData, bool HasData) override;

 private:
  void WriteObjectProps(TPersistent* Instance, const std::string& Prefix);
  void WritePropValue(TObject* Instance, const TPropInfo& Prop, const std::string& Prefix);
  void BeginProperty(const std::string& Name);
  void ValueStart();
  void Line(const std::string& Text);
  std::string ReferenceName(TComponent* Component) const;
  std::string& FOut;
  int FIndent = 0;
  std::string FPrefix;
  bool FPendingLine = false;  // "Name =" written, the value follows on the same line
};

// Reads a description into an existing root (e.g. the form being created). Errors: EReadError or
// EClassNotFound naming the property or class and the line. On an error the components already
// created stay owned by Root.
void ReadComponentFromText(const std::string& Text, TComponent* Root);
// Creates the root by the class named in the header (owned by Owner) and reads it; the root is
// deleted again when reading fails.
TComponent* CreateComponentFromText(const std::string& Text, TComponent* Owner);
// Writes Root and the components it owns.
std::string WriteComponentToText(TComponent* Root);

// Hook for references to components outside the root ("Form2.Button1"): returns the global
// component with that name or nullptr. By default only the root itself is known.
using TFindGlobalComponent = std::function<TComponent*(const std::string& Name)>;
void SetFindGlobalComponent(TFindGlobalComponent Fn);

// Binds a published method of Instance by name as a handler of signature Sig; an empty function
// when Instance has no such method; raises EInvalidCast when the signature differs.
template <class Sig>
std::function<Sig> MethodByName(TObject* Instance, const std::string& Name) {
  const TMethodInfo* m = Instance->ClassType()->FindMethod(Name);
  if (!m) return {};
  if (m->Signature != std::type_index(typeid(Sig)))
    throw EInvalidCast("Methode " + Name + " hat eine andere Signatur");
  return std::any_cast<std::function<Sig>>(m->Bind(Instance));
}

// ---------------------------------------------------------------------------------------------
// Class builder (the mechanics behind VCL_REGISTER_CLASS)

namespace vcl_detail {

template <class T>
struct FunctionSignature;
template <class... Args>
struct FunctionSignature<std::function<void(Args...)>> {
  using Sig = void(Args...);
};

template <class T, class G>
using GetterResult = std::decay_t<std::invoke_result_t<G, T&>>;

}  // namespace vcl_detail

template <class T>
class TPropBuilder {
 public:
  explicit TPropBuilder(TPropInfo& Info) : FInfo(Info) {}
  // The property is written only when Pred answers true (and it differs from its default).
  TPropBuilder& Stored(bool (T::*Pred)() const) {
    FInfo.StoredFn = [Pred](TObject* o) { return (static_cast<T*>(o)->*Pred)(); };
    return *this;
  }
  TPropBuilder& Stored(bool Value) {
    FInfo.StoredFn = [Value](TObject*) { return Value; };
    return *this;
  }
  // Always written (no stored default).
  TPropBuilder& NoDefault() {
    FInfo.HasDefault = false;
    return *this;
  }
  TPropInfo& Info() { return FInfo; }

 private:
  TPropInfo& FInfo;
};

template <class T>
class TClassBuilder {
 public:
  explicit TClassBuilder(TClassInfo& Info) : FInfo(Info) {}
  TClassInfo& Info() { return FInfo; }

  // Scalars: integral types, bool, double/float, std::string. Strings default to "" when no
  // default is given; other kinds without a default are always written.
  template <class G, class S>
  TPropBuilder<T> Prop(const std::string& Name, G Get, S Set) {
    using R = vcl_detail::GetterResult<T, G>;
    TPropInfo& p = Scalar<R>(Name, Get, Set);
    if constexpr (std::is_same_v<R, std::string>) p.HasDefault = true;
    return TPropBuilder<T>(p);
  }
  template <class G, class S, class D>
  TPropBuilder<T> Prop(const std::string& Name, G Get, S Set, D Default) {
    using R = vcl_detail::GetterResult<T, G>;
    TPropInfo& p = Scalar<R>(Name, Get, Set);
    p.HasDefault = true;
    if constexpr (std::is_same_v<R, std::string>)
      p.StrDefault = std::string(Default);
    else if constexpr (std::is_floating_point_v<R>)
      p.FloatDefault = static_cast<double>(Default);
    else
      p.OrdDefault = static_cast<int64_t>(Default);
    return TPropBuilder<T>(p);
  }

  // Enumeration streamed by identifier; Names[i] is the identifier of ordinal i.
  template <class G, class S>
  TPropBuilder<T> Enum(const std::string& Name, G Get, S Set, std::vector<std::string> Names) {
    using R = vcl_detail::GetterResult<T, G>;
    static_assert(std::is_enum_v<R>, "Enum() needs a getter returning an enumeration");
    TPropInfo p;
    p.Name = Name;
    p.Kind = TPropKind::Enum;
    p.Names = std::move(Names);
    p.MinValue = 0;
    p.MaxValue = static_cast<int64_t>(p.Names.size()) - 1;
    p.GetOrd = [Get](TObject* o) {
      return static_cast<int64_t>(std::invoke(Get, *static_cast<T*>(o)));
    };
    p.SetOrd = [Set](TObject* o, int64_t v) { std::invoke(Set, *static_cast<T*>(o), R(v)); };
    return TPropBuilder<T>(FInfo.AddProp(std::move(p)));
  }
  template <class G, class S, class E>
  TPropBuilder<T> Enum(const std::string& Name, G Get, S Set, std::vector<std::string> Names,
                       E Default) {
    auto b = Enum(Name, Get, Set, std::move(Names));
    b.Info().HasDefault = true;
    b.Info().OrdDefault = static_cast<int64_t>(Default);
    return b;
  }

  // TSet over an enumeration streamed as [a, b]; Names[i] names the element of ordinal i.
  // Without a default the empty set is the default.
  template <class G, class S>
  TPropBuilder<T> Set(const std::string& Name, G Get, S Set, std::vector<std::string> Names) {
    using R = vcl_detail::GetterResult<T, G>;
    static_assert(IsTSet<R>::value, "Set() needs a getter returning a TSet");
    TPropInfo p;
    p.Name = Name;
    p.Kind = TPropKind::Set;
    p.Names = std::move(Names);
    p.HasDefault = true;
    p.GetOrd = [Get](TObject* o) {
      return static_cast<int64_t>(std::invoke(Get, *static_cast<T*>(o)).Bits());
    };
    p.SetOrd = [Set](TObject* o, int64_t v) {
      std::invoke(Set, *static_cast<T*>(o), R::FromBits(static_cast<uint64_t>(v)));
    };
    return TPropBuilder<T>(FInfo.AddProp(std::move(p)));
  }
  template <class G, class S, class D>
  TPropBuilder<T> Set(const std::string& Name, G Get, S Set, std::vector<std::string> Names,
                      D Default) {
    auto b = this->Set(Name, Get, Set, std::move(Names));
    b.Info().OrdDefault = static_cast<int64_t>(vcl_detail::GetterResult<T, G>(Default).Bits());
    return b;
  }

  // Integer with identifiers for some values (colours): written as the identifier when it has
  // one, read from either form.
  template <class G, class S, class D>
  TPropBuilder<T> IntIdent(const std::string& Name, G Get, S Set, TIdentMap Idents, D Default) {
    using R = vcl_detail::GetterResult<T, G>;
    TPropInfo& p = Scalar<R>(Name, Get, Set);
    p.Kind = TPropKind::IntIdent;
    p.Idents = std::move(Idents);
    p.HasDefault = true;
    p.OrdDefault = static_cast<int64_t>(Default);
    return TPropBuilder<T>(p);
  }

  // Nested persistent object owned by the instance (Font, Colors, AdsTableOptions, a TStrings).
  template <class G>
  TPropBuilder<T> Object(const std::string& Name, G Get) {
    return Nested(Name, Get, TPropKind::Object);
  }
  template <class G>
  TPropBuilder<T> Strings(const std::string& Name, G Get) {
    return Nested(Name, Get, TPropKind::Object);
  }
  template <class G>
  TPropBuilder<T> Collection(const std::string& Name, G Get) {
    return Nested(Name, Get, TPropKind::Collection);
  }

  // Reference to a component of the getter's pointer type.
  template <class G, class S>
  TPropBuilder<T> Ref(const std::string& Name, G Get, S Set) {
    using R = vcl_detail::GetterResult<T, G>;
    static_assert(std::is_pointer_v<R>, "Ref() needs a getter returning a component pointer");
    using C = std::remove_cv_t<std::remove_pointer_t<R>>;
    TPropInfo p;
    p.Name = Name;
    p.Kind = TPropKind::Ref;
    p.HasDefault = true;  // nil is the default
    p.GetRef = [Get](TObject* o) -> TComponent* {
      return const_cast<C*>(std::invoke(Get, *static_cast<T*>(o)));
    };
    p.SetRef = [Set](TObject* o, TComponent* c) {
      C* typed = nullptr;
      if (c) {
        typed = dynamic_cast<C*>(c);
        if (!typed) return false;
      }
      std::invoke(Set, *static_cast<T*>(o), typed);
      return true;
    };
    return TPropBuilder<T>(FInfo.AddProp(std::move(p)));
  }

  // Event of any std::function<void(...)> type.
  template <class G, class S>
  TPropBuilder<T> Event(const std::string& Name, G Get, S Set) {
    using F = vcl_detail::GetterResult<T, G>;
    using Sig = typename vcl_detail::FunctionSignature<F>::Sig;
    TPropInfo p;
    p.Name = Name;
    p.Kind = TPropKind::Event;
    p.HasDefault = true;
    p.EventSignature = typeid(Sig);
    p.SetEvent = [Set](TObject* o, const std::any& h) {
      F fn;
      if (h.has_value()) fn = std::any_cast<F>(h);
      std::invoke(Set, *static_cast<T*>(o), fn);
    };
    p.GetEventBinding = [Get](TObject* o) -> TMethodBinding {
      // Copied out: the getter may return the handler by value.
      const F& fn = std::invoke(Get, *static_cast<T*>(o));
      const auto* bound = fn.template target<TBoundMethod<Sig>>();
      return bound ? TMethodBinding(*bound) : TMethodBinding{};
    };
    return TPropBuilder<T>(FInfo.AddProp(std::move(p)));
  }

  // Published field: the reader assigns the owned component of that name to it (and clears it
  // when that component goes). Also registers the field's class, so that the reader finds it.
  template <class C>
  void Field(const std::string& Name, C* T::*Member) {
    TFieldInfo f;
    f.Name = Name;
    f.FieldClass = C::StaticClass();
    RegisterClass(f.FieldClass);
    f.Get = [Member](TObject* o) -> TComponent* { return static_cast<T*>(o)->*Member; };
    f.Set = [Member](TObject* o, TComponent* c) {
      C* typed = nullptr;
      if (c) {
        typed = dynamic_cast<C*>(c);
        if (!typed) return false;
      }
      static_cast<T*>(o)->*Member = typed;
      return true;
    };
    FInfo.AddField(std::move(f));
  }

  // Published method, a possible handler of events with the same signature.
  template <class... Args>
  void Method(const std::string& Name, void (T::*Fn)(Args...)) {
    using Sig = void(Args...);
    TMethodInfo m;
    m.Name = Name;
    m.Signature = typeid(Sig);
    m.Bind = [Fn, Name](TObject* instance) -> std::any {
      TBoundMethod<Sig> b;
      b.Instance = instance;
      b.Name = Name;
      b.Call = [Fn](TObject* self, Args... a) {
        (static_cast<T*>(self)->*Fn)(std::forward<Args>(a)...);
      };
      return std::function<Sig>(std::move(b));
    };
    FInfo.AddMethod(std::move(m));
  }

 private:
  template <class R, class G, class S>
  TPropInfo& Scalar(const std::string& Name, G Get, S Set) {
    TPropInfo p;
    p.Name = Name;
    if constexpr (std::is_same_v<R, std::string>) {
      p.Kind = TPropKind::String;
      p.GetStr = [Get](TObject* o) { return std::string(std::invoke(Get, *static_cast<T*>(o))); };
      p.SetStr = [Set](TObject* o, const std::string& v) {
        std::invoke(Set, *static_cast<T*>(o), v);
      };
    } else if constexpr (std::is_same_v<R, bool>) {
      p.Kind = TPropKind::Boolean;
      p.MinValue = 0;
      p.MaxValue = 1;
      p.GetOrd = [Get](TObject* o) -> int64_t { return std::invoke(Get, *static_cast<T*>(o)); };
      p.SetOrd = [Set](TObject* o, int64_t v) { std::invoke(Set, *static_cast<T*>(o), v != 0); };
    } else if constexpr (std::is_floating_point_v<R>) {
      p.Kind = TPropKind::Float;
      p.GetFloat = [Get](TObject* o) {
        return static_cast<double>(std::invoke(Get, *static_cast<T*>(o)));
      };
      p.SetFloat = [Set](TObject* o, double v) {
        std::invoke(Set, *static_cast<T*>(o), static_cast<R>(v));
      };
    } else if constexpr (std::is_integral_v<R>) {
      p.Kind = sizeof(R) > 4 ? TPropKind::Int64 : TPropKind::Integer;
      p.MinValue = static_cast<int64_t>(std::numeric_limits<R>::min());
      p.MaxValue = std::numeric_limits<R>::max() > static_cast<uint64_t>(INT64_MAX)
                       ? INT64_MAX
                       : static_cast<int64_t>(std::numeric_limits<R>::max());
      p.GetOrd = [Get](TObject* o) {
        return static_cast<int64_t>(std::invoke(Get, *static_cast<T*>(o)));
      };
      p.SetOrd = [Set](TObject* o, int64_t v) {
        std::invoke(Set, *static_cast<T*>(o), static_cast<R>(v));
      };
    } else {
      static_assert(std::is_integral_v<R>,
                    "Prop() takes integers, bool, double and std::string; use Enum, Set, "
                    "Object, Ref or Event for the others");
    }
    return FInfo.AddProp(std::move(p));
  }

  template <class G>
  TPropBuilder<T> Nested(const std::string& Name, G Get, TPropKind Kind) {
    using R = vcl_detail::GetterResult<T, G>;
    static_assert(std::is_pointer_v<R>, "nested objects are returned by pointer");
    TPropInfo p;
    p.Name = Name;
    p.Kind = Kind;
    p.GetObject = [Get](TObject* o) -> TPersistent* {
      return const_cast<std::remove_cv_t<std::remove_pointer_t<R>>*>(
          std::invoke(Get, *static_cast<T*>(o)));
    };
    return TPropBuilder<T>(FInfo.AddProp(std::move(p)));
  }

  TClassInfo& FInfo;
};

namespace vcl_detail {
template <class T, class Fn>
TClass MakeClassInfo(const char* Name, TClass Parent, Fn&& Build) {
  auto* info = new TClassInfo(Name, Parent);  // lives for the whole process
  if constexpr (std::is_base_of_v<TComponent, T> && std::is_constructible_v<T, TComponent*> &&
                !std::is_abstract_v<T>) {
    info->ComponentFactory = [](TComponent* owner) -> TComponent* { return new T(owner); };
  }
  if constexpr (std::is_base_of_v<TCollectionItem, T> && std::is_constructible_v<T, TCollection*> &&
                !std::is_abstract_v<T>) {
    info->ItemFactory = [](TCollection* c) -> TCollectionItem* { return new T(c); };
  }
  TClassBuilder<T> builder(*info);
  Build(builder);
  return info;
}
}  // namespace vcl_detail
