// Memo, binary and national memo fields through blob streams of a TAdsTable on the real engine:
// contents of 0 bytes, 1 byte and several megabytes written in edit and insert, posted and
// cancelled, on ADT, VFP, CDX and NTX tables; the stream's modes and refusals; the cache that
// reads the engine once; national memos in UTF-16; and memo files after many rewrites (no block
// shared with another record's memo, rewrites that fit kept in place, contents surviving a
// reopen).
#include <algorithm>
#include <filesystem>
#include <random>

#include "tests/ads/editing/editing_support.h"

namespace edittest {
namespace {

TBytes Pattern(size_t n, unsigned seed) {
  TBytes b(n);
  std::mt19937 gen(seed);
  // printable text: no zero byte and no 0x1A (the end mark of dBase III memos)
  for (auto& c : b) c = static_cast<uint8_t>(' ' + gen() % 95);
  return b;
}

std::string MemoFileOf(const std::string& name, TAdsTableTypes type) {
  switch (type) {
    case ttAdsADT:
      return name + ".adm";
    case ttAdsNTX:
      return name + ".dbt";
    default:
      return name + ".fpt";
  }
}

class Blobs : public EditWorld {
 protected:
  TKeyTable* MemoTable(const std::string& name, TAdsTableTypes type, bool binary = true) {
    std::string fields = "ID,Numeric,4;M,Memo;";
    if (binary && (type == ttAdsADT || type == ttAdsVFP)) fields += "B,Blob;";
    Create(name, type, fields);
    TKeyTable* t = NewTable(name, type);
    t->Open();
    return t;
  }
  static void WriteBlob(TField* f, const TBytes& data) {
    std::unique_ptr<TStream> s = f->DataSet()->CreateBlobStream(f, bmWrite);
    if (!data.empty()) s->WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  }
  static TBytes ReadBlob(TField* f) {
    std::unique_ptr<TStream> s = f->DataSet()->CreateBlobStream(f, bmRead);
    TBytes out(static_cast<size_t>(s->Size()));
    if (!out.empty()) s->ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
    return out;
  }
};

const TAdsTableTypes kFormats[] = {ttAdsADT, ttAdsVFP, ttAdsCDX, ttAdsNTX};

TEST_F(Blobs, ZeroOneAndSeveralMegabytesInInsertAndEdit) {
  const TBytes big = Pattern(3 * 1024 * 1024 + 17, 1);
  const TBytes sizes[] = {TBytes{}, TBytes{'x'}, big};
  for (TAdsTableTypes type : kFormats) {
    SCOPED_TRACE(TypeName(type));
    const std::string name = std::string("memo") + TypeName(type);
    TKeyTable* t = MemoTable(name, type);
    int id = 0;
    for (const TBytes& value : sizes) {
      SCOPED_TRACE(value.size());
      t->Insert();
      t->FieldByName("ID")->SetAsInteger(++id);
      WriteBlob(t->FieldByName("M"), value);
      EXPECT_EQ(t->FieldByName("M")->IsNull(), value.empty());
      t->Post();
      EXPECT_EQ(ReadBlob(t->FieldByName("M")), value);
    }
    // Edit: the big memo becomes one byte, the empty one becomes big.
    t->First();
    t->Edit();
    WriteBlob(t->FieldByName("M"), big);
    t->Post();
    t->Last();
    t->Edit();
    WriteBlob(t->FieldByName("M"), TBytes{'y'});
    t->Post();
    t->Close();
    t->Open();
    t->First();
    EXPECT_EQ(ReadBlob(t->FieldByName("M")), big);
    t->Next();
    EXPECT_EQ(ReadBlob(t->FieldByName("M")), TBytes{'x'});
    t->Next();
    EXPECT_EQ(ReadBlob(t->FieldByName("M")), TBytes{'y'});
    // The engine reads the same contents.
    ADSHANDLE h = OtherUser(name, type);
    ASSERT_EQ(AdsGotoTop(h), 0u);
    UNSIGNED32 length = 0;
    EXPECT_EQ(AdsGetMemoLength(h, U8("M"), &length), 0u);
    EXPECT_EQ(length, big.size());
    t->Close();
  }
}

TEST_F(Blobs, BinaryBlobOfSeveralMegabytesWithZeroBytes) {
  for (TAdsTableTypes type : {ttAdsADT, ttAdsVFP}) {
    SCOPED_TRACE(TypeName(type));
    TKeyTable* t = MemoTable(std::string("bin") + TypeName(type), type);
    TBytes data = Pattern(2 * 1024 * 1024, 7);
    for (size_t i = 0; i < data.size(); i += 1000) data[i] = 0;
    t->Insert();
    WriteBlob(t->FieldByName("B"), data);
    t->Post();
    t->Close();
    t->Open();
    EXPECT_EQ(ReadBlob(t->FieldByName("B")), data);
    EXPECT_EQ(t->FieldByName("B")->AsVariant().AsBytes().size(), data.size());
    t->Close();
  }
}

TEST_F(Blobs, CancelledChangesLeaveTheBlobAsItWas) {
  for (TAdsTableTypes type : kFormats) {
    SCOPED_TRACE(TypeName(type));
    TKeyTable* t = MemoTable(std::string("canc") + TypeName(type), type);
    t->Insert();
    t->FieldByName("ID")->SetAsInteger(1);
    WriteBlob(t->FieldByName("M"), TBytes{'a', 'l', 't'});
    t->Post();
    t->Edit();
    WriteBlob(t->FieldByName("M"), Pattern(1024 * 1024, 3));
    t->Cancel();
    EXPECT_EQ(ReadBlob(t->FieldByName("M")), (TBytes{'a', 'l', 't'}));
    t->Insert();
    WriteBlob(t->FieldByName("M"), TBytes{'n', 'e', 'u'});
    t->Cancel();
    EXPECT_EQ(t->RecordCount(), 1);
    EXPECT_EQ(ReadBlob(t->FieldByName("M")), (TBytes{'a', 'l', 't'}));
    t->Edit();
    WriteBlob(t->FieldByName("M"), TBytes{});
    t->Post();
    EXPECT_TRUE(t->FieldByName("M")->IsNull());
    t->Close();
  }
}

// ---- the stream's rules -----------------------------------------------------------------------

TEST_F(Blobs, StreamModesAndRefusals) {
  TKeyTable* t = MemoTable("modes", ttAdsADT);
  t->Insert();
  WriteBlob(t->FieldByName("M"), TBytes{'a', 'b', 'c'});
  t->Post();
  TField* m = t->FieldByName("M");
  ExpectMessage<EADSDatabaseError>(
      [&] { t->CreateBlobStream(m, bmWrite); },
      "AdsTable1: Table must be in Edit or Insert state to open blob stream in Write Mode.");
  ExpectMessage<EADSDatabaseError>([&] { t->CreateBlobStream(m, bmReadWrite); },
                                   "AdsTable1: Table must be in Edit or Insert state to open "
                                   "blob stream in Write Mode.");
  {
    std::unique_ptr<TStream> s = t->CreateBlobStream(m, bmRead);
    auto* blob = dynamic_cast<TAdsBlobStream*>(s.get());
    ASSERT_NE(blob, nullptr);
    const uint8_t c = 'z';
    ExpectMessage<EADSDatabaseError>([&] { blob->Write(&c, 1); },
                                     "Error modifying read only blob.");
    ExpectMessage<EADSDatabaseError>([&] { blob->Truncate(); }, "Error modifying read only blob.");
    EXPECT_EQ(s->Size(), 3);
    EXPECT_EQ(s->Seek(1, soBeginning), 1);
    uint8_t two[2] = {};
    EXPECT_EQ(s->Read(two, 2), 2);
    EXPECT_EQ(two[0], 'b');
  }
  EXPECT_THROW(t->CreateBlobStream(t->FieldByName("ID"), bmRead), EInvalidCast);

  // A write-mode stream starts empty and marks the field modified when it goes, unwritten.
  t->Edit();
  auto* blobField = dynamic_cast<TBlobField*>(m);
  blobField->SetModified(false);
  int changes = 0;
  m->OnChange = [&](TField*) { ++changes; };
  {
    std::unique_ptr<TStream> s = t->CreateBlobStream(m, bmWrite);
    EXPECT_EQ(s->Size(), 0);
  }
  EXPECT_TRUE(blobField->Modified());
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(m->IsNull());
  t->Cancel();
  EXPECT_EQ(ReadBlob(m), (TBytes{'a', 'b', 'c'}));
  m->OnChange = nullptr;
}

TEST_F(Blobs, StreamWithoutARecordHasNoCache) {
  TKeyTable* t = MemoTable("ohne", ttAdsADT);
  std::unique_ptr<TStream> s = t->CreateBlobStream(t->FieldByName("M"), bmRead);
  EXPECT_EQ(s->Size(), 0);
  uint8_t b = 0;
  EXPECT_EQ(s->Read(&b, 1), 0);
  t->Insert();
  std::unique_ptr<TStream> w = t->CreateBlobStream(t->FieldByName("M"), bmReadWrite);
  EXPECT_EQ(w->Size(), 0);  // record number 0: nothing on the engine yet
  t->Cancel();
  // Closed: no record buffer, so no cache; writing is refused.
  t->Close();
  auto* field = new TMemoField(form_.get());
  field->SetFieldName("M");
  TAdsBlobStream orphan(field, bmWrite);
  const uint8_t c = 'q';
  ExpectMessage<EADSDatabaseError>([&] { orphan.Write(&c, 1); },
                                   "Cannot write to blob in current state.");
}

UNSIGNED32 g_memo_reads = 0;
UNSIGNED32 CountingGetField(ADSHANDLE h, const UNSIGNED8* f, UNSIGNED8* b, UNSIGNED32* l,
                            UNSIGNED16 o) {
  ++g_memo_reads;
  return ::AdsGetField(h, f, b, l, o);
}

TEST_F(Blobs, ASecondStreamReadsTheCacheAndReadWriteShowsUnpostedChanges) {
  TKeyTable* t = MemoTable("cache", ttAdsADT, false);
  t->Insert();
  WriteBlob(t->FieldByName("M"), TBytes{'e', 'i', 'n', 's'});
  t->Post();
  TField* m = t->FieldByName("M");
  AceImportOverride<decltype(Ace.AdsGetField)> count(Ace.AdsGetField, &CountingGetField);
  g_memo_reads = 0;
  EXPECT_EQ(ReadBlob(m), (TBytes{'e', 'i', 'n', 's'}));
  EXPECT_EQ(ReadBlob(m), (TBytes{'e', 'i', 'n', 's'}));
  EXPECT_EQ(g_memo_reads, 1u);
  t->Edit();
  {
    std::unique_ptr<TStream> s = t->CreateBlobStream(m, bmReadWrite);
    EXPECT_EQ(s->Size(), 4);  // re-read from the engine
    s->Seek(0, soEnd);
    s->WriteBuffer("!", 1);
  }
  {
    std::unique_ptr<TStream> s = t->CreateBlobStream(m, bmReadWrite);
    EXPECT_EQ(s->Size(), 5);  // the unposted change, not the engine's content
  }
  t->Post();
  EXPECT_EQ(ReadBlob(m), (TBytes{'e', 'i', 'n', 's', '!'}));
}

TEST_F(Blobs, NationalMemoHoldsUtf16) {
  Create("nm", ttAdsADT, "N,NMemo;");
  TKeyTable* t = NewTable("nm", ttAdsADT);
  t->Open();
  t->Insert();
  t->FieldByName("N")->SetAsString("Ωäz");
  t->Post();
  {
    std::unique_ptr<TStream> s = t->CreateBlobStream(t->FieldByName("N"), bmRead);
    EXPECT_EQ(s->Size(), 6);
  }
  t->Close();
  t->Open();
  EXPECT_EQ(t->FieldByName("N")->AsString(), "Ωäz");
  ADSHANDLE h = OtherUser("nm", ttAdsADT);
  ASSERT_EQ(AdsGotoTop(h), 0u);
  WCHAR text[16] = {};
  UNSIGNED32 chars = 16;
  EXPECT_EQ(AdsGetFieldW(h, U8("N"), text, &chars, ADS_NONE), 0u);
  EXPECT_EQ(chars, 3u);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(text), chars), u"Ωäz");
}

