// The provider interface (see Provider.h): the framework's answers, the SQL text analysis of
// provider answers, the packet dataset with its change log, the provider, and the field
// definitions that persistent fields describe (TDataSet::InitFieldDefsFromFields).
#include "ui/db/Provider.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "ui/classes/SysUtils.h"

// ---- TDataSet: field definitions from persistent fields ------------------------------------

void TDataSet::InitFieldDefsFromFields() {
  if (FieldCount() == 0) return;
  TFieldDefs* defs = FieldDefs();
  defs->Clear();
  for (TField* f : *Fields()) {
    if (f->FieldKind() != fkData && f->FieldKind() != fkInternalCalc) continue;
    TFieldDef* d = defs->AddFieldDef();
    d->SetName(f->FieldName());
    d->SetDataType(f->DataType());
    d->SetSize(f->Size());
    d->SetRequired(f->Required());
    if (auto* bcd = dynamic_cast<TBCDField*>(f)) d->SetPrecision(bcd->Precision());
    if (f->FieldKind() == fkInternalCalc) d->SetInternalCalcField(true);
  }
}

// ---- IProviderSupport: the framework's answers ----------------------------------------------

int32_t IProviderSupport::PSExecuteStatement(const std::string&, TParams*,
                                             std::unique_ptr<TDataSet>*) {
  DatabaseError("Die Datenmenge unterstützt keine SQL-Anweisungen");
}

void IProviderSupport::PSExecute() {
  DatabaseError("Die Datenmenge kann keinen Befehl ausführen");
}

// ---- SQL text analysis ----------------------------------------------------------------------

namespace {

struct TSqlToken {
  enum TKind { Word, Quoted, Number, Symbol, End } Kind = End;
  std::string Text;  // words as written; quoted names without their quotes
};

// Splits an SQL text into words, quoted names, numbers and symbols; strings and comments are
// skipped (a string counts as a symbol "'").
std::vector<TSqlToken> Tokenize(const std::string& s) {
  std::vector<TSqlToken> out;
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
      while (i < n && s[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      const size_t close = s.find("*/", i + 2);
      i = close == std::string::npos ? n : close + 2;
    } else if (c == '\'') {
      ++i;
      while (i < n) {
        if (s[i] == '\'' && i + 1 < n && s[i + 1] == '\'') {
          i += 2;
        } else if (s[i] == '\'') {
          ++i;
          break;
        } else {
          ++i;
        }
      }
      out.push_back({TSqlToken::Symbol, "'"});
    } else if (c == '"' || c == '[' || c == '`') {
      const char close = c == '[' ? ']' : c;
      std::string text;
      ++i;
      while (i < n) {
        if (s[i] == close && i + 1 < n && s[i + 1] == close) {
          text += close;
          i += 2;
        } else if (s[i] == close) {
          ++i;
          break;
        } else {
          text += s[i++];
        }
      }
      out.push_back({TSqlToken::Quoted, text});
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
               static_cast<unsigned char>(c) >= 0x80) {
      size_t start = i;
      while (i < n && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' ||
                       s[i] == '$' || static_cast<unsigned char>(s[i]) >= 0x80))
        ++i;
      out.push_back({TSqlToken::Word, s.substr(start, i - start)});
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t start = i;
      while (i < n && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
      out.push_back({TSqlToken::Number, s.substr(start, i - start)});
    } else {
      out.push_back({TSqlToken::Symbol, std::string(1, c)});
      ++i;
    }
  }
  out.push_back({TSqlToken::End, ""});
  return out;
}

bool IsWord(const TSqlToken& t, const char* Word) {
  return t.Kind == TSqlToken::Word && SameText(t.Text, Word);
}

bool IsName(const TSqlToken& t) {
  return t.Kind == TSqlToken::Word || t.Kind == TSqlToken::Quoted;
}

// The position of the first Word at parenthesis depth 0 from From on; the End token's when
// there is none.
size_t FindTopLevel(const std::vector<TSqlToken>& t, size_t From, const char* Word) {
  int depth = 0;
  for (size_t i = From; i < t.size(); ++i) {
    if (t[i].Kind == TSqlToken::End) return i;
    if (t[i].Kind == TSqlToken::Symbol && t[i].Text == "(") ++depth;
    if (t[i].Kind == TSqlToken::Symbol && t[i].Text == ")") --depth;
    if (depth == 0 && IsWord(t[i], Word)) return i;
  }
  return t.size() - 1;
}

// A possibly qualified name ("a.b.c") from position i; i is left after it. The parts are
// returned in order.
std::vector<std::string> ReadName(const std::vector<TSqlToken>& t, size_t& i) {
  std::vector<std::string> parts;
  if (!IsName(t[i])) return parts;
  parts.push_back(t[i++].Text);
  while (t[i].Kind == TSqlToken::Symbol && t[i].Text == "." && IsName(t[i + 1])) {
    parts.push_back(t[i + 1].Text);
    i += 2;
  }
  return parts;
}

bool EndsFromClause(const TSqlToken& t) {
  static const char* const kWords[] = {"WHERE", "GROUP",  "ORDER",     "HAVING", "UNION",
                                       "LIMIT", "EXCEPT", "INTERSECT", "WINDOW"};
  if (t.Kind == TSqlToken::End) return true;
  if (t.Kind == TSqlToken::Symbol && t.Text == ";") return true;
  for (const char* w : kWords)
    if (IsWord(t, w)) return true;
  return false;
}

}  // namespace

