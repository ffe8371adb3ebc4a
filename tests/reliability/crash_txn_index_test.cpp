// Crash and fault tests of the operations that write indexes and transactions, in every table
// format: a reindex of every index of Kinder, a transaction that ends in a commit and one that
// ends in a rollback (record updates, a memo rewrite, a deletion, an append and an SQL UPDATE on
// the same connection, with every index kept). After each kill (SIGKILL before a changing file
// operation) the next open of the table (which rolls back the journal of a transaction the kill
// ended) finds a table that passes the consistency check, indexes whose trees check out and
// hold exactly the keys of the records, and exactly the content of before or of after.
#include <cstdlib>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "tests/reliability/common/crash_harness.h"
#include "tests/reliability/common/index_check.h"

namespace reliability {
namespace {

struct Format {
  TableType type;
  const char* name;
};

const Format kFormats[] = {{TableType::kAdt, "ADT"},
                           {TableType::kCdx, "CDX"},
                           {TableType::kNtx, "NTX"},
                           {TableType::kVfp, "VFP"}};

// The NTX tables get one file per index; the other formats keep their tags in the structural
// compound file that opens with the table.
const char* const kNtxFiles[] = {"KNAME.ntx", "KNR.ntx", "KDATUM.ntx"};

struct TagSpec {
  const char* tag;
  const char* expr;
  const char* condition;
  UNSIGNED32 options;
};

const TagSpec kTags[] = {{"KNAME", "UPPER(NAME)", nullptr, 0},
                         {"KNR", "ID", nullptr, 0},
                         {"KDATUM", "DTOS(GEBURT)+STR(ID,9)", nullptr, 0},
                         {"KAKTIV", "NAME", "AKTIV", 0},
                         {"KBETRAG", "BETRAG", nullptr, ADS_DESCENDING}};

std::vector<std::string> IndexFiles(TableType type) {
  switch (type) {
    case TableType::kAdt:
      return {"Kinder.adi"};
    case TableType::kNtx:
      return {std::begin(kNtxFiles), std::end(kNtxFiles)};
    default:
      return {"Kinder.cdx"};
  }
}

// A connection with Kinder open on it (and, for NTX, its index files).
class Session {
 public:
  Session(const std::string& dir, TableType type, UNSIGNED16 mode) {
    rc_ = AdsConnect60(U(dir), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn_);
    if (rc_ != 0) return;
    rc_ = AdsOpenTable90(conn_, U("Kinder"), nullptr, static_cast<UNSIGNED16>(type), ADS_ANSI,
                         ADS_PROPRIETARY_LOCKING, ADS_IGNORE_RIGHTS, mode, nullptr, &table_);
    if (rc_ != 0 || type != TableType::kNtx) return;
    for (const char* file : kNtxFiles) {
      if (!FileExistsIn(dir, file)) continue;
      ADSHANDLE handles[1];
      UNSIGNED16 len = 1;
      rc_ = AdsOpenIndex(table_, U(file), handles, &len);
      if (rc_ != 0) return;
    }
  }
  ~Session() {
    if (table_ != 0) AdsCloseTable(table_);
    if (conn_ != 0) AdsDisconnect(conn_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  UNSIGNED32 rc() const { return rc_; }
  ADSHANDLE conn() const { return conn_; }
  ADSHANDLE table() const { return table_; }

  // Closes table and connection, answering the first failure (the result of the operation).
  UNSIGNED32 Close() {
    UNSIGNED32 rc = table_ != 0 ? AdsCloseTable(table_) : 0;
    table_ = 0;
    UNSIGNED32 rc2 = conn_ != 0 ? AdsDisconnect(conn_) : 0;
    conn_ = 0;
    return rc != 0 ? rc : rc2;
  }

 private:
  static bool FileExistsIn(const std::string& dir, const std::string& name) {
    for (const auto& f : FilesIn(dir))
      if (f == name) return true;
    return false;
  }
  UNSIGNED32 rc_ = 0;
  ADSHANDLE conn_ = 0;
  ADSHANDLE table_ = 0;
};

#define RETURN_IF_FAILED(call) \
  do {                         \
    UNSIGNED32 rc_ = (call);   \
    if (rc_ != 0) return rc_;  \
  } while (0)

UNSIGNED32 SetText(ADSHANDLE t, const char* field, const std::string& value) {
  return AdsSetString(t, U(field), U(value), static_cast<UNSIGNED32>(value.size()));
}

// Creates the indexes of Kinder, then changes every fifth name through the open indexes, so
// that their trees are grown by single inserts and deletions (a rebuild lays them out anew).
void PrepareIndexes(const std::string& dir, TableType type) {
  Session s(dir, type, ADS_EXCLUSIVE);
  ASSERT_EQ(0u, s.rc()) << LastError();
  if (type == TableType::kNtx) {
    for (size_t i = 0; i < 3; ++i) {
      ADSHANDLE ix = 0;
      ASSERT_EQ(0u, AdsCreateIndex61(s.table(), U(kNtxFiles[i]), nullptr, U(kTags[i].expr), nullptr,
                                     nullptr, 0, 0, &ix))
          << LastError();
    }
  } else {
    for (const TagSpec& tag : kTags) {
      ADSHANDLE ix = 0;
      ASSERT_EQ(0u, AdsCreateIndex61(s.table(), nullptr, U(tag.tag), U(tag.expr),
                                     tag.condition ? U(tag.condition) : nullptr, nullptr,
                                     tag.options | ADS_COMPOUND, 0, &ix))
          << LastError();
    }
  }
  UNSIGNED32 count = 0;
  ASSERT_EQ(0u, AdsGetRecordCount(s.table(), ADS_IGNOREFILTERS, &count));
  for (UNSIGNED32 r = 5; r <= count; r += 5) {
    ASSERT_EQ(0u, AdsGotoRecord(s.table(), r)) << LastError();
    ASSERT_EQ(0u, SetText(s.table(), "NAME", "Umbenannt " + std::to_string(count - r)));
    ASSERT_EQ(0u, AdsWriteRecord(s.table())) << LastError();
  }
  ASSERT_EQ(0u, s.Close()) << LastError();
}

// Runs cleanup after a failure without losing the failure's error text (the cleanup's calls,
// a rollback among them, would replace it).
template <typename Cleanup>
UNSIGNED32 KeepingTheError(UNSIGNED32 rc, Cleanup&& cleanup) {
  UNSIGNED32 code = 0;
  UNSIGNED8 text[ADS_MAX_ERROR_LEN];
  UNSIGNED16 len = sizeof text;
  AdsGetLastError(&code, text, &len);
  cleanup();
  AdsSetLastError(code, text);
  return rc;
}

UNSIGNED32 SqlOn(ADSHANDLE conn, TableType type, const std::string& sql) {
  ADSHANDLE stmt = 0;
  RETURN_IF_FAILED(AdsCreateSQLStatement(conn, &stmt));
  UNSIGNED32 rc = AdsStmtSetTableType(stmt, static_cast<UNSIGNED16>(type));
  if (rc == 0) rc = AdsStmtSetTableLockType(stmt, ADS_PROPRIETARY_LOCKING);
  ADSHANDLE cursor = 0;
  if (rc == 0) rc = AdsExecuteSQLDirect(stmt, U(sql), &cursor);
  if (cursor != 0) AdsCloseTable(cursor);
  if (rc != 0) return KeepingTheError(rc, [&] { AdsCloseSQLStatement(stmt); });
  return AdsCloseSQLStatement(stmt);
}

// Opens Kinder (shared) in dir, runs body on the session and closes it; answers the first
// failure with its own error text.
template <typename Body>
UNSIGNED32 OnKinder(const std::string& dir, TableType type, Body&& body) {
  Session s(dir, type, ADS_SHARED);
  if (s.rc() != 0) return KeepingTheError(s.rc(), [&] { s.Close(); });
  UNSIGNED32 rc = body(s);
  if (rc != 0) return KeepingTheError(rc, [&] { s.Close(); });
  return s.Close();
}

UNSIGNED32 Reindex(const std::string& dir, TableType type) {
  return OnKinder(dir, type, [](Session& s) { return AdsReindex(s.table()); });
}

// The writes of the test transaction: 24 records renamed with new amounts and counters, a memo
// rewritten with a longer text, a record deleted, one appended with a memo, and an SQL UPDATE
// of eleven more records on the same connection.
UNSIGNED32 TransactionWrites(Session& s, TableType type) {
  ADSHANDLE t = s.table();
  for (UNSIGNED32 r = 1; r <= 24; ++r) {
    RETURN_IF_FAILED(AdsGotoRecord(t, r));
    RETURN_IF_FAILED(SetText(t, "NAME", "Buchung " + std::to_string(100 - r)));
    RETURN_IF_FAILED(AdsSetDouble(t, U("BETRAG"), r * 3.5));
    DOUBLE counter = 0;
    RETURN_IF_FAILED(AdsGetDouble(t, U("ZAEHLER"), &counter));
    RETURN_IF_FAILED(AdsSetDouble(t, U("ZAEHLER"), counter + 1));
    RETURN_IF_FAILED(AdsWriteRecord(t));
  }
  std::string memo(3000, 'n');
  for (size_t i = 0; i < memo.size(); i += 40) memo[i] = static_cast<char>('a' + (i / 40) % 26);
  RETURN_IF_FAILED(AdsGotoRecord(t, 9));
  RETURN_IF_FAILED(SetText(t, "NOTIZ", memo));
  RETURN_IF_FAILED(AdsWriteRecord(t));
  RETURN_IF_FAILED(AdsGotoRecord(t, 13));
  RETURN_IF_FAILED(AdsDeleteRecord(t));
  RETURN_IF_FAILED(AdsAppendRecord(t));
  RETURN_IF_FAILED(AdsSetDouble(t, U("ID"), 900001));
  RETURN_IF_FAILED(SetText(t, "NAME", "Neu im Jahr"));
  RETURN_IF_FAILED(AdsSetJulian(t, U("GEBURT"), 2459000));
  RETURN_IF_FAILED(AdsSetLogical(t, U("AKTIV"), 1));
  RETURN_IF_FAILED(SetText(t, "NOTIZ", "angelegt in der Buchung"));
  RETURN_IF_FAILED(AdsWriteRecord(t));
  return SqlOn(s.conn(), type,
               "UPDATE Kinder SET ZAEHLER = ZAEHLER + 5, NAME = 'SQL ' || NAME "
               "WHERE ID BETWEEN 30 AND 40");
}

UNSIGNED32 Commit(const std::string& dir, TableType type) {
  return OnKinder(dir, type, [type](Session& s) {
    RETURN_IF_FAILED(AdsBeginTransaction(s.conn()));
    RETURN_IF_FAILED(TransactionWrites(s, type));
    return AdsCommitTransaction(s.conn());
  });
}

UNSIGNED32 Rollback(const std::string& dir, TableType type) {
  return OnKinder(dir, type, [type](Session& s) {
    RETURN_IF_FAILED(AdsBeginTransaction(s.conn()));
    RETURN_IF_FAILED(TransactionWrites(s, type));
    BeginKillWindow();
    return AdsRollbackTransaction(s.conn());
  });
}

// The next user's open: rolls back what a transaction that did not end left behind.
UNSIGNED32 OpenAgain(const std::string& dir, TableType type) {
  return OnKinder(dir, type, [](Session&) -> UNSIGNED32 { return 0; });
}

class IndexTxnTest : public ::testing::TestWithParam<Format> {
 protected:
  // 50 kill points per operation in the test command (each point runs a whole transaction or
  // reindex twice); scripts/reliability asks for more.
  static uint64_t Budget() { return EnvNumber("RELIABILITY_KILL_POINTS", 50); }

  TableType type() const { return GetParam().type; }
  std::string table() const { return TableFileName("Kinder", type()); }

  // A fresh folder with Kinder of `rows` records and its indexes.
  void Prepare(uint32_t rows) {
    prepared_ = std::make_unique<TempDir>();
    ASSERT_NO_FATAL_FAILURE(CreateKinder(prepared_->path(), type(), rows));
    ASSERT_NO_FATAL_FAILURE(PrepareIndexes(prepared_->path(), type()));
    IndexState ix = CheckIndexes(prepared_->path(), table(), type(), IndexFiles(type()));
    ASSERT_EQ("", ix.problem);
  }

  SweepOptions Options(const std::string& what) const {
    SweepOptions o;
    o.indexes = IndexFiles(type());
    if (what == "reindex") {
      o.changes_content = false;
      o.index_bytes_are_content = true;
    } else {
      const TableType t = type();
      o.recover = [t](const std::string& dir) { return OpenAgain(dir, t); };
      o.settled = true;
      o.changes_content = what == "commit";
      o.windowed = what == "rollback";
    }
    return o;
  }

  Operation Op(const std::string& what) const {
    const TableType t = type();
    if (what == "reindex") return [t](const std::string& dir) { return Reindex(dir, t); };
    if (what == "commit") return [t](const std::string& dir) { return Commit(dir, t); };
    return [t](const std::string& dir) { return Rollback(dir, t); };
  }

  void CrashSweepOf(const std::string& what) {
    ASSERT_NO_FATAL_FAILURE(Prepare(static_cast<uint32_t>(EnvNumber("RELIABILITY_ROWS", 400))));
    CrashFigures fig =
        CrashSweep(prepared_->path(), table(), type(), Op(what), Budget(), Options(what));
    RecordFigures(std::string(GetParam().name) + " " + what, fig);
    for (size_t i = 0; i < fig.failures.size() && i < 5; ++i) ADD_FAILURE() << fig.failures[i];
    EXPECT_EQ(0u, fig.lost);
    // At least 50 kill points, or every change when the operation makes fewer (a rebuild
    // writes its new file in runs of pages).
    EXPECT_GE(fig.points, std::min<uint64_t>({Budget(), 50, fig.changes}))
        << "too few kill points for " << what;
    EXPECT_GE(fig.changes, 4u) << "the sweep saw too few changes of " << what;
    EXPECT_EQ(fig.points, fig.killed);
    EXPECT_GT(fig.as_before, 0u);
  }

  void FaultSweepOf(const std::string& what) {
    ASSERT_NO_FATAL_FAILURE(
        Prepare(static_cast<uint32_t>(EnvNumber("RELIABILITY_FAULT_ROWS", 60))));
    FaultFigures fig = FaultSweep(prepared_->path(), table(), type(), Op(what),
                                  EnvNumber("RELIABILITY_FAULT_POINTS", 40), Options(what));
    RecordFaultFigures(std::string(GetParam().name) + " " + what, fig);
    for (size_t i = 0; i < fig.failures.size() && i < 5; ++i) ADD_FAILURE() << fig.failures[i];
    EXPECT_EQ(0u, fig.lost);
    EXPECT_GT(fig.reported, 0u);
  }

  std::unique_ptr<TempDir> prepared_;
};

TEST_P(IndexTxnTest, KilledReindexLeavesEveryIndexOldOrNew) {
  CrashSweepOf("reindex");
}

TEST_P(IndexTxnTest, KilledCommitLeavesTheTransactionWholeOrAbsent) {
  CrashSweepOf("commit");
}

TEST_P(IndexTxnTest, KilledRollbackIsFinishedByTheNextOpen) {
  CrashSweepOf("rollback");
}

TEST_P(IndexTxnTest, FailingReindexKeepsTheOldIndexes) {
  FaultSweepOf("reindex");
}

TEST_P(IndexTxnTest, FailingTransactionIsTakenBackOrCommittedWhole) {
  FaultSweepOf("commit");
  FaultSweepOf("rollback");
}

INSTANTIATE_TEST_SUITE_P(Formats, IndexTxnTest, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.name); });

// The index check itself must see a damaged index: a key of a record that is missing from its
// tag, and an index written for another state of the table.
TEST(IndexCheck, FindsAMissingKeyAndAStaleIndex) {
  TempDir dir;
  CreateKinder(dir.path(), TableType::kAdt, 30);
  ASSERT_FALSE(HasFailure());
  PrepareIndexes(dir.path(), TableType::kAdt);
  ASSERT_FALSE(HasFailure());
  const std::vector<std::string> files = {"Kinder.adi"};
  IndexState ok = CheckIndexes(dir.path(), "Kinder.adt", TableType::kAdt, files);
  ASSERT_EQ("", ok.problem);
  ASSERT_EQ(1u, ok.keys.size());
  EXPECT_EQ(4u * 30 + 15u, ok.keys[0]) << "four tags of every record, KAKTIV of the odd ones";

  // A record changed behind the index's back (through the storage layer, which keeps no
  // index): the tags still hold the old key.
  {
    auto t = ace::storage::OpenTableFile(dir.File("Kinder.adt"), TableType::kAdt, {});
    ASSERT_TRUE(t.ok()) << t.status().message();
    std::vector<std::byte> image(t.value()->record_length());
    ASSERT_TRUE(t.value()->ReadRecord(3, image.data()).ok());
    const auto& name = t.value()->fields()[1];
    std::memcpy(image.data() + name.offset, "Anders", 6);
    ASSERT_TRUE(t.value()->WriteRecord(3, image.data()).ok());
  }
  IndexState changed = CheckIndexes(dir.path(), "Kinder.adt", TableType::kAdt, files);
  EXPECT_NE(std::string::npos, changed.problem.find("tag KNAME")) << changed.problem;

  // A record appended behind its back makes the index stale for the table.
  {
    auto t = ace::storage::OpenTableFile(dir.File("Kinder.adt"), TableType::kAdt, {});
    ASSERT_TRUE(t.ok());
    ASSERT_TRUE(t.value()->AppendRecord(t.value()->BlankRecord().data()).ok());
  }
  IndexState stale = CheckIndexes(dir.path(), "Kinder.adt", TableType::kAdt, files);
  EXPECT_NE(std::string::npos, stale.problem.find("does not open")) << stale.problem;
}

// A record appended in a transaction that is rolled back stays as a deleted blank record and
// keeps its (blank) keys like every deleted record, as a rebuild and the recovery after a crash
// give them; a later write of that record (recalled and edited) finds its old keys.
TEST(RolledBackAppend, KeepsTheKeysOfADeletedRecord) {
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.name);
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(CreateKinder(dir.path(), format.type, 20));
    ASSERT_NO_FATAL_FAILURE(PrepareIndexes(dir.path(), format.type));
    {
      Session s(dir.path(), format.type, ADS_SHARED);
      ASSERT_EQ(0u, s.rc()) << LastError();
      ASSERT_EQ(0u, AdsBeginTransaction(s.conn()));
      ASSERT_EQ(0u, AdsAppendRecord(s.table()));
      ASSERT_EQ(0u, SetText(s.table(), "NAME", "Zurueck"));
      ASSERT_EQ(0u, AdsWriteRecord(s.table())) << LastError();
      ASSERT_EQ(0u, AdsRollbackTransaction(s.conn())) << LastError();
      IndexState ix = CheckIndexes(dir.path(), TableFileName("Kinder", format.type), format.type,
                                   IndexFiles(format.type));
      EXPECT_EQ("", ix.problem);
      ASSERT_EQ(0u, AdsGotoRecord(s.table(), 21)) << LastError();
      ASSERT_EQ(0u, AdsRecallRecord(s.table())) << LastError();
      ASSERT_EQ(0u, SetText(s.table(), "NAME", "Wieder da"));
      EXPECT_EQ(0u, AdsWriteRecord(s.table())) << LastError();
      ASSERT_EQ(0u, s.Close()) << LastError();
    }
    IndexState ix = CheckIndexes(dir.path(), TableFileName("Kinder", format.type), format.type,
                                 IndexFiles(format.type));
    EXPECT_EQ("", ix.problem);
  }
}

