// The reader of the text form of a component description.
//
// Contract of ReadRootComponent (the order the components rely on):
//  1. The root gets csReading|csLoading and the header's name.
//  2. Each nested `object` is created by class name (the root's field classes first, then the
//     class registry) in stream order, owned by the container's GetChildOwner() or the root; it
//     gets csReading|csLoading, its name (SetName, which also fills the root's field of that
//     name), its parent (SetParentComponent), and then its properties.
//  3. Component references are collected and set, in stream order, after the whole description
//     was read; event handler names resolve at once against the root's published methods.
//  4. csReading is cleared on every read component, then each one, in reading order (root
//     first), has csLoading cleared and its Loaded() called.
// Errors: EReadError / EClassNotFound whose message names the component, the property or class,
// and the line. An exception raised by a component's own code keeps its class; the reader puts
// the component, property and line in front of its message. Components created before the error
// stay owned by their owner.
#include <cmath>
#include <cstdlib>

#include "ui/classes/Classes.h"

namespace {

enum class Tok { Eof, Ident, String, Integer, Float, Symbol, Binary };

struct Token {
  Tok Kind = Tok::Eof;
  std::string Text;  // identifier (dotted names joined), string value (UTF-8)
  int64_t Int = 0;
  double Float = 0;
  char Sym = 0;
  std::vector<uint8_t> Bytes;
  int Line = 1;
};

TFindGlobalComponent& GlobalFinder() {
  static TFindGlobalComponent fn;
  return fn;
}

bool IsIdentStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || (c >= '0' && c <= '9');
}
int HexVal(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void SetFindGlobalComponent(TFindGlobalComponent Fn) {
  GlobalFinder() = std::move(Fn);
}

struct TReader::Impl {
  std::string_view Src;
  size_t Pos = 0;
  int CurLine = 1;
  bool HasPeek = false;
  Token Peeked;
  std::string* Context = nullptr;  // reader's component/property names for messages

  struct Fixup {
    TObject* Instance;
    const TPropInfo* Prop;
    std::string Name;
    int Line;
    std::string Where;
  };
  std::vector<Fixup> Fixups;
  std::vector<TComponent*> Loaded;

  [[noreturn]] void Fail(int Line, const std::string& Msg) {
    throw EReadError(Format("Zeile %d: %s", Line, Msg.c_str()));
  }

  void SkipBlanks() {
    while (Pos < Src.size()) {
      char c = Src[Pos];
      if (c == '\n') {
        ++CurLine;
        ++Pos;
      } else if (static_cast<unsigned char>(c) <= ' ') {
        ++Pos;
      } else if (c == '/' && Pos + 1 < Src.size() && Src[Pos + 1] == '/') {
        while (Pos < Src.size() && Src[Pos] != '\n') ++Pos;
      } else {
        break;
      }
    }
  }

  // Reads 'quoted' parts and #nnn codes that follow each other into one UTF-8 string.
  void LexString(Token& t) {
    std::u16string pendingUnits;  // consecutive #codes, decoded together (surrogate pairs)
    auto flush = [&] {
      if (!pendingUnits.empty()) t.Text += Utf16ToUtf8(pendingUnits);
      pendingUnits.clear();
    };
    while (Pos < Src.size()) {
      char c = Src[Pos];
      if (c == '\'') {
        flush();
        ++Pos;
        for (;;) {
          if (Pos >= Src.size() || Src[Pos] == '\n' || Src[Pos] == '\r')
            Fail(t.Line, "Nicht abgeschlossener String");
          char d = Src[Pos++];
          if (d == '\'') {
            if (Pos < Src.size() && Src[Pos] == '\'') {
              t.Text += '\'';
              ++Pos;
              continue;
            }
            break;
          }
          t.Text += d;
        }
      } else if (c == '#') {
        ++Pos;
        uint32_t v = 0;
        bool any = false;
        if (Pos < Src.size() && Src[Pos] == '$') {
          ++Pos;
          while (Pos < Src.size() && HexVal(Src[Pos]) >= 0) {
            v = v * 16 + static_cast<uint32_t>(HexVal(Src[Pos++]));
            any = true;
            if (v > 0xFFFF) Fail(t.Line, "Ungültiger Zeichencode");
          }
        } else {
          while (Pos < Src.size() && Src[Pos] >= '0' && Src[Pos] <= '9') {
            v = v * 10 + static_cast<uint32_t>(Src[Pos++] - '0');
            any = true;
            if (v > 0xFFFF) Fail(t.Line, "Ungültiger Zeichencode");
          }
        }
        if (!any) Fail(t.Line, "Ungültiger Zeichencode");
        pendingUnits += static_cast<char16_t>(v);
      } else {
        break;
      }
    }
    flush();
  }

  void LexNumber(Token& t) {
    size_t start = Pos;
    if (Src[Pos] == '-' || Src[Pos] == '+') ++Pos;
    if (Pos < Src.size() && Src[Pos] == '$') {
      ++Pos;
      size_t digits = Pos;
      while (Pos < Src.size() && HexVal(Src[Pos]) >= 0) ++Pos;
      std::string text(Src.substr(start, Pos - start));
      if (Pos == digits || !TryStrToInt64(text, t.Int)) Fail(t.Line, "Ungültige Zahl " + text);
      t.Kind = Tok::Integer;
      return;
    }
    bool isFloat = false;
    while (Pos < Src.size() && Src[Pos] >= '0' && Src[Pos] <= '9') ++Pos;
    if (Pos + 1 < Src.size() && Src[Pos] == '.' && Src[Pos + 1] >= '0' && Src[Pos + 1] <= '9') {
      isFloat = true;
      ++Pos;
      while (Pos < Src.size() && Src[Pos] >= '0' && Src[Pos] <= '9') ++Pos;
    }
    if (Pos < Src.size() && (Src[Pos] == 'e' || Src[Pos] == 'E')) {
      size_t save = Pos++;
      if (Pos < Src.size() && (Src[Pos] == '+' || Src[Pos] == '-')) ++Pos;
      if (Pos < Src.size() && Src[Pos] >= '0' && Src[Pos] <= '9') {
        isFloat = true;
        while (Pos < Src.size() && Src[Pos] >= '0' && Src[Pos] <= '9') ++Pos;
      } else {
        Pos = save;
      }
    }
    std::string text(Src.substr(start, Pos - start));
    // Type suffixes of floating values: s(ingle), c(urrency), d(ate).
    if (Pos < Src.size() && (Src[Pos] == 's' || Src[Pos] == 'c' || Src[Pos] == 'd') &&
        !(Pos + 1 < Src.size() && IsIdentChar(Src[Pos + 1]))) {
      isFloat = true;
      ++Pos;
    }
    if (Pos < Src.size() && IsIdentChar(Src[Pos])) Fail(t.Line, "Ungültige Zahl " + text);
    if (isFloat) {
      char* end = nullptr;
      t.Float = std::strtod(text.c_str(), &end);
      if (end != text.c_str() + text.size()) Fail(t.Line, "Ungültige Zahl " + text);
      t.Kind = Tok::Float;
    } else {
      if (!TryStrToInt64(text, t.Int)) Fail(t.Line, "Ungültige Zahl " + text);
      t.Kind = Tok::Integer;
    }
  }

  void LexBinary(Token& t) {
    ++Pos;  // '{'
    int high = -1;
    for (;;) {
      if (Pos >= Src.size()) Fail(t.Line, "Nicht abgeschlossene Binärdaten");
      char c = Src[Pos++];
      if (c == '}') break;
      if (c == '\n') {
        ++CurLine;
        continue;
      }
      if (static_cast<unsigned char>(c) <= ' ') continue;
      int v = HexVal(c);
      if (v < 0) Fail(CurLine, "Ungültiges Zeichen in Binärdaten");
      if (high < 0) {
        high = v;
      } else {
        t.Bytes.push_back(static_cast<uint8_t>(high * 16 + v));
        high = -1;
      }
    }
    if (high >= 0) Fail(t.Line, "Binärdaten mit ungerader Zahl von Hexadezimalziffern");
    t.Kind = Tok::Binary;
  }

  Token Lex() {
    SkipBlanks();
    Token t;
    t.Line = CurLine;
    if (Pos >= Src.size()) return t;
    char c = Src[Pos];
    if (IsIdentStart(c)) {
      size_t start = Pos;
      for (;;) {
        while (Pos < Src.size() && IsIdentChar(Src[Pos])) ++Pos;
        if (Pos + 1 < Src.size() && Src[Pos] == '.' && IsIdentStart(Src[Pos + 1])) {
          ++Pos;
          continue;
        }
        break;
      }
      t.Kind = Tok::Ident;
      t.Text = std::string(Src.substr(start, Pos - start));
    } else if (c == '\'' || c == '#') {
      t.Kind = Tok::String;
      LexString(t);
    } else if ((c >= '0' && c <= '9') || c == '$' ||
               ((c == '-' || c == '+') && Pos + 1 < Src.size() &&
                ((Src[Pos + 1] >= '0' && Src[Pos + 1] <= '9') || Src[Pos + 1] == '$'))) {
      LexNumber(t);
    } else if (c == '{') {
      LexBinary(t);
    } else {
      t.Kind = Tok::Symbol;
      t.Sym = c;
      ++Pos;
    }
    return t;
  }

  const Token& Peek() {
    if (!HasPeek) {
      Peeked = Lex();
      HasPeek = true;
    }
    return Peeked;
  }

  Token Next() {
    Peek();
    HasPeek = false;
    return std::move(Peeked);
  }

  bool PeekIsIdent(const char* Word) {
    const Token& t = Peek();
    return t.Kind == Tok::Ident && SameText(t.Text, Word);
  }
  bool PeekIsSym(char c) {
    const Token& t = Peek();
    return t.Kind == Tok::Symbol && t.Sym == c;
  }

  void ExpectSym(char c) {
    Token t = Next();
    if (t.Kind != Tok::Symbol || t.Sym != c) Fail(t.Line, Format("'%c' erwartet", c));
  }

  std::string ExpectIdent(const char* What) {
    Token t = Next();
    if (t.Kind != Tok::Ident) Fail(t.Line, std::string(What) + " erwartet");
    return t.Text;
  }
};

// ---------------------------------------------------------------------------------------------

TReader::TReader(std::string_view Text) : FImpl(std::make_unique<Impl>()) {
  if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);  // UTF-8 byte-order mark
  FImpl->Src = Text;
}