std::string GetTableNameFromSQL(const std::string& SQL) {
  const std::vector<TSqlToken> t = Tokenize(SQL);
  if (!IsWord(t[0], "SELECT")) return "";
  size_t i = FindTopLevel(t, 1, "FROM");
  if (t[i].Kind == TSqlToken::End) return "";
  ++i;
  std::vector<std::string> name = ReadName(t, i);
  if (name.empty()) return "";
  // An alias may follow; anything else but the end of the clause is a second table or a join.
  if (IsWord(t[i], "AS")) ++i;
  if (IsName(t[i]) && !EndsFromClause(t[i])) ++i;
  if (!EndsFromClause(t[i])) return "";
  std::string out;
  for (size_t k = 0; k < name.size(); ++k) out += (k == 0 ? "" : ".") + name[k];
  return out;
}

std::unique_ptr<TIndexDef> GetIndexForOrderBy(const std::string& SQL, TDataSet* DataSet) {
  if (DataSet == nullptr) return nullptr;
  const std::vector<TSqlToken> t = Tokenize(SQL);
  size_t i = FindTopLevel(t, 0, "ORDER");
  if (t[i].Kind == TSqlToken::End || !IsWord(t[i + 1], "BY")) return nullptr;
  i += 2;
  std::string fields, descFields;
  int count = 0, descending = 0;
  for (;;) {
    std::vector<std::string> name = ReadName(t, i);
    if (name.empty()) return nullptr;
    TField* field = DataSet->FindField(name.back());
    if (field == nullptr) return nullptr;
    bool desc = false;
    if (IsWord(t[i], "ASC")) {
      ++i;
    } else if (IsWord(t[i], "DESC")) {
      desc = true;
      ++i;
    }
    fields += (count == 0 ? "" : ";") + field->FieldName();
    if (desc) {
      descFields += (descending == 0 ? "" : ";") + field->FieldName();
      ++descending;
    }
    ++count;
    if (t[i].Kind == TSqlToken::Symbol && t[i].Text == ",") {
      ++i;
      continue;
    }
    if (t[i].Kind == TSqlToken::End || (t[i].Kind == TSqlToken::Symbol && t[i].Text == ";") ||
        IsWord(t[i], "LIMIT") || IsWord(t[i], "UNION"))
      break;
    return nullptr;  // an expression, a collation or anything else the order cannot be told by
  }
  auto def = std::make_unique<TIndexDef>(nullptr);
  def->SetFields(fields);
  if (descending == count) {
    def->SetOptions(TIndexOptions{ixDescending});
  } else {
    def->SetDescFields(descFields);
  }
  return def;
}

// ---- TPacketDataSet -------------------------------------------------------------------------

namespace {

const char* const kNotEditing = "Datenmenge nicht im Bearbeitungs- oder Einfügemodus";

}  // namespace

// The content of one blob field of the record being edited (or read) in a packet. Written
// content goes back to the packet when the stream goes.
class TPacketBlobStream : public TMemoryStream {
  VCL_DECLARE_CLASS(TPacketBlobStream, TMemoryStream)
 public:
  TPacketBlobStream(TPacketDataSet* DataSet, TBlobField* Field, int Blob, TBlobStreamMode Mode,
                    const std::optional<TBytes>& Content)
      : FDataSet(DataSet), FField(Field), FBlob(Blob), FMode(Mode) {
    if (Mode != bmWrite && Content) FData = *Content;
  }
  ~TPacketBlobStream() override {
    if (!FWritten) return;
    FDataSet->FEditBlobs[static_cast<size_t>(FBlob)] = FData;
    FField->SetModified(true);
    try {
      FDataSet->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(FField));
    } catch (...) {
      // a handler's failure cannot leave a destructor; the content is stored all the same
    }
  }
  int64_t Write(const void* Buffer, int64_t Count) override {
    if (FMode == bmRead) DatabaseError("Das Blob-Feld ist schreibgeschützt geöffnet");
    FWritten = true;
    return TMemoryStream::Write(Buffer, Count);
  }
  void SetSize(int64_t NewSize) override {
    if (FMode == bmRead) DatabaseError("Das Blob-Feld ist schreibgeschützt geöffnet");
    FWritten = true;
    TMemoryStream::SetSize(NewSize);
  }

 private:
  TPacketDataSet* FDataSet;
  TBlobField* FField;
  int FBlob;
  TBlobStreamMode FMode;
  bool FWritten = false;
};

