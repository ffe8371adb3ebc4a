// Table encryption through the C API: what the files hold, the password check, whole tables
// and single records in both directions, memos and indexes, writing with and without the key,
// pack, transactions and the formats that cannot be encrypted.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

const char kSecretName[] = "Geheimname-Quokka";
const char kSecretMemo[] = "Vertrauliche Notiz ueber das Kind, Kennwort Platypus-4711";
const char kPassword[] = "richtig-Pferd-Batterie";

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Contains(const std::string& path, const std::string& needle) {
  return FileBytes(path).find(needle) != std::string::npos;
}

class EncryptionTest : public ApiTest {
 protected:
  // Kinder with 30 records: record i has the name "Kind i" (record 7 the secret name), a memo
  // on every third record (record 9 the secret memo), and an index on the name.
  void MakeTable(const char* name = "Kinder") {
    ADSHANDLE t = Create(name, ADS_ADT, "Name,Char,40;Nummer,Integer;Notiz,Memo;");
    ASSERT_NE(0u, t);
    for (int i = 1; i <= 30; ++i) {
      std::string n = i == 7 ? kSecretName : "Kind " + std::to_string(i);
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetString(t, U("Name"), U(n), static_cast<UNSIGNED32>(n.size())));
      ASSERT_ACE(AdsSetLong(t, U("Nummer"), i * 11));
      if (i % 3 == 0) {
        std::string memo = i == 9 ? kSecretMemo : "Notiz " + std::to_string(i) + std::string(90, '.');
        ASSERT_ACE(AdsSetString(t, U("Notiz"), U(memo), static_cast<UNSIGNED32>(memo.size())));
      }
      ASSERT_ACE(AdsWriteRecord(t));
    }
    ADSHANDLE index = 0;
    ASSERT_ACE(AdsCreateIndex90(t, nullptr, U("NAME"), U("Name"), nullptr, nullptr, 0, 0,
                                nullptr, &index));
    ASSERT_ACE(AdsCloseTable(t));
  }

  ADSHANDLE OpenExclusive(const char* name = "Kinder") {
    ADSHANDLE t = 0;
    EXPECT_ACE(Open(name, ADS_ADT, &t, ADS_EXCLUSIVE));
    return t;
  }

  void EncryptWhole(const char* name = "Kinder") {
    ADSHANDLE t = OpenExclusive(name);
    ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
    ASSERT_ACE(AdsEncryptTable(t));
    ASSERT_ACE(AdsCloseTable(t));
  }

  // Every record's name and number and every memo, in record order, read with the password.
  std::string Dump(ADSHANDLE t) {
    std::ostringstream out;
    UNSIGNED32 count = 0;
    EXPECT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
    for (UNSIGNED32 r = 1; r <= count; ++r) {
      EXPECT_ACE(AdsGotoRecord(t, r));
      out << r << ':' << Text(t, "Name") << '|' << Text(t, "Nummer") << '|' << Text(t, "Notiz")
          << '\n';
    }
    return out.str();
  }

  UNSIGNED16 Flag(UNSIGNED32 (*fn)(ADSHANDLE, UNSIGNED16*), ADSHANDLE t) {
    UNSIGNED16 flag = 99;
    EXPECT_ACE(fn(t, &flag));
    return flag;
  }
};

