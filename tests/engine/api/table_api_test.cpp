// Tables through the C API: the field specification's refusals, names and paths, table facts,
// maintenance (zap, pack, copy, convert, delete), autoincrement, corrupt files and the
// robustness rules of the boundary (null pointers, short buffers, stale handles).
#include <cstring>
#include <fstream>

#include "engine/base/file.h"
#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

using TableApiTest = ApiTest;

UNSIGNED32 CreateRc(ADSHANDLE conn, const std::string& name, UNSIGNED16 type,
                    const std::string& fields) {
  ADSHANDLE t = 0;
  UNSIGNED32 rc = AdsCreateTable90(conn, U(name), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                                   ADS_CHECK_RIGHTS, 0, U(fields), 0, nullptr, &t);
  if (rc == 0) AdsCloseTable(t);
  return rc;
}

TEST_F(TableApiTest, FieldSpecificationRefusals) {
  EXPECT_EQ(AE_INVALID_FIELD_TYPE, CreateRc(conn_, "a", ADS_ADT, "Name,Charakter,10;"));
  EXPECT_NE(std::string::npos, LastErrorText().find("Charakter"));
  EXPECT_EQ(AE_INVALID_FIELD_TYPE, CreateRc(conn_, "a", ADS_ADT, "Name;"));
  EXPECT_EQ(AE_INVALID_ARGUMENT, CreateRc(conn_, "a", ADS_ADT, "Name,Char;"));
  EXPECT_NE(std::string::npos, LastErrorText().find("needs a length"));
  EXPECT_EQ(AE_INVALID_ARGUMENT, CreateRc(conn_, "a", ADS_ADT, "Name,Char,zehn;"));
  EXPECT_EQ(AE_INVALID_ARGUMENT, CreateRc(conn_, "a", ADS_ADT, "Betrag,Num,5,5;"));
  EXPECT_EQ(AE_INVALID_FIELD_NAME, CreateRc(conn_, "a", ADS_ADT, "Name,Char,5;name,Integer;"));
  EXPECT_EQ(AE_INVALID_FIELD_NAME, CreateRc(conn_, "a", ADS_ADT, ",Integer;"));
  EXPECT_EQ(AE_INVALID_ARGUMENT, CreateRc(conn_, "a", ADS_ADT, ""));
  // DBF names hold 10 characters: a longer one is refused, never cut.
  EXPECT_EQ(AE_INVALID_FIELD_NAME, CreateRc(conn_, "d", ADS_CDX, "Geburtstag1,Date;"));
  EXPECT_NE(std::string::npos, LastErrorText().find("longer than 10"));
  EXPECT_EQ(AE_INVALID_FIELD_NAME,
            CreateRc(conn_, "a", ADS_ADT, std::string(129, 'N') + ",Integer;"));
  EXPECT_FALSE(std::filesystem::exists(Path("a.adt")));
  EXPECT_FALSE(std::filesystem::exists(Path("d.dbf")));
  // Long names, blanks around parts, letter case of types and no final ';' are accepted.
  EXPECT_ACE(CreateRc(conn_, "a", ADS_ADT,
                      std::string(128, 'N') + ",integer; Name , CHAR , 12 ;Summe,Money"));
  EXPECT_EQ(AE_FILE_EXISTS, CreateRc(conn_, "a", ADS_ADT, "X,Integer;"));
  ADSHANDLE t = 0;
  EXPECT_EQ(AE_NULL_POINTER, AdsCreateTable90(conn_, U("b"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                                              nullptr, 0, nullptr, &t));
  EXPECT_EQ(AE_NULL_POINTER, AdsCreateTable90(conn_, U("b"), nullptr, ADS_ADT, ADS_ANSI, 1, 1, 0,
                                              U("X,Integer;"), 0, nullptr, nullptr));
}

TEST_F(TableApiTest, NamesPathsAndTableFacts) {
  ADSHANDLE t = Create("Kinder", ADS_ADT, "Name,Char,30;Alter,ShortInt;Notiz,Memo;");
  ASSERT_ACE(AdsCloseTable(t));
  EXPECT_EQ(AE_INVALID_HANDLE, AdsCloseTable(t));  // stale
  for (const std::string& name :
       {std::string("Kinder"), std::string("Kinder.adt"), dir_ + "/Kinder",
        std::string("./Kinder.adt"), std::string(".\\Kinder")}) {
    ASSERT_EQ(0u, Open(name, ADS_ADT, &t)) << name << ": " << LastErrorText();
    ASSERT_ACE(AdsCloseTable(t));
  }
  EXPECT_EQ(AE_FILE_NOT_FOUND, Open("Eltern", ADS_ADT, &t));
  EXPECT_NE(std::string::npos, LastErrorText().find("Eltern.adt"));
  EXPECT_EQ(AE_NAME_TOO_LONG, Open(std::string(300, 'k'), ADS_ADT, &t));
  EXPECT_EQ(AE_INVALID_ARGUMENT, Open("Kinder", 9, &t));
  EXPECT_EQ(AE_INVALID_ARGUMENT,
            AdsOpenTable90(conn_, U("Kinder"), nullptr, ADS_ADT, 7, 1, 1, 0, nullptr, &t));

  ASSERT_ACE(AdsOpenTable90(conn_, U("Kinder"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                            ADS_CHECK_RIGHTS, 0x40000100u, U("GERMAN_VFP_CI_AS_1252"), &t));
  UNSIGNED16 n16 = 0;
  ASSERT_ACE(AdsGetNumFields(t, &n16));
  EXPECT_EQ(3, n16);
  ASSERT_ACE(AdsGetFieldType(t, ADSFIELD(2), &n16));
  EXPECT_EQ(12, n16);
  ASSERT_ACE(AdsGetFieldNum(t, U("NOTIZ"), &n16));
  EXPECT_EQ(3, n16);
  UNSIGNED32 n32 = 0;
  ASSERT_ACE(AdsGetFieldLength(t, U("name"), &n32));
  EXPECT_EQ(30u, n32);
  UNSIGNED32 offset = 0;
  ASSERT_ACE(AdsGetFieldOffset(t, U("Alter"), &offset));
  UNSIGNED32 reclen = 0;
  ASSERT_ACE(AdsGetRecordLength(t, &reclen));
  EXPECT_LT(offset, reclen);
  EXPECT_EQ(AE_COLUMN_NOT_FOUND, AdsGetFieldType(t, ADSFIELD(4), &n16));
  EXPECT_EQ(AE_COLUMN_NOT_FOUND, AdsGetFieldType(t, U("Vorname"), &n16));
  EXPECT_NE(std::string::npos, LastErrorText().find("column \"Vorname\""));
  EXPECT_EQ(AE_NULL_POINTER, AdsGetFieldType(t, nullptr, &n16));
  EXPECT_EQ(AE_NULL_POINTER, AdsGetNumFields(t, nullptr));

  UNSIGNED8 buf[300];
  std::memset(buf, '#', sizeof buf);
  UNSIGNED16 len = 3;
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsGetFieldName(t, 1, buf, &len));
  EXPECT_EQ(4, len);
  EXPECT_EQ('#', buf[0]);
  len = 5;
  ASSERT_ACE(AdsGetFieldName(t, 1, buf, &len));
  EXPECT_STREQ("Name", reinterpret_cast<char*>(buf));
  len = sizeof buf;
  ASSERT_ACE(AdsGetTableFilename(t, ADS_BASENAME, buf, &len));
  EXPECT_STREQ("Kinder", reinterpret_cast<char*>(buf));
  len = sizeof buf;
  ASSERT_ACE(AdsGetTableFilename(t, ADS_BASENAMEANDEXT, buf, &len));
  EXPECT_STREQ("Kinder.adt", reinterpret_cast<char*>(buf));
  len = sizeof buf;
  ASSERT_ACE(AdsGetTableFilename(t, ADS_FULLPATHNAME, buf, &len));
  EXPECT_EQ(std::filesystem::canonical(Path("Kinder.adt")).string(),
            std::filesystem::canonical(reinterpret_cast<char*>(buf)).string());
  len = sizeof buf;
  ASSERT_ACE(AdsGetTableCollation(t, buf, &len));
  EXPECT_STREQ("GERMAN_VFP_CI_AS_1252", reinterpret_cast<char*>(buf));
  ASSERT_ACE(AdsGetTableCharType(t, &n16));
  EXPECT_EQ(ADS_ANSI, n16);
  ASSERT_ACE(AdsGetTableType(t, &n16));
  EXPECT_EQ(ADS_ADT, n16);
  ASSERT_ACE(AdsGetTableMemoSize(t, &n16));
  EXPECT_GT(n16, 0);
  UNSIGNED8 live = 9;
  ASSERT_ACE(AdsSqlPeekStatement(t, &live));
  EXPECT_EQ(0, live);
  UNSIGNED8 perms = 0;
  ASSERT_ACE(AdsGetColumnPermissions(t, 1, &perms));
  EXPECT_EQ(7, perms);
  ASSERT_ACE(AdsIsNullable(t, U("Name"), &n16));
  EXPECT_EQ(1, n16);
  EXPECT_ACE(AdsCacheRecords(t, 100));
  EXPECT_ACE(AdsCacheOpenTables(0));
  EXPECT_ACE(AdsCloseCachedTables(conn_));
}

TEST_F(TableApiTest, RecordImagesAndTextsHonourBufferLengths) {
  ADSHANDLE t = Create("r", ADS_CDX, "NAME,Char,10;");
  AppendText(t, "NAME", "Anna");
  UNSIGNED32 reclen = 0;
  ASSERT_ACE(AdsGetRecordLength(t, &reclen));
  ASSERT_EQ(11u, reclen);  // deletion byte and the field
  UNSIGNED8 rec[32];
  std::memset(rec, '#', sizeof rec);
  UNSIGNED32 len = 5;
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsGetRecord(t, rec, &len));
  EXPECT_EQ(reclen, len);
  EXPECT_EQ('#', rec[0]);
  len = sizeof rec;
  ASSERT_ACE(AdsGetRecord(t, rec, &len));
  EXPECT_EQ(0, std::memcmp(rec, " Anna      ", 11));
  EXPECT_EQ('#', rec[11]);  // nothing past the record
  ASSERT_ACE(AdsClearRecordBuffer(t, rec, sizeof rec));
  EXPECT_EQ(0, std::memcmp(rec, "           ", 11));
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsClearRecordBuffer(t, rec, 4));

  UNSIGNED8 text[8];
  std::memset(text, '#', sizeof text);
  len = 4;
  EXPECT_EQ(AE_INSUFFICIENT_BUFFER, AdsGetField(t, U("NAME"), text, &len, ADS_NONE));
  EXPECT_EQ(10u, len);
  EXPECT_EQ('#', text[0]);
  len = 5;
  ASSERT_ACE(AdsGetField(t, U("NAME"), text, &len, ADS_RTRIM));
  EXPECT_STREQ("Anna", reinterpret_cast<char*>(text));
  EXPECT_EQ(AE_NULL_POINTER, AdsGetField(t, U("NAME"), text, nullptr, ADS_NONE));
  UNSIGNED32 crc1 = 0;
  UNSIGNED32 crc2 = 0;
  ASSERT_ACE(AdsGetRecordCRC(t, &crc1, 0));
  ASSERT_ACE(AdsSetField(t, U("NAME"), U("Berta"), 5));
  ASSERT_ACE(AdsGetRecordCRC(t, &crc2, 0));
  EXPECT_EQ(crc1, crc2);  // as stored
  ASSERT_ACE(AdsGetRecordCRC(t, &crc2, 1));
  EXPECT_NE(crc1, crc2);  // with the pending change
  // A value longer than the field is cut to it.
  ASSERT_ACE(AdsSetField(t, U("NAME"), U("Maximilianus"), 12));
  EXPECT_EQ("Maximilian", Text(t, "NAME"));
}