TPacketDataSet::TPacketDataSet(TComponent* AOwner) : TDataSet(AOwner) {}

TPacketDataSet::~TPacketDataSet() {
  Destroying();
  Close();
}

int TPacketDataSet::ChangeCount() const {
  int n = static_cast<int>(FDeleted.size());
  for (const TRow& r : FRows)
    if (r.Status != usUnmodified) ++n;
  return n;
}

void TPacketDataSet::MergeChangeLog() {
  FDeleted.clear();
  for (TRow& r : FRows) {
    r.Status = usUnmodified;
    r.Original.clear();
    r.OriginalBlobs.clear();
  }
}

TPacketDataSet::TInfo TPacketDataSet::ReadInfo(TRecordBuffer Buffer) const {
  TInfo info{};
  std::memcpy(&info, Buffer + FDataSize + CalcFieldsSize(), sizeof info);
  return info;
}

void TPacketDataSet::WriteInfo(TRecordBuffer Buffer, const TInfo& Info) const {
  std::memcpy(Buffer + FDataSize + CalcFieldsSize(), &Info, sizeof Info);
}

int TPacketDataSet::IndexOfId(uint32_t Id) const {
  for (size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i].Id == Id) return static_cast<int>(i);
  return -1;
}

TPacketDataSet::TRow* TPacketDataSet::RowOf(uint32_t Id) {
  const int i = IndexOfId(Id);
  return i < 0 ? nullptr : &FRows[static_cast<size_t>(i)];
}

const TPacketDataSet::TSlot& TPacketDataSet::SlotOf(TField* Field) const {
  const int i = Field->FieldNo() - 1;
  if (i < 0 || i >= static_cast<int>(FSlots.size()) ||
      (FSlots[static_cast<size_t>(i)].Offset < 0 && FSlots[static_cast<size_t>(i)].Blob < 0))
    DatabaseError("Feld '" + Field->FieldName() + "' nicht gefunden",
                  const_cast<TPacketDataSet*>(this));
  return FSlots[static_cast<size_t>(i)];
}

TRecordBuffer TPacketDataSet::StateBuffer() const {
  return State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
}

void TPacketDataSet::InternalOpen() {
  if (FieldDefs()->Count() == 0) DatabaseError("Die Datenmenge hat keine Felddefinitionen", this);
  if (DefaultFields()) CreateFields();
  BindFields(true);
  FSlots.assign(static_cast<size_t>(FieldDefs()->Count()), TSlot{});
  FDataSize = 0;
  FBlobCount = 0;
  for (TField* f : *Fields()) {
    if (f->FieldKind() != fkData) continue;
    TSlot& slot = FSlots[static_cast<size_t>(f->FieldNo() - 1)];
    if (f->IsBlob()) {
      slot.Blob = FBlobCount++;
    } else {
      slot.Offset = FDataSize;
      FDataSize += 1 + f->DataSize();
    }
  }
  SetBookmarkSize(static_cast<int>(sizeof(uint32_t)));
  FCursor = -1;
  FOpen = true;
}

void TPacketDataSet::InternalClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  FRows.clear();
  FDeleted.clear();
  FEditBlobs.clear();
  FSlots.clear();
  FDataSize = 0;
  FBlobCount = 0;
  FOpen = false;
}

TRecordBuffer TPacketDataSet::AllocRecordBuffer() {
  const size_t size = static_cast<size_t>(FDataSize + CalcFieldsSize()) + sizeof(TInfo);
  return new std::byte[size]();
}

void TPacketDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  delete[] Buffer;
  Buffer = nullptr;
}

TGetResult TPacketDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool) {
  const int count = RowCount();
  switch (GetMode) {
    case gmNext:
      if (FCursor < count) ++FCursor;
      if (FCursor >= count) return grEOF;
      break;
    case gmPrior:
      if (FCursor >= count) FCursor = count;
      if (FCursor > -1) --FCursor;
      if (FCursor < 0) return grBOF;
      break;
    case gmCurrent:
      if (FCursor < 0) return grBOF;
      if (FCursor >= count) return grEOF;
      break;
  }
  const TRow& row = FRows[static_cast<size_t>(FCursor)];
  if (FDataSize > 0) std::memcpy(Buffer, row.Image.data(), static_cast<size_t>(FDataSize));
  WriteInfo(Buffer, TInfo{row.Id, bfCurrent});
  GetCalcFields(Buffer);
  return grOK;
}