TReader::~TReader() = default;

int TReader::Line() const {
  return FImpl->Peek().Line;
}

void TReader::Error(const std::string& Message) const {
  std::string where = FComponentName;
  if (!FPropPath.empty()) where += (where.empty() ? "" : ".") + FPropPath;
  int line = FValueLine > 0 ? FValueLine : Line();
  throw EReadError(
      Format("Fehler beim Lesen von %s (Zeile %d): %s", where.c_str(), line, Message.c_str()));
}

TValueType TReader::NextValue() {
  const Token& t = FImpl->Peek();
  switch (t.Kind) {
    case Tok::Eof:
      return vaNull;
    case Tok::Integer:
      if (t.Int >= INT8_MIN && t.Int <= INT8_MAX) return vaInt8;
      if (t.Int >= INT16_MIN && t.Int <= INT16_MAX) return vaInt16;
      if (t.Int >= INT32_MIN && t.Int <= INT32_MAX) return vaInt32;
      return vaInt64;
    case Tok::Float:
      return vaExtended;
    case Tok::String:
      return vaString;
    case Tok::Binary:
      return vaBinary;
    case Tok::Ident:
      if (SameText(t.Text, "True")) return vaTrue;
      if (SameText(t.Text, "False")) return vaFalse;
      if (SameText(t.Text, "nil")) return vaNil;
      if (SameText(t.Text, "end")) return vaNull;
      return vaIdent;
    case Tok::Symbol:
      switch (t.Sym) {
        case '(':
          return vaList;
        case '[':
          return vaSet;
        case '<':
          return vaCollection;
        default:
          return vaNull;
      }
  }
  return vaNull;
}