TEST_F(EncryptionTest, EncryptedFilesHoldNoPlainFieldDataAndReadBackWithThePassword) {
  MakeTable();
  ADSHANDLE t = OpenExclusive();
  const std::string plain = Dump(t);
  ASSERT_TRUE(Contains(Path("Kinder.adt"), kSecretName));
  ASSERT_TRUE(Contains(Path("Kinder.adm"), kSecretMemo));
  ASSERT_TRUE(Contains(Path("Kinder.adi"), kSecretName));
  EXPECT_EQ(0, Flag(AdsIsTableEncrypted, t));
  EXPECT_EQ(0, Flag(AdsIsEncryptionEnabled, t));
  ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
  EXPECT_EQ(1, Flag(AdsIsEncryptionEnabled, t));
  ASSERT_ACE(AdsEncryptTable(t));
  EXPECT_EQ(1, Flag(AdsIsTableEncrypted, t));
  EXPECT_EQ(plain, Dump(t));  // the handle reads on as before
  ASSERT_ACE(AdsCloseTable(t));

  EXPECT_FALSE(Contains(Path("Kinder.adt"), kSecretName));
  EXPECT_FALSE(Contains(Path("Kinder.adt"), "Kind 1"));
  EXPECT_FALSE(Contains(Path("Kinder.adm"), kSecretMemo));
  EXPECT_FALSE(Contains(Path("Kinder.adm"), "Platypus"));
  // The index's keys are field values: the index of an encrypted table is encrypted too.
  EXPECT_FALSE(Contains(Path("Kinder.adi"), "GEHEIMNAME")) << "upper-case key";
  EXPECT_FALSE(Contains(Path("Kinder.adi"), kSecretName));

  ADSHANDLE again = 0;
  ASSERT_ACE(Open("Kinder", ADS_ADT, &again));
  EXPECT_EQ(1, Flag(AdsIsTableEncrypted, again));
  EXPECT_EQ(0, Flag(AdsIsEncryptionEnabled, again));
  ASSERT_ACE(AdsEnableEncryption(again, U(kPassword)));
  EXPECT_EQ(plain, Dump(again));
  // The index orders the deciphered names.
  ADSHANDLE index = 0;
  ASSERT_ACE(AdsGetIndexHandle(again, U("NAME"), &index));
  UNSIGNED16 found = 0;
  ASSERT_ACE(AdsSeek(index, U(kSecretName), sizeof kSecretName - 1, ADS_STRINGKEY, ADS_HARDSEEK,
                     &found));
  EXPECT_EQ(1, found);
  UNSIGNED32 recno = 0;
  ASSERT_ACE(AdsGetRecordNum(again, ADS_IGNOREFILTERS, &recno));
  EXPECT_EQ(7u, recno);
  ASSERT_ACE(AdsCloseTable(again));
}

TEST_F(EncryptionTest, AnIndexOfManyPagesIsEncipheredPageByPage) {
  // Enough keys for a tree of many pages, written out in runs of consecutive pages: each page
  // of a run is enciphered with its own number, and every one reads back.
  ADSHANDLE t = Create("Viele", ADS_ADT, "Name,Char,40;");
  ASSERT_NE(0u, t);
  constexpr int kCount = 1500;
  auto name = [](int i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "Kind %05d", i);
    return std::string(buf);
  };
  for (int i = 1; i <= kCount; ++i) {
    ASSERT_ACE(AdsAppendRecord(t));
    ASSERT_ACE(AdsSetString(t, U("Name"), U(name(i)), static_cast<UNSIGNED32>(name(i).size())));
  }
  ADSHANDLE index = 0;
  ASSERT_ACE(AdsCreateIndex90(t, nullptr, U("NAME"), U("Name"), nullptr, nullptr, 0, 512,
                              nullptr, &index));
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_GT(std::filesystem::file_size(Path("Viele.adi")), 40u * 512);
  EncryptWhole("Viele");
  const std::string bytes = FileBytes(Path("Viele.adi"));
  for (int i = 1; i <= kCount; i += 7) ASSERT_EQ(std::string::npos, bytes.find(name(i))) << i;

  ADSHANDLE again = 0;
  ASSERT_ACE(Open("Viele", ADS_ADT, &again));
  ASSERT_ACE(AdsEnableEncryption(again, U(kPassword)));
  ASSERT_ACE(AdsGetIndexHandle(again, U("NAME"), &index));
  for (int i = 1; i <= kCount; i += 97) {
    UNSIGNED16 found = 0;
    ASSERT_ACE(AdsSeek(index, U(name(i)), static_cast<UNSIGNED16>(name(i).size()), ADS_STRINGKEY,
                       ADS_HARDSEEK, &found));
    EXPECT_EQ(1, found) << name(i);
    UNSIGNED32 recno = 0;
    ASSERT_ACE(AdsGetRecordNum(again, ADS_IGNOREFILTERS, &recno));
    EXPECT_EQ(static_cast<UNSIGNED32>(i), recno);
  }
  UNSIGNED32 keys = 0;
  ASSERT_ACE(AdsGetKeyCount(index, ADS_IGNOREFILTERS, &keys));
  EXPECT_EQ(static_cast<UNSIGNED32>(kCount), keys);
  ASSERT_ACE(AdsCloseTable(again));
}