// A record write of a transaction that fails part-way (here: the n-th file write fails, within
// the table or one of its index files) leaves the record and its keys out of step; the
// rollback restores the record all the same, rebuilds the indexes it could not keep in step,
// and answers success.
TEST(FailedWriteInTransaction, IsTakenBackWithItsIndexes) {
  for (const Format& format : {kFormats[0], kFormats[2]}) {
    for (uint64_t n = 1; n <= 12; ++n) {
      SCOPED_TRACE(std::string(format.name) + ", write " + std::to_string(n) + " fails");
      TempDir dir;
      ASSERT_NO_FATAL_FAILURE(CreateKinder(dir.path(), format.type, 20));
      ASSERT_NO_FATAL_FAILURE(PrepareIndexes(dir.path(), format.type));
      const std::string table = TableFileName("Kinder", format.type);
      const Content before = ReadContent(dir.File(table), format.type);
      Session s(dir.path(), format.type, ADS_SHARED);
      ASSERT_EQ(0u, s.rc()) << LastError();
      ASSERT_EQ(0u, AdsBeginTransaction(s.conn()));
      ASSERT_EQ(0u, AdsGotoRecord(s.table(), 3));
      ASSERT_EQ(0u, SetText(s.table(), "NAME", "Aaron"));
      ace::FaultInjector::Reset();
      ace::FaultInjector::FailAt(ace::IoKind::kWrite, n, ace::kErrIo);
      (void)AdsWriteRecord(s.table());
      ace::FaultInjector::Reset();
      EXPECT_EQ(0u, AdsRollbackTransaction(s.conn())) << LastError();
      EXPECT_EQ("", CheckIndexes(dir.path(), table, format.type, IndexFiles(format.type)).problem);
      EXPECT_EQ(before.settled_digest, ReadContent(dir.File(table), format.type).settled_digest);
      ASSERT_EQ(0u, s.Close()) << LastError();
      for (const std::string& f : FilesIn(dir.path()))
        EXPECT_EQ(std::string::npos, f.find(".tjl")) << "the journal " << f << " is left";
    }
  }
}

