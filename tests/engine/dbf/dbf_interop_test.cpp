// Tables we write are read by other DBF programs, and tables they write are read here. The peers
// are the Python dbfread module, shapelib's dbfcreate/dbfadd/dbfdump and GDAL's ogr2ogr; a test
// skips only when its peer program is not installed.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/engine/dbf/dbf_test_util.h"

namespace dbftest {
namespace {

using namespace ace::storage;  // NOLINT

// Runs a shell command and answers its standard output; *status gets the exit status.
std::string RunCommand(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  int rc = pclose(pipe);
  if (status) *status = rc;
  return out;
}

bool Have(const std::string& program) {
  int rc = 0;
  RunCommand("command -v " + program + " >/dev/null", &rc);
  return rc == 0;
}

// A Python interpreter that has dbfread, or empty.
std::string PythonWithDbfread() {
  for (const char* py : {"/usr/bin/python3", "python3"}) {
    int rc = 0;
    RunCommand(std::string(py) + " -c 'import dbfread' >/dev/null", &rc);
    if (rc == 0) return py;
  }
  return "";
}

class DbfInteropTest : public TempDirTest {
 protected:
  // Every record of a table as dbfread sees it, one line per record: field=value|...
  std::string ReadWithDbfread(const std::string& name) {
    std::string script =
        "import dbfread,sys\n"
        "t=dbfread.DBF(sys.argv[1],encoding='cp1252',char_decode_errors='strict')\n"
        "for r in t:\n"
        "  print('|'.join('%s=%r'%(k,v) for k,v in r.items() if not k.startswith('_')))\n";
    std::string script_path = Path("read.py");
    WriteAll(script_path, Bytes(script));
    int rc = 0;
    std::string out = RunCommand(python_ + " " + script_path + " " + Path(name), &rc);
    EXPECT_EQ(rc, 0) << "dbfread failed on " << name;
    return out;
  }
  void SetUp() override {
    TempDirTest::SetUp();
    python_ = PythonWithDbfread();
  }
  std::string python_;
};

TEST_F(DbfInteropTest, DbfreadReadsOurNtxAndCdxTablesWithMemos) {
  if (python_.empty()) GTEST_SKIP() << "python3 with dbfread is not installed";
  for (TableType type : {TableType::kNtx, TableType::kCdx}) {
    std::string name = type == TableType::kNtx ? "ntx.dbf" : "cdx.dbf";
    auto t = Create(name, type,
                    {{"NAME", kFtString, 12},
                     {"BETRAG", kFtNumeric, 8, 2},
                     {"GEB", kFtDate},
                     {"AKTIV", kFtLogical},
                     {"NOTIZ", kFtMemo}});
    ASSERT_TRUE(t);
    auto rec = t->BlankRecord();
    Put(rec, Field(*t, "NAME"), "M\xfcller");
    PutRight(rec, Field(*t, "BETRAG"), "-3.25");
    Put(rec, Field(*t, "GEB"), "20200229");
    Put(rec, Field(*t, "AKTIV"), "T");
    ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "NOTIZ"), Bytes(std::string(700, 'x') + "Ende"),
                             MemoKind::kText));
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
    auto second = t->BlankRecord();
    Put(second, Field(*t, "NAME"), "Zweiter");
    t->SetDeleted(second.data(), true);
    ASSERT_TRUE(t->AppendRecord(second.data()).ok());
    auto third = t->BlankRecord();
    Put(third, Field(*t, "AKTIV"), "F");
    ASSERT_TRUE(t->AppendRecord(third.data()).ok());
    ASSERT_TRUE(t->Flush());
    t.reset();

    std::string out = ReadWithDbfread(name);
    std::string expected =
        "NAME='M\xc3\xbcller'|BETRAG=-3.25|GEB=datetime.date(2020, 2, 29)|AKTIV=True|NOTIZ='" +
        std::string(700, 'x') +
        "Ende'\n"
        "NAME=''|BETRAG=None|GEB=None|AKTIV=False|NOTIZ=None\n";
    EXPECT_EQ(out, expected) << name;
  }
}

