// The writer of the text form of a component description: the root, its properties that differ
// from their stored defaults, its DefineProperties data and, nested, the components it writes as
// children (TComponent::GetChildren), so that the reader reproduces them.
#include <cmath>
#include <cstdlib>

#include "ui/classes/Classes.h"

namespace {

// 'text' for printable ASCII, #n (UTF-16 code units) for everything else.
std::string QuoteForStream(const std::string& S) {
  if (S.empty()) return "''";
  std::string out;
  bool inQuote = false;
  std::u16string units = Utf8ToUtf16(S);
  for (char16_t u : units) {
    if (u >= 32 && u < 127) {
      if (!inQuote) {
        out += '\'';
        inQuote = true;
      }
      if (u == '\'') out += '\'';
      out += static_cast<char>(u);
    } else {
      if (inQuote) {
        out += '\'';
        inQuote = false;
      }
      out += '#' + std::to_string(static_cast<unsigned>(u));
    }
  }
  if (inQuote) out += '\'';
  return out;
}

std::string FloatText(double V) {
  char buf[40];
  for (int prec = 15; prec <= 17; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, V);
    if (std::strtod(buf, nullptr) == V) break;
  }
  std::string s = buf;
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";  // keep it a float literal
  return s;
}

}  // namespace

TWriter::TWriter(std::string& Out) : FOut(Out) {}

TWriter::~TWriter() = default;

void TWriter::Line(const std::string& Text) {
  FOut.append(static_cast<size_t>(FIndent) * 2, ' ');
  FOut += Text;
  FOut += '\n';
}

void TWriter::BeginProperty(const std::string& Name) {
  FOut.append(static_cast<size_t>(FIndent) * 2, ' ');
  FOut += Name + " = ";
  FPendingLine = true;
}

// Starts a value: on the property's line, or on a line of its own inside a list.
void TWriter::ValueStart() {
  if (FPendingLine) {
    FPendingLine = false;
    return;
  }
  FOut.append(static_cast<size_t>(FIndent) * 2, ' ');
}

void TWriter::WriteListBegin() {
  ValueStart();
  FOut += "(\n";
  ++FIndent;
}

void TWriter::WriteListEnd() {
  --FIndent;
  // The closing parenthesis goes at the end of the last value ('b')), or right after the
  // opening one of an empty list (()).
  FOut.pop_back();
  FOut += ")\n";
}

void TWriter::WriteInteger(int64_t Value) {
  ValueStart();
  FOut += std::to_string(Value) + "\n";
}

void TWriter::WriteFloat(double Value) {
  ValueStart();
  FOut += FloatText(Value) + "\n";
}

void TWriter::WriteBoolean(bool Value) {
  ValueStart();
  FOut += Value ? "True\n" : "False\n";
}

void TWriter::WriteString(const std::string& Value) {
  ValueStart();
  FOut += QuoteForStream(Value) + "\n";
}

void TWriter::WriteIdent(const std::string& Ident) {
  ValueStart();
  FOut += Ident + "\n";
}

void TWriter::WriteBinary(const std::vector<uint8_t>& Bytes) {
  ValueStart();
  FOut += "{";
  if (Bytes.empty()) {
    FOut += "}\n";
    return;
  }
  static const char* kHex = "0123456789ABCDEF";
  ++FIndent;
  for (size_t i = 0; i < Bytes.size(); ++i) {
    if (i % 32 == 0) {
      FOut += '\n';
      FOut.append(static_cast<size_t>(FIndent) * 2, ' ');
    }
    FOut += kHex[Bytes[i] >> 4];
    FOut += kHex[Bytes[i] & 15];
  }
  --FIndent;
  FOut += "}\n";
}

void TWriter::WriteCollection(TCollection* Collection) {
  ValueStart();
  if (!Collection || Collection->Count() == 0) {
    FOut += "<>\n";
    return;
  }
  FOut += "<\n";
  ++FIndent;
  std::string savedPrefix = FPrefix;
  for (int i = 0; i < Collection->Count(); ++i) {
    Line("item");
    ++FIndent;
    WriteObjectProps(Collection->Items(i), "");
    --FIndent;
    Line("end");
  }
  FPrefix = savedPrefix;
  --FIndent;
  FOut.pop_back();
  FOut += ">\n";
}

void TWriter::DefineProperty(const std::string& Name, std::function<void(TReader&)>,
                             std::function<void(TWriter&)> WriteData, bool HasData) {
  if (!HasData || !WriteData) return;
  BeginProperty(FPrefix + Name);
  size_t before = FOut.size();
  WriteData(*this);
  if (FPendingLine || FOut.size() == before)
    throw EWriteError("Eigenschaft " + FPrefix + Name + " hat keinen Wert geschrieben");
}