TEST_F(TableApiTest, AutoincrementAndLastValue) {
  ADSHANDLE t = Create("auto", ADS_ADT, "Id,AutoInc;Name,Char,10;");
  UNSIGNED32 last = 99;
  ASSERT_ACE(AdsGetLastAutoinc(t, &last));
  EXPECT_EQ(0u, last);
  AppendText(t, "Name", "a");
  AppendText(t, "Name", "b");
  ASSERT_ACE(AdsGetLastAutoinc(t, &last));
  EXPECT_EQ(2u, last);
  SIGNED32 id = 0;
  ASSERT_ACE(AdsGetLong(t, U("Id"), &id));
  EXPECT_EQ(2, id);
}

TEST_F(TableApiTest, ZapPackCopyConvertAndDelete) {
  ADSHANDLE t = 0;
  ASSERT_ACE(AdsCreateTable90(conn_, U("quelle"), nullptr, ADS_ADT, ADS_ANSI,
                              ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0,
                              U("Name,Char,10;Nr,Integer;Text,Memo;"), ADS_EXCLUSIVE, nullptr, &t));
  for (int i = 1; i <= 5; ++i) {
    ASSERT_ACE(AdsAppendRecord(t));
    std::string name = "n" + std::to_string(i);
    ASSERT_ACE(AdsSetField(t, U("Name"), U(name), static_cast<UNSIGNED32>(name.size())));
    ASSERT_ACE(AdsSetLong(t, U("Nr"), i));
    std::string memo = "Memo " + std::to_string(i);
    ASSERT_ACE(AdsSetField(t, U("Text"), U(memo), static_cast<UNSIGNED32>(memo.size())));
  }
  ASSERT_ACE(AdsGotoRecord(t, 2));
  ASSERT_ACE(AdsDeleteRecord(t));
  ASSERT_ACE(AdsCopyTable(t, ADS_RESPECTFILTERS, U("kopie")));
  ASSERT_ACE(AdsConvertTable(t, ADS_RESPECTFILTERS, U("alt"), ADS_CDX));
  ASSERT_ACE(AdsCopyTableStructure(t, U("leer")));
  EXPECT_EQ(AE_FILE_EXISTS, AdsCopyTable(t, ADS_RESPECTFILTERS, U("kopie")));

  ASSERT_ACE(AdsPackTable(t));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(4u, count);
  ASSERT_ACE(AdsGotoRecord(t, 2));
  EXPECT_EQ("n3", Text(t, "Name"));
  EXPECT_EQ("Memo 3", Text(t, "Text"));
  EXPECT_ACE(AdsLockRecord(t, 1));  // the locks work on the replaced file

  for (const auto& [name, type] :
       {std::pair<std::string, UNSIGNED16>{"kopie", ADS_ADT}, {"alt", ADS_CDX}}) {
    ADSHANDLE c = 0;
    ASSERT_ACE(Open(name, type, &c));
    ASSERT_ACE(AdsGetRecordCount(c, ADS_IGNOREFILTERS, &count));
    EXPECT_EQ(4u, count) << name;
    ASSERT_ACE(AdsGotoBottom(c));
    EXPECT_EQ("n5", Text(c, type == ADS_CDX ? "NAME" : "Name")) << name;
    EXPECT_EQ("Memo 5", Text(c, type == ADS_CDX ? "TEXT" : "Text")) << name;
    SIGNED32 nr = 0;
    ASSERT_ACE(AdsGetLong(c, U("Nr"), &nr));
    EXPECT_EQ(5, nr) << name;
    ASSERT_ACE(AdsCloseTable(c));
  }
  // Copied through an index handle with the filters respected, the records come in the index's
  // order; a closed index handle is refused.
  ADSHANDLE down = 0;
  ASSERT_ACE(
      AdsCreateIndex61(t, nullptr, U("NRAB"), U("Nr"), nullptr, nullptr, ADS_DESCENDING, 0, &down));
  ASSERT_ACE(AdsCopyTable(down, ADS_RESPECTFILTERS, U("absteigend")));
  {
    ADSHANDLE c = 0;
    ASSERT_ACE(Open("absteigend", ADS_ADT, &c));
    ASSERT_ACE(AdsGotoTop(c));
    SIGNED32 nr = 0;
    ASSERT_ACE(AdsGetLong(c, U("Nr"), &nr));
    EXPECT_EQ(5, nr);
    ASSERT_ACE(AdsGotoBottom(c));
    ASSERT_ACE(AdsGetLong(c, U("Nr"), &nr));
    EXPECT_EQ(1, nr);
    ASSERT_ACE(AdsCloseTable(c));
  }
  ASSERT_ACE(AdsCloseIndex(down));
  EXPECT_EQ(AE_INVALID_HANDLE, AdsCopyTable(down, ADS_RESPECTFILTERS, U("nochmal")));
  ADSHANDLE empty = 0;
  ASSERT_ACE(Open("leer", ADS_ADT, &empty));
  ASSERT_ACE(AdsCopyTableContents(t, empty, ADS_IGNOREFILTERS));
  ASSERT_ACE(AdsGetRecordCount(empty, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(4u, count);
  ASSERT_ACE(AdsCloseTable(empty));

  ASSERT_ACE(AdsZapTable(t));
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(0u, count);
  UNSIGNED16 eof = 0;
  ASSERT_ACE(AdsAtEOF(t, &eof));
  EXPECT_EQ(1, eof);

  // Deleting needs the table to itself.
  ADSHANDLE k = 0;
  ASSERT_ACE(Open("kopie", ADS_ADT, &k));
  ADSHANDLE other = 0;
  ASSERT_ACE(AdsConnect(U(dir_), &other));
  ADSHANDLE k2 = 0;
  ASSERT_ACE(Open("kopie", ADS_ADT, &k2, 0, other));
  EXPECT_EQ(AE_TABLE_IN_USE, AdsDeleteTable(k));
  EXPECT_TRUE(std::filesystem::exists(Path("kopie.adt")));
  ASSERT_ACE(AdsDisconnect(other));
  ASSERT_ACE(Open("kopie", ADS_ADT, &k));
  ASSERT_ACE(AdsDeleteTable(k));
  EXPECT_FALSE(std::filesystem::exists(Path("kopie.adt")));
  EXPECT_FALSE(std::filesystem::exists(Path("kopie.adm")));
  EXPECT_EQ(AE_INVALID_HANDLE, AdsGotoTop(k));
}

TEST_F(TableApiTest, CorruptAndTruncatedFilesAreRefused) {
  std::ofstream(Path("kaputt.adt"), std::ios::binary) << "this is not a table at all";
  ADSHANDLE t = 0;
  EXPECT_EQ(AE_CORRUPT_FILE, Open("kaputt", ADS_ADT, &t));
  EXPECT_EQ(0u, t);
  std::ofstream(Path("kaputt.dbf"), std::ios::binary) << std::string(10, '\x03');
  EXPECT_EQ(AE_CORRUPT_FILE, Open("kaputt", ADS_CDX, &t));

  // A table whose records were cut off: the header promises more than the file holds.
  ADSHANDLE good = Create("kurz", ADS_CDX, "NAME,Char,50;");
  for (int i = 0; i < 20; ++i) AppendText(good, "NAME", "Zeile " + std::to_string(i));
  ASSERT_ACE(AdsCloseTable(good));
  std::filesystem::resize_file(Path("kurz.dbf"),
                               std::filesystem::file_size(Path("kurz.dbf")) - 300);
  UNSIGNED32 rc = Open("kurz", ADS_CDX, &t);
  if (rc == 0) {
    // Opened: the records that are gone are either refused or not counted, never invented.
    UNSIGNED32 bottom = AdsGotoBottom(t);
    if (bottom == 0) {
      UNSIGNED32 count = 0;
      ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
      EXPECT_LE(count, 14u);
      EXPECT_EQ("Zeile " + std::to_string(count - 1), Text(t, "NAME"));
    } else {
      EXPECT_EQ(AE_CORRUPT_FILE, bottom);
    }
    EXPECT_ACE(AdsCloseTable(t));
  } else {
    EXPECT_EQ(AE_CORRUPT_FILE, rc);
  }
}

}  // namespace
}  // namespace ace_api_test

namespace ace_api_test {
namespace {

// A write that the disk refuses keeps the change pending; it is written once the disk takes it.
TEST_F(TableApiTest, FailedWriteKeepsTheChangePending) {
  ADSHANDLE t = Create("voll", ADS_ADT, "Nr,Integer;");
  AppendText(t, "Nr", "1");
  ASSERT_ACE(AdsSetLong(t, U("Nr"), 2));
  ace::FaultInjector::FailAt(ace::IoKind::kWrite, 1, AE_DISK_FULL);
  EXPECT_EQ(AE_DISK_FULL, AdsWriteRecord(t));
  ace::FaultInjector::Reset();
  SIGNED32 nr = 0;
  ASSERT_ACE(AdsGetLong(t, U("Nr"), &nr));
  EXPECT_EQ(2, nr);
  ASSERT_ACE(AdsWriteRecord(t));
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("voll", ADS_ADT, &t));
  ASSERT_ACE(AdsGetLong(t, U("Nr"), &nr));
  EXPECT_EQ(2, nr);
}

}  // namespace
}  // namespace ace_api_test