bool TPacketDataSet::GetFieldData(TField* Field, void* Buffer) {
  TRecordBuffer record = StateBuffer();
  if (record == nullptr) return false;
  if (Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup)
    return ReadCalcField(Field, record + FDataSize, Buffer);
  const TSlot& slot = SlotOf(Field);
  TRow* row = RowOf(ReadInfo(record).Id);
  const bool old = State() == dsOldValue && row != nullptr && !row->Original.empty();
  if (slot.Blob >= 0) {
    const std::optional<TBytes>* content = nullptr;
    if (State() == dsEdit || State() == dsInsert) {
      content = &FEditBlobs[static_cast<size_t>(slot.Blob)];
    } else if (row != nullptr) {
      content = old ? &row->OriginalBlobs[static_cast<size_t>(slot.Blob)]
                    : &row->Blobs[static_cast<size_t>(slot.Blob)];
    }
    return content != nullptr && content->has_value();
  }
  const std::byte* at = old ? row->Original.data() + slot.Offset : record + slot.Offset;
  if (at[0] == std::byte{0}) return false;
  if (Buffer != nullptr) std::memcpy(Buffer, at + 1, static_cast<size_t>(Field->DataSize()));
  return true;
}

void TPacketDataSet::SetFieldData(TField* Field, const void* Buffer) {
  const bool calculated = Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup;
  if (!IsWriteMode(State()) || State() == dsSetKey ||
      (calculated && State() != dsCalcFields && State() != dsEdit && State() != dsInsert))
    DatabaseError(kNotEditing, this);
  TRecordBuffer record = StateBuffer();
  if (calculated) {
    WriteCalcField(Field, record + FDataSize, Buffer);
  } else {
    const TSlot& slot = SlotOf(Field);
    if (slot.Blob >= 0) DatabaseError("Blob-Felder werden über ihren Stream geschrieben", this);
    if (State() == dsEdit || State() == dsInsert) Field->Validate(Buffer);
    std::byte* at = record + slot.Offset;
    at[0] = Buffer != nullptr ? std::byte{1} : std::byte{0};
    std::memset(at + 1, 0, static_cast<size_t>(Field->DataSize()));
    if (Buffer != nullptr) std::memcpy(at + 1, Buffer, static_cast<size_t>(Field->DataSize()));
  }
  if (State() != dsCalcFields) DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

std::unique_ptr<TStream> TPacketDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  auto* blob = dynamic_cast<TBlobField*>(Field);
  if (blob == nullptr)
    throw EInvalidCast("Ungültige Typumwandlung: Feld '" + Field->DisplayName() +
                       "' ist kein Blob-Feld");
  const TSlot& slot = SlotOf(Field);
  const bool editing = State() == dsEdit || State() == dsInsert;
  if (Mode != bmRead && !editing) DatabaseError(kNotEditing, this);
  std::optional<TBytes> content;
  if (editing) {
    content = FEditBlobs[static_cast<size_t>(slot.Blob)];
  } else if (TRecordBuffer record = StateBuffer()) {
    if (TRow* row = RowOf(ReadInfo(record).Id)) {
      const bool old = State() == dsOldValue && !row->Original.empty();
      content = old ? row->OriginalBlobs[static_cast<size_t>(slot.Blob)]
                    : row->Blobs[static_cast<size_t>(slot.Blob)];
    }
  }
  return std::make_unique<TPacketBlobStream>(this, blob, slot.Blob, Mode, content);
}

int TPacketDataSet::GetRecNo() {
  TRecordBuffer record = ActiveBuffer();
  if (record == nullptr || State() == dsInsert) return -1;
  const int i = IndexOfId(ReadInfo(record).Id);
  return i < 0 ? -1 : i + 1;
}

bool TPacketDataSet::BookmarkValid(const TBookmark& Value) {
  if (Value.size() != sizeof(uint32_t)) return false;
  uint32_t id = 0;
  std::memcpy(&id, Value.data(), sizeof id);
  return IndexOfId(id) >= 0;
}

void TPacketDataSet::InternalGotoBookmark(const uint8_t* Bookmark) {
  uint32_t id = 0;
  std::memcpy(&id, Bookmark, sizeof id);
  const int i = IndexOfId(id);
  if (i < 0) DatabaseError("Datensatz nicht gefunden", this);
  FCursor = i;
}

void TPacketDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  const int i = IndexOfId(ReadInfo(Buffer).Id);
  if (i >= 0) FCursor = i;
}