bool TReader::EndOfList() {
  return FImpl->PeekIsSym(')') || FImpl->PeekIsSym('>') || FImpl->PeekIsSym(']') ||
         FImpl->PeekIsIdent("end") || FImpl->Peek().Kind == Tok::Eof;
}

void TReader::ReadListBegin() {
  if (!FImpl->PeekIsSym('(')) Error("'(' erwartet");
  FImpl->Next();
}

void TReader::ReadListEnd() {
  if (!FImpl->PeekIsSym(')')) Error("')' erwartet");
  FImpl->Next();
}

int64_t TReader::ReadInt64() {
  if (FImpl->Peek().Kind != Tok::Integer) Error("Ganzzahl erwartet");
  return FImpl->Next().Int;
}

int32_t TReader::ReadInteger() {
  int64_t v = ReadInt64();
  if (v < INT32_MIN || v > INT32_MAX) Error("Ganzzahl außerhalb des Bereichs");
  return static_cast<int32_t>(v);
}

double TReader::ReadFloat() {
  const Token& t = FImpl->Peek();
  if (t.Kind == Tok::Integer) return static_cast<double>(FImpl->Next().Int);
  if (t.Kind != Tok::Float) Error("Gleitkommazahl erwartet");
  return FImpl->Next().Float;
}