TEST_F(DbfInteropTest, DbfreadReadsOurVfpTable) {
  if (python_.empty()) GTEST_SKIP() << "python3 with dbfread is not installed";
  auto t = Create("vfp.dbf", TableType::kVfp,
                  {{"ID", kFtAutoInc},
                   {"ANZ", kFtInteger},
                   {"WERT", kFtDouble, 0, 2},
                   {"PREIS", kFtMoney},
                   {"ZEIT", kFtTimestamp},
                   {"TEXT", kFtString, 6},
                   {"NOTIZ", kFtMemo}});
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  PutBin<int32_t>(rec, Field(*t, "ANZ"), -42);
  PutBin<double>(rec, Field(*t, "WERT"), 2.5);
  PutBin<int64_t>(rec, Field(*t, "PREIS"), 1234567);  // 123.4567
  PutBin<uint32_t>(rec, Field(*t, "ZEIT"), 2459000);  // Julian day of 2020-05-30
  uint32_t ms = (13 * 3600 + 14 * 60 + 15) * 1000;
  std::memcpy(rec.data() + Field(*t, "ZEIT").offset + 4, &ms, 4);
  Put(rec, Field(*t, "TEXT"), "abc");
  ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "NOTIZ"), Bytes("Notiz"), MemoKind::kText));
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  t.reset();
  std::string out = ReadWithDbfread("vfp.dbf");
  std::string line =
      "|ANZ=-42|WERT=2.5|PREIS=Decimal('123.4567')|ZEIT=datetime.datetime(2020, 5, 30, 13, "
      "14, 15)|TEXT='abc'|NOTIZ='Notiz'\n";
  EXPECT_EQ(out, "ID=1" + line + "ID=2" + line);
}

TEST_F(DbfInteropTest, DbfdumpReadsOurTable) {
  if (!Have("dbfdump")) GTEST_SKIP() << "dbfdump is not installed";
  auto t = Create("dump.dbf", TableType::kNtx,
                  {{"NAME", kFtString, 10}, {"ALTER", kFtNumeric, 3}, {"WERT", kFtNumeric, 7, 3}});
  ASSERT_TRUE(t);
  const char* names[] = {"Anna", "Bernd", "Clara"};
  for (int i = 0; i < 3; ++i) {
    auto rec = t->BlankRecord();
    Put(rec, Field(*t, "NAME"), names[i]);
    PutRight(rec, Field(*t, "ALTER"), std::to_string(4 + i));
    PutRight(rec, Field(*t, "WERT"), std::to_string(i) + ".125");
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  t.reset();
  int rc = 0;
  std::string out = RunCommand("dbfdump -m " + Path("dump.dbf"), &rc);
  ASSERT_EQ(rc, 0);
  for (int i = 0; i < 3; ++i) {
    std::string block = "Record: " + std::to_string(i);
    auto at = out.find(block);
    ASSERT_NE(at, std::string::npos) << out;
    std::string rest = out.substr(at, out.find("Record:", at + 1) - at);
    EXPECT_NE(rest.find(names[i]), std::string::npos) << rest;
    EXPECT_NE(rest.find(std::to_string(4 + i)), std::string::npos) << rest;
    EXPECT_NE(rest.find(std::to_string(i) + ".125"), std::string::npos) << rest;
  }
}

TEST_F(DbfInteropTest, TablesOfDbfcreateAndDbfaddOpenHere) {
  if (!Have("dbfcreate") || !Have("dbfadd")) GTEST_SKIP() << "shapelib tools are not installed";
  std::string path = Path("shp.dbf");
  int rc = 0;
  RunCommand("dbfcreate " + path + " -s NAME 16 -n ANZAHL 5 0 -n PREIS 9 2", &rc);
  ASSERT_EQ(rc, 0);
  RunCommand("dbfadd " + path + " Anna 7 12.5", &rc);
  ASSERT_EQ(rc, 0);
  RunCommand("dbfadd " + path + " 'Bernd Braun' 123 0.25", &rc);
  ASSERT_EQ(rc, 0);
  for (TableType type : {TableType::kNtx, TableType::kCdx}) {
    auto t = Open("shp.dbf", type);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->record_count(), 2u);
    ASSERT_EQ(t->fields().size(), 3u);
    EXPECT_EQ(Field(*t, "NAME").type, kFtString);
    EXPECT_EQ(Field(*t, "NAME").length, 16u);
    EXPECT_EQ(Field(*t, "PREIS").type, kFtNumeric);
    EXPECT_EQ(Field(*t, "PREIS").decimals, 2);
    std::vector<std::byte> rec(t->record_length());
    ASSERT_TRUE(t->ReadRecord(2, rec.data()));
    EXPECT_FALSE(t->IsDeleted(rec.data()));
    EXPECT_EQ(Trim(Get(rec, Field(*t, "NAME"))), "Bernd Braun");
    EXPECT_EQ(std::stoi(Trim(Get(rec, Field(*t, "ANZAHL")))), 123);
    EXPECT_DOUBLE_EQ(std::stod(Trim(Get(rec, Field(*t, "PREIS")))), 0.25);
  }
  // A table they wrote takes our appends and they still read it.
  auto t = Open("shp.dbf", TableType::kNtx);
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  Put(rec, Field(*t, "NAME"), "Dritte");
  PutRight(rec, Field(*t, "ANZAHL"), "9");
  PutRight(rec, Field(*t, "PREIS"), "1.00");
  ASSERT_EQ(*t->AppendRecord(rec.data()), 3u);
  t.reset();
  if (Have("dbfdump")) {
    std::string out = RunCommand("dbfdump -m " + path, &rc);
    EXPECT_NE(out.find("Dritte"), std::string::npos) << out;
  }
}