void TPacketDataSet::InternalInitRecord(TRecordBuffer Buffer) {
  if (FDataSize > 0) std::memset(Buffer, 0, static_cast<size_t>(FDataSize));
  FEditBlobs.assign(static_cast<size_t>(FBlobCount), std::nullopt);
}

TBookmarkFlag TPacketDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
  return ReadInfo(Buffer).Flag;
}

void TPacketDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  TInfo info = ReadInfo(Buffer);
  info.Flag = Value;
  WriteInfo(Buffer, info);
}

void TPacketDataSet::GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) {
  const uint32_t id = ReadInfo(Buffer).Id;
  std::memcpy(Data, &id, sizeof id);
}

void TPacketDataSet::SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) {
  TInfo info = ReadInfo(Buffer);
  std::memcpy(&info.Id, Data, sizeof info.Id);
  WriteInfo(Buffer, info);
}

void TPacketDataSet::InternalEdit() {
  TRow* row = RowOf(ReadInfo(ActiveBuffer()).Id);
  if (row == nullptr) DatabaseError("Datensatz nicht gefunden", this);
  FEditBlobs = row->Blobs;
}

void TPacketDataSet::InternalInsert() {
  FEditBlobs.assign(static_cast<size_t>(FBlobCount), std::nullopt);
}

void TPacketDataSet::InsertRow(TRecordBuffer Buffer, bool Append) {
  TRow row;
  row.Id = FNextId++;
  row.Image.assign(Buffer, Buffer + FDataSize);
  row.Blobs = FEditBlobs;
  row.Blobs.resize(static_cast<size_t>(FBlobCount));
  row.Status = usInserted;
  const TInfo info = ReadInfo(Buffer);
  int at = RowCount();
  if (!Append && info.Flag != bfEOF && info.Flag != bfBOF) {
    const int before = IndexOfId(info.Id);
    if (before >= 0) at = before;
  }
  FRows.insert(FRows.begin() + at, std::move(row));
  FCursor = at;
  WriteInfo(Buffer, TInfo{FRows[static_cast<size_t>(at)].Id, bfCurrent});
  FEditBlobs.clear();
}

void TPacketDataSet::InternalPost() {
  TDataSet::InternalPost();  // required fields
  TRecordBuffer buffer = ActiveBuffer();
  if (State() == dsInsert) {
    InsertRow(buffer, false);
    return;
  }
  const int i = IndexOfId(ReadInfo(buffer).Id);
  if (i < 0) DatabaseError("Datensatz nicht gefunden", this);
  TRow& row = FRows[static_cast<size_t>(i)];
  if (row.Status == usUnmodified) {
    row.Original = row.Image;
    row.OriginalBlobs = row.Blobs;
    row.Status = usModified;
  }
  row.Image.assign(buffer, buffer + FDataSize);
  row.Blobs = FEditBlobs;
  FEditBlobs.clear();
  FCursor = i;
}

void TPacketDataSet::InternalCancel() {
  FEditBlobs.clear();
}

void TPacketDataSet::InternalDelete() {
  const int i = IndexOfId(ReadInfo(ActiveBuffer()).Id);
  if (i < 0) DatabaseError("Datensatz nicht gefunden", this);
  TRow row = std::move(FRows[static_cast<size_t>(i)]);
  FRows.erase(FRows.begin() + i);
  FCursor = i;
  if (row.Status == usInserted) return;  // a row the source never had leaves no trace
  if (row.Status == usUnmodified) {
    row.Original = row.Image;
    row.OriginalBlobs = row.Blobs;
  }
  // A deleted row shows the values the source has.
  row.Image = row.Original;
  row.Blobs = row.OriginalBlobs;
  row.Status = usDeleted;
  FDeleted.push_back(std::move(row));
}

void TPacketDataSet::InternalAddRecord(TRecordBuffer Buffer, bool Append) {
  TDataSet::InternalPost();  // required fields
  InsertRow(Buffer, Append);
}