bool TReader::ReadBoolean() {
  TValueType v = NextValue();
  if (v != vaTrue && v != vaFalse) Error("True oder False erwartet");
  FImpl->Next();
  return v == vaTrue;
}

std::string TReader::ReadString() {
  if (FImpl->Peek().Kind != Tok::String) Error("String erwartet");
  std::string s = FImpl->Next().Text;
  // 'part one' + 'part two' continues a string over several lines.
  while (FImpl->PeekIsSym('+')) {
    FImpl->Next();
    if (FImpl->Peek().Kind != Tok::String) Error("String erwartet");
    s += FImpl->Next().Text;
  }
  return s;
}

std::string TReader::ReadIdent() {
  if (FImpl->Peek().Kind != Tok::Ident) Error("Bezeichner erwartet");
  return FImpl->Next().Text;
}

std::vector<uint8_t> TReader::ReadBinary() {
  if (FImpl->Peek().Kind != Tok::Binary) Error("Binärdaten erwartet");
  return FImpl->Next().Bytes;
}

void TReader::SkipValue() {
  switch (NextValue()) {
    case vaList:
      ReadListBegin();
      while (!EndOfList()) SkipValue();
      ReadListEnd();
      return;
    case vaSet:
      FImpl->Next();
      while (!FImpl->PeekIsSym(']')) {
        if (FImpl->Peek().Kind == Tok::Eof) Error("']' erwartet");
        FImpl->Next();
      }
      FImpl->Next();
      return;
    case vaCollection:
      FImpl->Next();
      while (FImpl->PeekIsIdent("item")) {
        FImpl->Next();
        while (!FImpl->PeekIsIdent("end")) {
          if (FImpl->Peek().Kind != Tok::Ident) Error("Eigenschaftsname erwartet");
          FImpl->Next();
          FImpl->ExpectSym('=');
          SkipValue();
        }
        FImpl->Next();
      }
      FImpl->ExpectSym('>');
      return;
    case vaString:
      ReadString();
      return;
    case vaNull:
      Error("Wert erwartet");
    default:
      FImpl->Next();
      return;
  }
}

void TReader::ReadCollection(TCollection* Collection) {
  if (!FImpl->PeekIsSym('<')) Error("'<' erwartet");
  FImpl->Next();
  Collection->BeginUpdate();
  Finally end([Collection] { Collection->EndUpdate(); });
  // Items read earlier in this description may be waiting for their references: they go now.
  auto& fixups = FImpl->Fixups;
  for (int i = 0; i < Collection->Count(); ++i) {
    TObject* item = Collection->Items(i);
    fixups.erase(std::remove_if(fixups.begin(), fixups.end(),
                                [item](const Impl::Fixup& f) { return f.Instance == item; }),
                 fixups.end());
  }
  Collection->Clear();
  std::string outerPath = FPropPath;
  Finally restore([&] { FPropPath = outerPath; });
  int index = 0;
  while (!FImpl->PeekIsSym('>')) {
    if (!FImpl->PeekIsIdent("item")) Error("'item' erwartet");
    FImpl->Next();
    TCollectionItem* item = Collection->Add();
    while (!FImpl->PeekIsIdent("end")) {
      if (FImpl->Peek().Kind == Tok::Eof) Error("'end' erwartet");
      FPropPath = outerPath + Format("[%d]", index);
      ReadProperty(item);
    }
    FImpl->Next();
    ++index;
  }
  FImpl->Next();
}