TEST_F(Blobs, TextMemoReadsItsLengthAsTheEngineGivesIt) {
  TKeyTable* t = MemoTable("len", ttAdsCDX, false);
  t->Insert();
  t->FieldByName("M")->SetAsString("Zeile 1\r\nZeile 2");
  t->Post();
  EXPECT_EQ(t->FieldByName("M")->AsString(), "Zeile 1\r\nZeile 2");
  std::unique_ptr<TStream> s = t->CreateBlobStream(t->FieldByName("M"), bmRead);
  EXPECT_EQ(s->Size(), 16);
}

// ---- memo files after many rewrites -----------------------------------------------------------

TEST_F(Blobs, MemoFilesAfterManyRewritesShareNoBlocks) {
  for (TAdsTableTypes type : kFormats) {
    SCOPED_TRACE(TypeName(type));
    const std::string name = std::string("rw") + TypeName(type);
    TKeyTable* t = MemoTable(name, type, false);
    const TBytes neighbour = Pattern(3000, 99);
    for (int id = 1; id <= 3; ++id) {
      t->Insert();
      t->FieldByName("ID")->SetAsInteger(id);
      WriteBlob(t->FieldByName("M"), id == 2 ? neighbour : Pattern(500, id));
      t->Post();
    }
    const auto memoFile = File(MemoFileOf(name, type));
    ASSERT_TRUE(std::filesystem::exists(memoFile)) << memoFile;
    std::mt19937 gen(5);
    for (int round = 0; round < 60; ++round) {
      const size_t n = round % 7 == 0 ? 0 : gen() % 9000 + 1;
      const TBytes value = Pattern(n, static_cast<unsigned>(round));
      for (int id : {1, 3}) {
        t->First();
        if (id == 3) t->Last();
        t->Edit();
        WriteBlob(t->FieldByName("M"), value);
        t->Post();
        ASSERT_EQ(ReadBlob(t->FieldByName("M")), value) << "round " << round;
      }
      t->First();
      t->Next();
      ASSERT_EQ(ReadBlob(t->FieldByName("M")), neighbour) << "round " << round;
    }
    t->Close();
    t->Open();
    t->First();
    t->Next();
    EXPECT_EQ(ReadBlob(t->FieldByName("M")), neighbour);
    t->Close();
  }
}

// A changed memo waits in blocks of its own until the record is posted (so that a cancelled
// change leaves the stored memo whole); posting puts a value that fits back into the record's
// old blocks, so a memo rewritten shorter never grows the file.
TEST_F(Blobs, MemoRewrittenShorterNeverGrowsTheFile) {
  for (TAdsTableTypes type : kFormats) {
    SCOPED_TRACE(TypeName(type));
    const std::string name = std::string("inpl") + TypeName(type);
    TKeyTable* t = MemoTable(name, type, false);
    t->Insert();
    WriteBlob(t->FieldByName("M"), Pattern(9000, 1));
    t->Post();
    const auto memoFile = File(MemoFileOf(name, type));
    const auto size = std::filesystem::file_size(memoFile);
    for (int round = 0; round < 20; ++round) {
      t->Edit();
      WriteBlob(t->FieldByName("M"), Pattern(9000 - 400 * round, static_cast<unsigned>(round)));
      t->Post();
      EXPECT_LE(std::filesystem::file_size(memoFile), size) << "round " << round;
    }
    EXPECT_EQ(ReadBlob(t->FieldByName("M")), Pattern(9000 - 400 * 19, 19u));
    t->Close();
  }
}

}  // namespace
}  // namespace edittest