void TPacketDataSet::CopyRowTo(const TRow& Row, TPacketDataSet& Dest) const {
  TRow copy;
  copy.Id = Dest.FNextId++;
  copy.Status = Row.Status;
  copy.Image.assign(static_cast<size_t>(Dest.FDataSize), std::byte{0});
  copy.Blobs.assign(static_cast<size_t>(Dest.FBlobCount), std::nullopt);
  if (!Row.Original.empty()) {
    copy.Original.assign(static_cast<size_t>(Dest.FDataSize), std::byte{0});
    copy.OriginalBlobs.assign(static_cast<size_t>(Dest.FBlobCount), std::nullopt);
  }
  for (TField* f : *const_cast<TPacketDataSet*>(this)->Fields()) {
    if (f->FieldKind() != fkData) continue;
    TField* g = Dest.FindField(f->FieldName());
    if (g == nullptr || g->FieldKind() != fkData || g->IsBlob() != f->IsBlob()) continue;
    const TSlot& from = FSlots[static_cast<size_t>(f->FieldNo() - 1)];
    const TSlot& to = Dest.FSlots[static_cast<size_t>(g->FieldNo() - 1)];
    if (from.Blob >= 0) {
      copy.Blobs[static_cast<size_t>(to.Blob)] = Row.Blobs[static_cast<size_t>(from.Blob)];
      if (!Row.Original.empty())
        copy.OriginalBlobs[static_cast<size_t>(to.Blob)] =
            Row.OriginalBlobs[static_cast<size_t>(from.Blob)];
      continue;
    }
    if (f->DataSize() != g->DataSize()) continue;
    const size_t n = 1 + static_cast<size_t>(f->DataSize());
    std::memcpy(copy.Image.data() + to.Offset, Row.Image.data() + from.Offset, n);
    if (!Row.Original.empty())
      std::memcpy(copy.Original.data() + to.Offset, Row.Original.data() + from.Offset, n);
  }
  Dest.FRows.push_back(std::move(copy));
}

std::unique_ptr<TPacketDataSet> TPacketDataSet::Delta() {
  CheckActive();
  auto delta = std::make_unique<TPacketDataSet>(nullptr);
  delta->FieldDefs()->Assign(FieldDefs());
  delta->Open();
  for (const TRow& r : FDeleted) CopyRowTo(r, *delta);
  for (const TRow& r : FRows)
    if (r.Status != usUnmodified) CopyRowTo(r, *delta);
  delta->First();
  return delta;
}

TUpdateStatus TPacketDataSet::UpdateStatus() {
  if (!Active()) return usUnmodified;
  if (State() == dsInsert) return usInserted;
  TRecordBuffer record = ActiveBuffer();
  if (record == nullptr || IsEmpty()) return usUnmodified;
  if (const TRow* row = RowOf(ReadInfo(record).Id)) return row->Status;
  return usUnmodified;
}

Variant TPacketDataSet::OldValue(TField* Field) {
  const TDataSetState saved = SetTempState(dsOldValue);
  Finally restore([&] { RestoreState(saved); });
  return Field->AsVariant();
}

bool TPacketDataSet::FieldChanged(TField* Field) {
  CheckActive();
  if (IsEmpty()) return false;
  TRow* row = RowOf(ReadInfo(ActiveBuffer()).Id);
  if (row == nullptr) return false;
  const TSlot& slot = SlotOf(Field);
  switch (row->Status) {
    case usUnmodified:
    case usDeleted:
      return false;
    case usInserted:
      return slot.Blob >= 0 ? row->Blobs[static_cast<size_t>(slot.Blob)].has_value()
                            : row->Image[static_cast<size_t>(slot.Offset)] != std::byte{0};
    case usModified:
      break;
  }
  if (slot.Blob >= 0)
    return row->Blobs[static_cast<size_t>(slot.Blob)] !=
           row->OriginalBlobs[static_cast<size_t>(slot.Blob)];
  const size_t n = 1 + static_cast<size_t>(Field->DataSize());
  return std::memcmp(row->Image.data() + slot.Offset, row->Original.data() + slot.Offset, n) != 0;
}

Variant TPacketDataSet::NewValue(TField* Field) {
  if (!FieldChanged(Field)) return Unassigned();
  const TDataSetState saved = SetTempState(dsNewValue);
  Finally restore([&] { RestoreState(saved); });
  return Field->AsVariant();
}

// ---- TDataSetProvider -----------------------------------------------------------------------

namespace {

// The framework's answers, for a dataset that offers no provider support of its own.
IProviderSupport& FrameworkAnswers() {
  static IProviderSupport answers;
  return answers;
}

std::string Quoted(const std::string& Name, const std::string& Quote) {
  if (Quote.empty()) return Name;
  return Quote + StringReplaceAll(Name, Quote, Quote + Quote) + Quote;
}

// Copies every data field's value of the current record of From into the same-named field of
// the record To is editing.
void CopyValues(TDataSet* From, TDataSet* To) {
  for (TField* f : *From->Fields()) {
    if (f->FieldKind() != fkData) continue;
    TField* g = To->FindField(f->FieldName());
    if (g == nullptr || g->FieldKind() != fkData) continue;
    if (auto* blob = dynamic_cast<TBlobField*>(f)) {
      if (auto* target = dynamic_cast<TBlobField*>(g)) {
        if (blob->IsNull())
          target->Clear();
        else
          target->SetAsBytes(blob->AsBytes());
        continue;
      }
    }
    g->SetAsVariant(f->AsVariant());
  }
}

}  // namespace