void TReader::DefineProperty(const std::string& Name, std::function<void(TReader&)> ReadData,
                             std::function<void(TWriter&)>, bool) {
  if (FDefinedHandled || !SameText(Name, FDefinedName)) return;
  FDefinedHandled = true;
  if (!ReadData) Error("Eigenschaft " + Name + " kann nicht gelesen werden");
  ReadData(*this);
}

void TReader::DefineBinaryProperty(const std::string& Name, std::function<void(TStream&)> ReadData,
                                   std::function<void(TStream&)>, bool) {
  if (FDefinedHandled || !SameText(Name, FDefinedName)) return;
  FDefinedHandled = true;
  if (!ReadData) Error("Eigenschaft " + Name + " kann nicht gelesen werden");
  TMemoryStream ms;
  std::vector<uint8_t> bytes = ReadBinary();
  if (!bytes.empty()) ms.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  ms.SetPosition(0);
  ReadData(ms);
}

// ---------------------------------------------------------------------------------------------
// Components

void TReader::ReadRootComponent(TComponent* Root) {
  FRoot = Root;
  Impl& im = *FImpl;
  if (im.PeekIsIdent("inherited") || im.PeekIsIdent("inline"))
    im.Fail(Line(), "'" + im.Peek().Text + "' wird nicht unterstützt: nur 'object' ist erlaubt");
  if (!im.PeekIsIdent("object")) im.Fail(Line(), "'object' erwartet");
  im.Next();
  int line = Line();
  std::string name = im.ExpectIdent("Komponentenname");
  std::string className;
  if (im.PeekIsSym(':')) {
    im.Next();
    className = im.ExpectIdent("Klassenname");
  } else {
    className = name;
    name.clear();
  }
  bool classMatches = false;
  for (TClass c = Root->ClassType(); c; c = c->Parent())
    if (SameText(c->Name(), className)) classMatches = true;
  if (!classMatches)
    im.Fail(line, "Die Beschreibung gilt der Klasse " + className + ", nicht " + Root->ClassName());

  im.Loaded.clear();
  im.Fixups.clear();
  FComponentName = name.empty() ? Root->Name() : name;
  Root->IncludeState(csReading);
  Root->IncludeState(csLoading);
  im.Loaded.push_back(Root);
  try {
    if (!name.empty() && name != Root->Name()) Root->SetName(name);
    Root->ReadState(*this);
    if (im.Peek().Kind != Tok::Eof) im.Fail(Line(), "Text nach dem Ende der Beschreibung");
    FixupReferences();
  } catch (...) {
    for (TComponent* c : im.Loaded) c->ExcludeState(csReading);
    throw;
  }
  for (TComponent* c : im.Loaded) c->ExcludeState(csReading);
  // Components must not delete other read components from their Loaded.
  std::vector<TComponent*> order = im.Loaded;
  for (TComponent* c : order) {
    c->ExcludeState(csLoading);
    c->Loaded();
  }
}

void TReader::ReadData(TComponent* Instance) {
  Impl& im = *FImpl;
  std::string savedName = FComponentName;
  FComponentName = Instance->Name();
  Finally restore([&] { FComponentName = savedName; });
  for (;;) {
    if (im.Peek().Kind == Tok::Eof) Error("'end' erwartet");
    if (im.PeekIsIdent("end")) break;
    if (im.PeekIsIdent("object") || im.PeekIsIdent("inherited") || im.PeekIsIdent("inline"))
      ReadObject(Instance);
    else
      ReadProperty(Instance);
  }
  im.Next();
}