void TWriter::DefineBinaryProperty(const std::string& Name, std::function<void(TStream&)>,
                                   std::function<void(TStream&)> WriteData, bool HasData) {
  if (!HasData || !WriteData) return;
  TMemoryStream ms;
  WriteData(ms);
  std::vector<uint8_t> bytes(ms.Memory(), ms.Memory() + ms.Size());
  BeginProperty(FPrefix + Name);
  WriteBinary(bytes);
}

std::string TWriter::ReferenceName(TComponent* Component) const {
  if (Component == FRoot) return FRoot->Name();
  if (Component->Name().empty()) return "";
  if (Component->Owner() == FRoot || !Component->Owner()) return Component->Name();
  if (Component->Owner()->Name().empty()) return "";
  return Component->Owner()->Name() + "." + Component->Name();
}

void TWriter::WritePropValue(TObject* Instance, const TPropInfo& Prop, const std::string& Prefix) {
  std::string name = Prefix + Prop.Name;
  switch (Prop.Kind) {
    case TPropKind::Integer:
    case TPropKind::Int64:
      BeginProperty(name);
      WriteInteger(Prop.GetOrd(Instance));
      return;
    case TPropKind::IntIdent: {
      int64_t v = Prop.GetOrd(Instance);
      std::string id = IntToIdent(v, Prop.Idents);
      BeginProperty(name);
      if (id.empty())
        WriteInteger(v);
      else
        WriteIdent(id);
      return;
    }
    case TPropKind::Float:
      BeginProperty(name);
      WriteFloat(Prop.GetFloat(Instance));
      return;
    case TPropKind::Boolean:
      BeginProperty(name);
      WriteBoolean(Prop.GetOrd(Instance) != 0);
      return;
    case TPropKind::String:
      BeginProperty(name);
      WriteString(Prop.GetStr(Instance));
      return;
    case TPropKind::Enum: {
      int64_t v = Prop.GetOrd(Instance);
      if (v < 0 || v >= static_cast<int64_t>(Prop.Names.size()))
        throw EWriteError(Format("Eigenschaft %s: Wert %lld hat keinen Namen", name.c_str(),
                                 static_cast<long long>(v)));
      BeginProperty(name);
      WriteIdent(Prop.Names[static_cast<size_t>(v)]);
      return;
    }
    case TPropKind::Set: {
      auto bits = static_cast<uint64_t>(Prop.GetOrd(Instance));
      std::string text = "[";
      for (size_t i = 0; i < Prop.Names.size() && i < 64; ++i)
        if (bits & (uint64_t{1} << i)) {
          if (text.size() > 1) text += ", ";
          text += Prop.Names[i];
        }
      BeginProperty(name);
      WriteIdent(text + "]");
      return;
    }
    case TPropKind::Collection:
      BeginProperty(name);
      WriteCollection(dynamic_cast<TCollection*>(Prop.GetObject(Instance)));
      return;
    case TPropKind::Object:
      WriteObjectProps(Prop.GetObject(Instance), name + ".");
      return;
    case TPropKind::Ref: {
      std::string ref = ReferenceName(Prop.GetRef(Instance));
      if (ref.empty()) return;  // an unnamed component cannot be referred to
      BeginProperty(name);
      WriteIdent(ref);
      return;
    }
    case TPropKind::Event: {
      TMethodBinding b = Prop.GetEventBinding(Instance);
      if (b.Instance != FRoot) return;
      std::string method = FRoot->ClassType()->MethodName(b);
      if (method.empty()) return;
      BeginProperty(name);
      WriteIdent(method);
      return;
    }
  }
}

void TWriter::WriteObjectProps(TPersistent* Instance, const std::string& Prefix) {
  if (!Instance) return;
  for (const TPropInfo* p : Instance->ClassType()->Properties())
    if (p->ShouldWrite(Instance)) WritePropValue(Instance, *p, Prefix);
  std::string saved = FPrefix;
  FPrefix = Prefix;
  Instance->DefineProperties(this);
  FPrefix = saved;
}

void TWriter::WriteProperties(TPersistent* Instance) {
  WriteObjectProps(Instance, "");
}

void TWriter::WriteComponent(TComponent* Instance) {
  // An unnamed component is written by its class alone ("object TClass").
  if (Instance->Name().empty())
    Line("object " + Instance->ClassName());
  else
    Line("object " + Instance->Name() + ": " + Instance->ClassName());
  ++FIndent;
  Instance->IncludeState(csWriting);
  Finally done([Instance] { Instance->ExcludeState(csWriting); });
  Instance->WriteState(*this);
  Instance->GetChildren([this](TComponent* child) { WriteComponent(child); }, FRoot);
  --FIndent;
  Line("end");
}

void TWriter::WriteRootComponent(TComponent* Root) {
  FRoot = Root;
  WriteComponent(Root);
}

std::string WriteComponentToText(TComponent* Root) {
  std::string out;
  TWriter writer(out);
  writer.WriteRootComponent(Root);
  return out;
}