// A write of an index killed after it had allocated pages and before it wrote the header that
// counts them leaves the file longer than its header says: the next writable open rebuilds it
// (and a transaction's recovery, which opens it the same way) instead of refusing the table.
TEST(IndexCutShort, IsRebuiltByTheNextWritableOpen) {
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.name);
    TempDir dir;
    ASSERT_NO_FATAL_FAILURE(CreateKinder(dir.path(), format.type, 30));
    ASSERT_NO_FATAL_FAILURE(PrepareIndexes(dir.path(), format.type));
    const std::string index = IndexFiles(format.type)[0];
    {
      std::ofstream grow(dir.File(index), std::ios::binary | std::ios::app);
      grow << std::string(1024, '\0');
    }
    EXPECT_NE("",
              CheckIndexes(dir.path(), TableFileName("Kinder", format.type), format.type, {index})
                  .problem);
    EXPECT_EQ(0u, OpenAgain(dir.path(), format.type)) << LastError();
    EXPECT_EQ("", CheckIndexes(dir.path(), TableFileName("Kinder", format.type), format.type,
                               IndexFiles(format.type))
                      .problem);
  }
}

// Every change of a transaction that appends one record and commits, killed in turn: the next
// open finds the table as before (the record taken back, left as a deleted blank one) or with
// the committed record, never with the record of a transaction that did not end.
TEST(KilledAppendInTransaction, LeavesNoRecordOfAnUnfinishedTransaction) {
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.name);
    TempDir prepared;
    ASSERT_NO_FATAL_FAILURE(CreateKinder(prepared.path(), format.type, 40));
    ASSERT_NO_FATAL_FAILURE(PrepareIndexes(prepared.path(), format.type));
    const TableType type = format.type;
    SweepOptions o;
    o.indexes = IndexFiles(type);
    o.recover = [type](const std::string& dir) { return OpenAgain(dir, type); };
    o.settled = true;
    const Operation append = [type](const std::string& dir) {
      return OnKinder(dir, type, [](Session& s) {
        RETURN_IF_FAILED(AdsBeginTransaction(s.conn()));
        RETURN_IF_FAILED(AdsAppendRecord(s.table()));
        RETURN_IF_FAILED(AdsSetDouble(s.table(), U("ID"), 777));
        RETURN_IF_FAILED(SetText(s.table(), "NAME", "Einzeln"));
        RETURN_IF_FAILED(AdsWriteRecord(s.table()));
        return AdsCommitTransaction(s.conn());
      });
    };
    CrashFigures fig =
        CrashSweep(prepared.path(), TableFileName("Kinder", type), type, append, 1000, o);
    for (size_t i = 0; i < fig.failures.size() && i < 5; ++i) ADD_FAILURE() << fig.failures[i];
    EXPECT_EQ(0u, fig.lost);
    EXPECT_EQ(fig.changes, fig.points) << "every change is a kill point";
  }
}

}  // namespace
}  // namespace reliability