void TReader::ReadObject(TComponent* Container) {
  Impl& im = *FImpl;
  FPropPath.clear();
  if (!im.PeekIsIdent("object"))
    im.Fail(Line(), "'" + im.Peek().Text + "' wird nicht unterstützt: nur 'object' ist erlaubt");
  im.Next();
  int line = Line();
  std::string name = im.ExpectIdent("Komponentenname");
  std::string className;
  if (im.PeekIsSym(':')) {
    im.Next();
    className = im.ExpectIdent("Klassenname");
  } else {
    className = name;
    name.clear();
  }
  TClass cls = nullptr;
  for (const TFieldInfo* f : FRoot->ClassType()->Fields())
    if (SameText(f->FieldClass->Name(), className)) cls = f->FieldClass;
  if (!cls) cls = GetClass(className);
  if (!cls)
    throw EClassNotFound(Format("Klasse %s nicht gefunden (Zeile %d, Komponente %s)",
                                className.c_str(), line, name.c_str()));
  if (!cls->CanCreateComponent())
    im.Fail(line, "Von der Klasse " + className + " kann keine Komponente erzeugt werden");

  TComponent* owner = Container->GetChildOwner();
  if (!owner) owner = FRoot;
  std::string where = name.empty() ? className : name;
  TComponent* child = nullptr;
  try {
    child = cls->CreateComponent(owner);
    child->IncludeState(csReading);
    child->IncludeState(csLoading);
    if (FRoot->ComponentState().Contains(csDesigning)) child->SetDesigning(true);
    im.Loaded.push_back(child);
    child->SetName(name);
    if (!name.empty() && owner != FRoot) {
      if (const TFieldInfo* f = FRoot->ClassType()->FindField(name)) f->Set(FRoot, child);
    }
    if (const TFieldInfo* f = name.empty() ? nullptr : FRoot->ClassType()->FindField(name))
      if (f->Get(FRoot) != child)
        im.Fail(line, "Das Feld " + name + " hat nicht den Typ " + className);
    child->SetParentComponent(Container->GetChildParent());
  } catch (EFilerError&) {
    throw;
  } catch (Exception& e) {
    e.SetMessage(Format("Fehler beim Erzeugen von %s (Zeile %d): %s", where.c_str(), line,
                        e.Message().c_str()));
    throw;
  }
  child->ReadState(*this);
}

void TReader::ReadProperty(TObject* Instance) {
  Impl& im = *FImpl;
  int line = Line();
  std::string outer = FPropPath;
  std::string path = im.ExpectIdent("Eigenschaftsname");
  FPropPath = outer.empty() ? path : outer + "." + path;
  Finally restore([&] { FPropPath = outer; });
  im.ExpectSym('=');
  try {
    // Walk "Font.Name": every part but the last must be a nested object.
    auto* obj = dynamic_cast<TPersistent*>(Instance);
    size_t start = 0;
    for (;;) {
      size_t dot = path.find('.', start);
      std::string part = path.substr(start, dot == std::string::npos ? dot : dot - start);
      const TPropInfo* prop = obj->ClassType()->FindProp(part);
      if (dot == std::string::npos) {
        if (prop) {
          ReadPropValue(obj, *prop);
        } else {
          std::string savedDefined = FDefinedName;
          bool savedHandled = FDefinedHandled;
          FDefinedName = part;
          FDefinedHandled = false;
          obj->DefineProperties(this);
          bool handled = FDefinedHandled;
          FDefinedName = savedDefined;
          FDefinedHandled = savedHandled;
          if (!handled) Error("Eigenschaft " + part + " existiert nicht");
        }
        break;
      }
      if (!prop) Error("Eigenschaft " + part + " existiert nicht");
      if (prop->Kind != TPropKind::Object && prop->Kind != TPropKind::Collection)
        Error("Eigenschaft " + part + " ist kein Objekt");
      obj = prop->GetObject(obj);
      if (!obj) Error("Eigenschaft " + part + " ist nicht zugewiesen");
      start = dot + 1;
    }
  } catch (EFilerError&) {
    throw;
  } catch (Exception& e) {
    std::string where = FComponentName + (FComponentName.empty() ? "" : ".") + FPropPath;
    e.SetMessage(Format("Fehler beim Lesen von %s (Zeile %d): %s", where.c_str(), line,
                        e.Message().c_str()));
    throw;
  }
}