TDataSetProvider::TDataSetProvider(TComponent* AOwner) : TComponent(AOwner) {}

TDataSetProvider::~TDataSetProvider() {
  SetDataSet(nullptr);
}

void TDataSetProvider::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (FDataSet != nullptr) FDataSet->RemoveFreeNotification(this);
  FDataSet = Value;
  if (FDataSet != nullptr) FDataSet->FreeNotification(this);
}

void TDataSetProvider::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FDataSet) FDataSet = nullptr;
}

IProviderSupport& TDataSetProvider::Support() const {
  if (FDataSet == nullptr)
    DatabaseError("Der Provider hat keine Datenmenge", const_cast<TDataSetProvider*>(this));
  if (auto* support = dynamic_cast<IProviderSupport*>(FDataSet)) return *support;
  return FrameworkAnswers();
}

std::unique_ptr<TPacketDataSet> TDataSetProvider::GetRecords() {
  IProviderSupport& support = Support();
  if (!FDataSet->Active()) FDataSet->Open();
  support.PSReset();
  auto packet = std::make_unique<TPacketDataSet>(nullptr);
  packet->FieldDefs()->Assign(FDataSet->FieldDefs());
  packet->Open();
  FDataSet->First();
  while (!FDataSet->Eof()) {
    packet->Append();
    CopyValues(FDataSet, packet.get());
    packet->Post();
    FDataSet->Next();
  }
  packet->MergeChangeLog();
  packet->First();
  return packet;
}

int32_t TDataSetProvider::Execute(const std::string& CommandText, TParams* Params) {
  IProviderSupport& support = Support();
  if (!CommandText.empty()) return support.PSExecuteStatement(CommandText, Params, nullptr);
  if (Params != nullptr) support.PSSetParams(Params);
  support.PSExecute();
  return 0;
}

int TDataSetProvider::ApplyUpdates(TPacketDataSet* Delta, int MaxErrors) {
  IProviderSupport& support = Support();
  FErrors.clear();
  if (Delta == nullptr || !Delta->Active()) return 0;
  const bool ownTransaction = !support.PSInTransaction();
  if (ownTransaction) support.PSStartTransaction();
  bool stopped = false;
  try {
    Delta->First();
    int row = 0;
    while (!Delta->Eof()) {
      TUpdateKind kind = ukModify;
      switch (Delta->UpdateStatus()) {
        case usInserted:
          kind = ukInsert;
          break;
        case usDeleted:
          kind = ukDelete;
          break;
        default:
          kind = ukModify;
          break;
      }
      try {
        if (!support.PSUpdateRecord(kind, Delta)) ApplyRow(Delta, kind);
      } catch (const Exception& e) {
        FErrors.push_back(TUpdateError{row, kind, e.Message()});
        if (MaxErrors >= 0 && static_cast<int>(FErrors.size()) > MaxErrors) {
          stopped = true;
          break;
        }
      }
      Delta->Next();
      ++row;
    }
  } catch (...) {
    if (ownTransaction) support.PSEndTransaction(false);
    throw;
  }
  if (ownTransaction) support.PSEndTransaction(!stopped);
  return static_cast<int>(FErrors.size());
}

void TDataSetProvider::ApplyRow(TPacketDataSet* Delta, TUpdateKind Kind) {
  IProviderSupport& support = Support();
  if (!FResolveToDataSet && support.PSIsSQLBased() && !support.PSGetTableName().empty())
    ApplyBySQL(Delta, Kind);
  else
    ApplyToDataSet(Delta, Kind);
}

std::vector<TField*> TDataSetProvider::WhereFields(TPacketDataSet* Delta) {
  std::vector<TField*> fields;
  const std::string keys = Support().PSGetKeyFields();
  if (!keys.empty()) {
    Delta->GetFieldList(fields, keys);
    return fields;
  }
  for (TField* f : *Delta->Fields())
    if (f->FieldKind() == fkData && !f->IsBlob()) fields.push_back(f);
  return fields;
}