TEST_F(DbfInteropTest, DbfOfOgr2ogrShapefileOpensHere) {
  if (!Have("ogr2ogr")) GTEST_SKIP() << "ogr2ogr is not installed";
  WriteAll(Path("in.csv"), Bytes("name,anzahl,wert,tag\n"
                                 "Anna,7,1.5,2021-03-04\n"
                                 "Bernd,-12,-0.125,1999-12-31\n"));
  int rc = 0;
  RunCommand(
      "cd " + dir_ +
          " && ogr2ogr -f 'ESRI Shapefile' out in.csv -oo AUTODETECT_TYPE=YES -lco ENCODING=CP1252",
      &rc);
  ASSERT_EQ(rc, 0);
  std::string dbf = "out/in.dbf";
  ASSERT_TRUE(std::filesystem::exists(Path(dbf)));
  auto t = Open(dbf, TableType::kCdx);
  ASSERT_TRUE(t);
  ASSERT_EQ(t->record_count(), 2u);
  EXPECT_EQ(Field(*t, "name").type, kFtString);
  EXPECT_EQ(Field(*t, "anzahl").type, kFtNumeric);
  EXPECT_EQ(Field(*t, "wert").type, kFtNumeric);
  EXPECT_EQ(Field(*t, "tag").type, kFtDate);
  std::vector<std::byte> rec(t->record_length());
  ASSERT_TRUE(t->ReadRecord(2, rec.data()));
  EXPECT_EQ(Trim(Get(rec, Field(*t, "name"))), "Bernd");
  EXPECT_EQ(std::stoi(Trim(Get(rec, Field(*t, "anzahl")))), -12);
  EXPECT_DOUBLE_EQ(std::stod(Trim(Get(rec, Field(*t, "wert")))), -0.125);
  EXPECT_EQ(Get(rec, Field(*t, "tag")), "19991231");
}

}  // namespace
}  // namespace dbftest