void TReader::ReadSetValue(TObject* Instance, const TPropInfo& Prop) {
  Impl& im = *FImpl;
  im.ExpectSym('[');
  uint64_t bits = 0;
  while (!im.PeekIsSym(']')) {
    if (im.Peek().Kind != Tok::Ident) Error("Ungültiger Eigenschaftswert");
    std::string e = im.Next().Text;
    auto it = std::find_if(Prop.Names.begin(), Prop.Names.end(),
                           [&](const std::string& n) { return SameText(n, e); });
    if (it == Prop.Names.end()) Error("Ungültiger Eigenschaftswert " + e);
    bits |= uint64_t{1} << (it - Prop.Names.begin());
    if (im.PeekIsSym(',')) {
      im.Next();
      if (im.PeekIsSym(']')) Error("Ungültiger Eigenschaftswert");
    } else if (!im.PeekIsSym(']')) {
      Error("']' erwartet");
    }
  }
  im.Next();
  Prop.SetOrd(Instance, static_cast<int64_t>(bits));
}

void TReader::ReadPropValue(TObject* Instance, const TPropInfo& Prop) {
  Impl& im = *FImpl;
  // Errors found after the value was taken name the line the value started on.
  FValueLine = Line();
  Finally clearLine([this] { FValueLine = 0; });
  TValueType v = NextValue();
  auto checkRange = [&](int64_t x) {
    if (x < Prop.MinValue || x > Prop.MaxValue)
      Error(Format("Wert %lld außerhalb des Bereichs", static_cast<long long>(x)));
    return x;
  };
  switch (Prop.Kind) {
    case TPropKind::Integer:
    case TPropKind::Int64:
      if (v < vaInt8 || (v > vaInt32 && v != vaInt64)) Error("Ungültiger Eigenschaftswert");
      Prop.SetOrd(Instance, checkRange(ReadInt64()));
      return;
    case TPropKind::IntIdent:
      if (v == vaIdent) {
        std::string id = ReadIdent();
        int64_t x;
        if (!IdentToInt(id, x, Prop.Idents)) Error("Ungültiger Eigenschaftswert " + id);
        Prop.SetOrd(Instance, checkRange(x));
      } else if ((v >= vaInt8 && v <= vaInt32) || v == vaInt64) {
        Prop.SetOrd(Instance, checkRange(ReadInt64()));
      } else {
        Error("Ungültiger Eigenschaftswert");
      }
      return;
    case TPropKind::Float:
      if (!((v >= vaInt8 && v <= vaInt32) || v == vaInt64 || v == vaExtended))
        Error("Ungültiger Eigenschaftswert");
      Prop.SetFloat(Instance, ReadFloat());
      return;
    case TPropKind::Boolean:
      if (v != vaTrue && v != vaFalse) Error("Ungültiger Eigenschaftswert");
      Prop.SetOrd(Instance, ReadBoolean() ? 1 : 0);
      return;
    case TPropKind::String:
      if (v != vaString) Error("Ungültiger Eigenschaftswert");
      Prop.SetStr(Instance, ReadString());
      return;
    case TPropKind::Enum: {
      if (v != vaIdent && v != vaTrue && v != vaFalse) Error("Ungültiger Eigenschaftswert");
      std::string id = im.Next().Text;
      auto it = std::find_if(Prop.Names.begin(), Prop.Names.end(),
                             [&](const std::string& n) { return SameText(n, id); });
      if (it == Prop.Names.end()) Error("Ungültiger Eigenschaftswert " + id);
      Prop.SetOrd(Instance, it - Prop.Names.begin());
      return;
    }
    case TPropKind::Set:
      if (v != vaSet) Error("Ungültiger Eigenschaftswert");
      ReadSetValue(Instance, Prop);
      return;
    case TPropKind::Collection: {
      if (v != vaCollection) Error("Ungültiger Eigenschaftswert");
      auto* coll = dynamic_cast<TCollection*>(Prop.GetObject(Instance));
      if (!coll) Error("Eigenschaft ist keine Kollektion");
      ReadCollection(coll);
      return;
    }
    case TPropKind::Object:
      Error("Ungültiger Eigenschaftswert: ein Objekt wird über seine Eigenschaften gelesen");
    case TPropKind::Ref: {
      if (v == vaNil) {
        im.Next();
        if (!Prop.SetRef(Instance, nullptr)) Error("Ungültiger Eigenschaftswert");
        return;
      }
      if (v != vaIdent) Error("Ungültiger Eigenschaftswert");
      int line = Line();
      std::string where = FComponentName + (FComponentName.empty() ? "" : ".") + FPropPath;
      im.Fixups.push_back({Instance, &Prop, ReadIdent(), line, where});
      return;
    }
    case TPropKind::Event: {
      if (v == vaNil) {
        im.Next();
        Prop.SetEvent(Instance, std::any());
        return;
      }
      if (v != vaIdent) Error("Ungültiger Eigenschaftswert");
      std::string name = ReadIdent();
      const TMethodInfo* m = FRoot->ClassType()->FindMethod(name);
      if (!m) Error("Methode " + name + " nicht gefunden");
      if (m->Signature != Prop.EventSignature)
        Error("Methode " + name + " passt nicht zum Ereignis " + Prop.Name);
      Prop.SetEvent(Instance, m->Bind(FRoot));
      return;
    }
  }
}