TEST_F(EncryptionTest, WithoutThePasswordRecordsAreRefusedAndAWrongPasswordIsNeverUsed) {
  MakeTable();
  EncryptWhole();
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));  // opens without the password
  EXPECT_EQ(5080u, AdsGotoTop(t));
  EXPECT_EQ(5080u, AdsGotoRecord(t, 3));
  EXPECT_NE(std::string::npos, LastErrorText().find("encrypted")) << LastErrorText();
  EXPECT_EQ(5080u, AdsAppendRecord(t) == 0 ? AdsWriteRecord(t) : 5080u);
  (void)AdsCancelUpdate(t);

  EXPECT_EQ(5080u, AdsEnableEncryption(t, U("falsch")));
  EXPECT_NE(std::string::npos, LastErrorText().find("password")) << LastErrorText();
  EXPECT_EQ(0, Flag(AdsIsEncryptionEnabled, t));
  EXPECT_EQ(5080u, AdsGotoTop(t));
  EXPECT_EQ(5080u, AdsEnableEncryption(t, U("")));

  ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
  EXPECT_EQ("Kind 1", Text(t, "Name"));  // enabling put the handle on the first record
  ASSERT_ACE(AdsGotoRecord(t, 7));
  EXPECT_EQ(kSecretName, Text(t, "Name"));
  ASSERT_ACE(AdsDisableEncryption(t));
  EXPECT_EQ(5080u, AdsGotoRecord(t, 9));
  ASSERT_ACE(AdsCloseTable(t));
  UNSIGNED32 count = 0;
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(30u, count);  // nothing was appended without the key
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(EncryptionTest, DecryptTableRestoresThePlainFilesAndTheTableLosesItsPassword) {
  MakeTable();
  ADSHANDLE t = OpenExclusive();
  const std::string plain = Dump(t);
  ASSERT_ACE(AdsCloseTable(t));
  EncryptWhole();
  t = OpenExclusive();
  EXPECT_EQ(5080u, AdsDecryptTable(t));  // needs the password
  ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
  ASSERT_ACE(AdsDecryptTable(t));
  EXPECT_EQ(0, Flag(AdsIsTableEncrypted, t));
  ASSERT_ACE(AdsCloseTable(t));
  EXPECT_TRUE(Contains(Path("Kinder.adt"), kSecretName));
  EXPECT_TRUE(Contains(Path("Kinder.adm"), kSecretMemo));
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  EXPECT_EQ(0, Flag(AdsIsTableEncrypted, t));
  EXPECT_EQ(plain, Dump(t));
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(EncryptionTest, WholeTableChangesNeedAnExclusiveOpen) {
  MakeTable();
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
  EXPECT_EQ(5031u, AdsEncryptTable(t));
  // The first encrypted record gives the table its password: that too needs exclusive use.
  ASSERT_ACE(AdsGotoRecord(t, 2));
  EXPECT_EQ(5031u, AdsEncryptRecord(t));
  EXPECT_EQ(0, Flag(AdsIsTableEncrypted, t));
  ASSERT_ACE(AdsCloseTable(t));
  EXPECT_TRUE(Contains(Path("Kinder.adt"), "Kind 2"));
}

TEST_F(EncryptionTest, ARecordEncryptedAloneIsTheOnlyOneRefusedWithoutThePassword) {
  MakeTable();
  ADSHANDLE t = OpenExclusive();
  ASSERT_ACE(AdsGotoRecord(t, 9));
  EXPECT_EQ(5080u, AdsEncryptRecord(t));  // no password given yet
  ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
  ASSERT_ACE(AdsGotoRecord(t, 9));
  ASSERT_ACE(AdsEncryptRecord(t));
  EXPECT_EQ(1, Flag(AdsIsRecordEncrypted, t));
  EXPECT_EQ(1, Flag(AdsIsTableEncrypted, t));
  EXPECT_EQ(kSecretMemo, Text(t, "Notiz"));
  ASSERT_ACE(AdsGotoRecord(t, 8));
  EXPECT_EQ(0, Flag(AdsIsRecordEncrypted, t));
  ASSERT_ACE(AdsCloseTable(t));
  EXPECT_FALSE(Contains(Path("Kinder.adm"), kSecretMemo));
  EXPECT_FALSE(Contains(Path("Kinder.adt"), "Kind 9"));
  EXPECT_TRUE(Contains(Path("Kinder.adt"), "Kind 8"));

  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  ASSERT_ACE(AdsGotoRecord(t, 8));
  EXPECT_EQ("Kind 8", Text(t, "Name"));
  EXPECT_EQ(5080u, AdsGotoRecord(t, 9));
  ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
  ASSERT_ACE(AdsGotoRecord(t, 9));
  EXPECT_EQ("Kind 9", Text(t, "Name"));
  ASSERT_ACE(AdsDecryptRecord(t));
  EXPECT_EQ(0, Flag(AdsIsRecordEncrypted, t));
  ASSERT_ACE(AdsCloseTable(t));
  EXPECT_TRUE(Contains(Path("Kinder.adm"), kSecretMemo));
  EXPECT_TRUE(Contains(Path("Kinder.adt"), "Kind 9"));
}

TEST_F(EncryptionTest, RecordsWrittenWithTheKeyAreEncryptedAndPackKeepsThemReadable) {
  MakeTable();
  EncryptWhole();
  ADSHANDLE t = OpenExclusive();
  ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
  // A new record with a memo, a changed record and two deletions, then a pack that renumbers.
  ASSERT_ACE(AdsAppendRecord(t));
  ASSERT_ACE(AdsSetString(t, U("Name"), U("Neuer-Wombat"), 12));
  ASSERT_ACE(AdsSetString(t, U("Notiz"), U("Memo-Echidna"), 12));
  ASSERT_ACE(AdsWriteRecord(t));
  EXPECT_EQ(1, Flag(AdsIsRecordEncrypted, t));
  ASSERT_ACE(AdsGotoRecord(t, 12));
  ASSERT_ACE(AdsSetString(t, U("Notiz"), U("Geaendert-Koala"), 15));
  ASSERT_ACE(AdsWriteRecord(t));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  ASSERT_ACE(AdsDeleteRecord(t));
  ASSERT_ACE(AdsGotoRecord(t, 2));
  ASSERT_ACE(AdsDeleteRecord(t));
  ASSERT_ACE(AdsPackTable(t));
  UNSIGNED32 count = 0;
  ASSERT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count));
  EXPECT_EQ(29u, count);
  ASSERT_ACE(AdsGotoRecord(t, 5));  // was record 7
  EXPECT_EQ(kSecretName, Text(t, "Name"));
  ASSERT_ACE(AdsGotoRecord(t, 10));  // was record 12
  EXPECT_EQ("Geaendert-Koala", Text(t, "Notiz"));
  ASSERT_ACE(AdsGotoRecord(t, 29));
  EXPECT_EQ("Memo-Echidna", Text(t, "Notiz"));
  ASSERT_ACE(AdsCloseTable(t));
  for (const char* word : {"Wombat", "Echidna", "Koala", "Quokka", "Platypus"}) {
    EXPECT_FALSE(Contains(Path("Kinder.adt"), word)) << word;
    EXPECT_FALSE(Contains(Path("Kinder.adm"), word)) << word;
  }
}