void TDataSetProvider::ApplyBySQL(TPacketDataSet* Delta, TUpdateKind Kind) {
  IProviderSupport& support = Support();
  const std::string quote = support.PSGetQuoteChar();
  const std::string table = Quoted(support.PSGetTableName(), quote);
  TParams params;
  auto addParam = [&](TField* f, const Variant& value) {
    TParam* p = params.CreateParam(f->DataType() == ftAutoInc ? ftInteger : f->DataType(),
                                   f->FieldName(), ptInput);
    if (VarIsNullOrEmpty(value))
      p->Clear();
    else if (auto* blob = dynamic_cast<TBlobField*>(f); blob && Kind != ukDelete)
      p->SetAsBlob(blob->AsBytes());
    else
      p->SetValue(value);
    p->SetBound(true);
  };
  std::string sql;
  if (Kind == ukInsert) {
    std::string names, marks;
    for (TField* f : *Delta->Fields()) {
      if (f->FieldKind() != fkData || !Delta->FieldChanged(f)) continue;
      names += (names.empty() ? "" : ", ") + Quoted(f->FieldName(), quote);
      marks += std::string(marks.empty() ? "" : ", ") + "?";
      addParam(f, f->AsVariant());
    }
    if (names.empty()) return;  // nothing to insert: a row of defaults is the table's business
    sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
  } else {
    std::string sets;
    if (Kind == ukModify) {
      for (TField* f : *Delta->Fields()) {
        if (f->FieldKind() != fkData || !Delta->FieldChanged(f)) continue;
        sets += (sets.empty() ? "" : ", ") + Quoted(f->FieldName(), quote) + " = ?";
        addParam(f, Delta->NewValue(f));
      }
      if (sets.empty()) return;  // the change left every value as it was
    }
    std::string where;
    for (TField* f : WhereFields(Delta)) {
      const Variant old = Delta->OldValue(f);
      where += (where.empty() ? "" : " AND ") + Quoted(f->FieldName(), quote);
      if (VarIsNullOrEmpty(old)) {
        where += " IS NULL";
      } else {
        where += " = ?";
        TParam* p = params.CreateParam(f->DataType() == ftAutoInc ? ftInteger : f->DataType(),
                                       f->FieldName(), ptInput);
        p->SetValue(old);
        p->SetBound(true);
      }
    }
    sql = Kind == ukModify ? "UPDATE " + table + " SET " + sets : "DELETE FROM " + table;
    if (!where.empty()) sql += " WHERE " + where;
  }
  const int32_t rows = support.PSExecuteStatement(sql, &params, nullptr);
  if (rows != 1) DatabaseError("Datensatz nicht gefunden oder von einem anderen Benutzer geändert");
}

void TDataSetProvider::ApplyToDataSet(TPacketDataSet* Delta, TUpdateKind Kind) {
  TDataSet* target = FDataSet;
  if (!target->Active()) target->Open();
  if (Kind == ukInsert) {
    target->Append();
    try {
      for (TField* f : *Delta->Fields()) {
        if (f->FieldKind() != fkData || !Delta->FieldChanged(f)) continue;
        TField* g = target->FieldByName(f->FieldName());
        if (auto* blob = dynamic_cast<TBlobField*>(f); blob && dynamic_cast<TBlobField*>(g))
          static_cast<TBlobField*>(g)->SetAsBytes(blob->AsBytes());
        else
          g->SetAsVariant(f->AsVariant());
      }
      target->Post();
    } catch (...) {
      target->Cancel();
      throw;
    }
    return;
  }
  std::vector<TField*> keys = WhereFields(Delta);
  std::string names;
  std::vector<Variant> values;
  for (TField* f : keys) {
    names += (names.empty() ? "" : ";") + f->FieldName();
    values.push_back(Delta->OldValue(f));
  }
  const Variant key = values.size() == 1 ? values[0] : VarArrayOf(values);
  if (!target->Locate(names, key, TLocateOptions{}))
    DatabaseError("Datensatz nicht gefunden oder von einem anderen Benutzer geändert", target);
  if (Kind == ukDelete) {
    target->Delete();
    return;
  }
  target->Edit();
  try {
    for (TField* f : *Delta->Fields()) {
      if (f->FieldKind() != fkData || !Delta->FieldChanged(f)) continue;
      TField* g = target->FieldByName(f->FieldName());
      if (auto* blob = dynamic_cast<TBlobField*>(f); blob && dynamic_cast<TBlobField*>(g)) {
        if (blob->IsNull())
          g->Clear();
        else
          static_cast<TBlobField*>(g)->SetAsBytes(blob->AsBytes());
      } else {
        g->SetAsVariant(Delta->NewValue(f));
      }
    }
    target->Post();
  } catch (...) {
    target->Cancel();
    throw;
  }
}

VCL_REGISTER_CLASS(TPacketBlobStream, [](TClassBuilder<TPacketBlobStream>&) {})
VCL_REGISTER_CLASS(TPacketDataSet, [](TClassBuilder<TPacketDataSet>&) {})
VCL_REGISTER_CLASS(TDataSetProvider, [](TClassBuilder<TDataSetProvider>& c) {
  c.Ref("DataSet", &TDataSetProvider::DataSet, &TDataSetProvider::SetDataSet);
  c.Prop("ResolveToDataSet", &TDataSetProvider::ResolveToDataSet,
         &TDataSetProvider::SetResolveToDataSet, false);
})