TComponent* TReader::FindComponentByPath(const std::string& Path) const {
  size_t dot = Path.find('.');
  std::string head = Path.substr(0, dot);
  TComponent* base = nullptr;
  if (FRoot && SameText(head, FRoot->Name())) {
    base = FRoot;
  } else if (dot == std::string::npos && FRoot) {
    if (TComponent* c = FRoot->FindComponent(head)) return c;
    for (TComponent* c : FImpl->Loaded)
      if (SameText(c->Name(), head)) return c;
  }
  if (!base && GlobalFinder()) base = GlobalFinder()(head);
  if (!base) return nullptr;
  while (dot != std::string::npos) {
    size_t next = Path.find('.', dot + 1);
    std::string part = Path.substr(dot + 1, next == std::string::npos ? next : next - dot - 1);
    base = base->FindComponent(part);
    if (!base) return nullptr;
    dot = next;
  }
  return base;
}

void TReader::FixupReferences() {
  for (const auto& f : FImpl->Fixups) {
    TComponent* c = FindComponentByPath(f.Name);
    if (!c)
      throw EReadError(Format("Fehler beim Lesen von %s (Zeile %d): Ungültige Referenz auf %s",
                              f.Where.c_str(), f.Line, f.Name.c_str()));
    bool ok;
    try {
      ok = f.Prop->SetRef(f.Instance, c);
    } catch (EFilerError&) {
      throw;
    } catch (Exception& e) {
      e.SetMessage(Format("Fehler beim Lesen von %s (Zeile %d): %s", f.Where.c_str(), f.Line,
                          e.Message().c_str()));
      throw;
    }
    if (!ok)
      throw EReadError(
          Format("Fehler beim Lesen von %s (Zeile %d): %s hat nicht den passenden "
                 "Typ (%s)",
                 f.Where.c_str(), f.Line, f.Name.c_str(), c->ClassName().c_str()));
  }
  FImpl->Fixups.clear();
}

// ---------------------------------------------------------------------------------------------
// Entry points

void ReadComponentFromText(const std::string& Text, TComponent* Root) {
  TReader reader(Text);
  reader.ReadRootComponent(Root);
}

TComponent* CreateComponentFromText(const std::string& Text, TComponent* Owner) {
  TClass cls = FindClass(TReader::RootClassName(Text));
  TComponent* root = cls->CreateComponent(Owner);
  try {
    ReadComponentFromText(Text, root);
  } catch (...) {
    delete root;
    throw;
  }
  return root;
}

std::string TReader::RootClassName(std::string_view Text) {
  TReader probe(Text);
  Impl& im = *probe.FImpl;
  if (!im.PeekIsIdent("object"))
    im.Fail(probe.Line(), "'object' erwartet (andere Formen werden nicht unterstützt)");
  im.Next();
  std::string name = im.ExpectIdent("Komponentenname");
  if (!im.PeekIsSym(':')) return name;
  im.Next();
  return im.ExpectIdent("Klassenname");
}