TEST_F(EncryptionTest, ShortRecordsAndLongMemosRoundTrip) {
  ADSHANDLE t = Create("kurz", ADS_ADT, "K,Char,3;B,Blob;");
  const std::string big(200000, 'Z');
  for (int i = 0; i < 3; ++i) {
    ASSERT_ACE(AdsAppendRecord(t));
    ASSERT_ACE(AdsSetString(t, U("K"), U("abc"), 3));
    ASSERT_ACE(AdsSetBinary(t, U("B"), ADS_BINARY, static_cast<UNSIGNED32>(big.size()), 0,
                            U(big), static_cast<UNSIGNED32>(big.size())));
    ASSERT_ACE(AdsWriteRecord(t));
  }
  ASSERT_ACE(AdsCloseTable(t));
  EncryptWhole("kurz");
  EXPECT_FALSE(Contains(Path("kurz.adt"), "abc"));
  EXPECT_FALSE(Contains(Path("kurz.adm"), std::string(64, 'Z')));
  ASSERT_ACE(Open("kurz", ADS_ADT, &t));
  ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
  ASSERT_ACE(AdsGotoRecord(t, 2));
  EXPECT_EQ("abc", Text(t, "K"));
  std::string back(big.size(), '\0');
  UNSIGNED32 len = static_cast<UNSIGNED32>(back.size());
  ASSERT_ACE(AdsGetBinary(t, U("B"), 0, reinterpret_cast<UNSIGNED8*>(back.data()), &len));
  EXPECT_EQ(big.size(), len);
  EXPECT_EQ(big, back);
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(EncryptionTest, EncryptedTablesStayOutOfTransactions) {
  MakeTable();
  EncryptWhole();
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  ASSERT_ACE(AdsEnableEncryption(t, U(kPassword)));
  ASSERT_ACE(AdsBeginTransaction(conn_));
  ASSERT_ACE(AdsGotoRecord(t, 4));
  ASSERT_ACE(AdsSetString(t, U("Name"), U("x"), 1));
  EXPECT_EQ(5080u, AdsWriteRecord(t));
  EXPECT_NE(std::string::npos, LastErrorText().find("transaction")) << LastErrorText();
  ASSERT_ACE(AdsCancelUpdate(t));
  ASSERT_ACE(AdsRollbackTransaction(conn_));
  ASSERT_ACE(AdsGotoRecord(t, 4));
  EXPECT_EQ("Kind 4", Text(t, "Name"));
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(EncryptionTest, SqlReadsEncryptedTablesWithTheStatementsPasswordAndAlterRefusesThem) {
  MakeTable();
  EncryptWhole();
  ADSHANDLE stmt = 0;
  ASSERT_ACE(AdsCreateSQLStatement(conn_, &stmt));
  ADSHANDLE cursor = 0;
  const char* query = "SELECT Name FROM Kinder WHERE Nummer = 77";
  EXPECT_EQ(5080u, AdsExecuteSQLDirect(stmt, U(query), &cursor));
  ASSERT_ACE(AdsStmtSetTablePassword(stmt, U("kinder"), U("falsch")));
  EXPECT_EQ(5080u, AdsExecuteSQLDirect(stmt, U(query), &cursor));
  ASSERT_ACE(AdsStmtSetTablePassword(stmt, U("kinder"), U(kPassword)));
  ASSERT_ACE(AdsExecuteSQLDirect(stmt, U(query), &cursor));
  ASSERT_NE(0u, cursor);
  EXPECT_EQ(kSecretName, Text(cursor, "Name"));
  ASSERT_ACE(AdsCloseTable(cursor));
  ASSERT_ACE(AdsCloseSQLStatement(stmt));

  ASSERT_ACE(AdsCreateSQLStatement(conn_, &stmt));
  EXPECT_EQ(5080u, AdsExecuteSQLDirect(stmt, U("ALTER TABLE Kinder ADD COLUMN x integer"), &cursor));
  EXPECT_NE(std::string::npos, LastErrorText().find("decrypted")) << LastErrorText();
  ASSERT_ACE(AdsCloseSQLStatement(stmt));
  ADSHANDLE t = 0;
  ASSERT_ACE(Open("Kinder", ADS_ADT, &t));
  UNSIGNED16 fields = 0;
  ASSERT_ACE(AdsGetNumFields(t, &fields));
  EXPECT_EQ(3, fields);
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(EncryptionTest, DbfTablesAnswerNotSupported) {
  ADSHANDLE t = Create("frei", ADS_CDX, "NAME,Char,10;");
  AppendText(t, "NAME", "Anna");
  EXPECT_EQ(5007u, AdsEnableEncryption(t, U(kPassword)));
  EXPECT_NE(std::string::npos, LastErrorText().find("ADT")) << LastErrorText();
  EXPECT_EQ(5007u, AdsEncryptTable(t));
  EXPECT_EQ(0, Flag(AdsIsTableEncrypted, t));
  EXPECT_EQ(0, Flag(AdsIsRecordEncrypted, t));
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_F(EncryptionTest, StaleAndWrongHandlesAreRefused) {
  UNSIGNED16 flag = 0;
  EXPECT_EQ(5001u, AdsIsTableEncrypted(0x7FFFFFF0u, &flag));
  EXPECT_EQ(5002u, AdsEncryptTable(conn_));
  MakeTable();
  ADSHANDLE t = OpenExclusive();
  EXPECT_EQ(5004u, AdsIsTableEncrypted(t, nullptr));
  EXPECT_EQ(5004u, AdsEnableEncryption(t, nullptr));
  ASSERT_ACE(AdsCloseTable(t));
  EXPECT_EQ(5001u, AdsEnableEncryption(t, U(kPassword)));
}

}  // namespace
}  // namespace ace_api_test
