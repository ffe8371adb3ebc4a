// Data dictionaries through the C API and SQL: creating one and its users, logins right and
// wrong, tables opened by name (5132 for others), rights reaching the open options, properties,
// object searches, renames and links; password hashes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/dict/dictionary.h"
#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

class DictTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    ADSHANDLE t = Create("kinder", ADS_ADT, "Name,Char,20;Alter,Integer;");
    AppendText(t, "Name", "Mia");
    ADSHANDLE ix = 0;
    ASSERT_ACE(AdsCreateIndex61(t, nullptr, U("NAME"), U("Name"), nullptr, nullptr, 0, 0, &ix));
    ASSERT_ACE(AdsCloseTable(t));
    t = Create("eltern", ADS_CDX, "NAME,Char,20;");
    ASSERT_ACE(AdsCloseTable(t));
    Sql("CREATE DATABASE 'app.add' PASSWORD 'geheim'");
    ASSERT_ACE(
        AdsConnect60(U(Path("app.add")), ADS_LOCAL_SERVER, U("Adssys"), U("geheim"), 0, &admin_));
    Sql("EXECUTE PROCEDURE sp_AddTableToDatabase('Kinder', 'kinder.adt', 'ADT', 1, '', '')",
        admin_);
    Sql("EXECUTE PROCEDURE sp_AddTableToDatabase('Eltern', 'eltern.dbf', 2, 1, '', '')", admin_);
    Sql("CREATE GROUP Lehrer", admin_);
    Sql("CREATE USER anna PASSWORD 'a1' IN GROUP Lehrer", admin_);
    Sql("CREATE USER bert PASSWORD 'b2'", admin_);
    Sql("GRANT SELECT ON Kinder TO bert", admin_);
    Sql("GRANT ALL ON Kinder TO Lehrer", admin_);
  }
  void TearDown() override {
    if (admin_ != 0) AdsDisconnect(admin_);
    ApiTest::TearDown();
  }

  void Sql(const std::string& text, ADSHANDLE conn = 0) {
    ADSHANDLE stmt = 0;
    ASSERT_ACE(AdsCreateSQLStatement(conn ? conn : conn_, &stmt));
    ADSHANDLE cursor = 0;
    EXPECT_EQ(0u, AdsExecuteSQLDirect(stmt, U(text), &cursor)) << text << ": " << LastErrorText();
    AdsCloseSQLStatement(stmt);
  }
  UNSIGNED32 SqlCode(const std::string& text, ADSHANDLE conn) {
    ADSHANDLE stmt = 0, cursor = 0;
    EXPECT_ACE(AdsCreateSQLStatement(conn, &stmt));
    UNSIGNED32 rc = AdsExecuteSQLDirect(stmt, U(text), &cursor);
    AdsCloseSQLStatement(stmt);
    return rc;
  }
  UNSIGNED32 Login(const char* user, const char* password, ADSHANDLE* out) {
    return AdsConnect60(U(Path("app.add")), ADS_LOCAL_SERVER, U(user), U(password), 0, out);
  }
  UNSIGNED32 OpenByName(ADSHANDLE conn, const char* name, ADSHANDLE* table, UNSIGNED16 type = 0) {
    return AdsOpenTable90(conn, U(name), nullptr, type, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                          ADS_CHECK_RIGHTS, 0, nullptr, table);
  }
  std::vector<std::string> Objects(ADSHANDLE conn, UNSIGNED16 type, const char* parent = "") {
    std::vector<std::string> out;
    UNSIGNED8 buf[201];
    UNSIGNED16 len = 200;
    ADSHANDLE find = 0;
    UNSIGNED32 rc = AdsDDFindFirstObject(conn, type, U(parent), buf, &len, &find);
    while (rc == 0) {
      out.emplace_back(reinterpret_cast<char*>(buf), len);
      len = 200;
      rc = AdsDDFindNextObject(conn, find, buf, &len);
    }
    EXPECT_EQ(static_cast<UNSIGNED32>(AE_NO_MORE_DICT_OBJECTS), rc);
    if (find != 0) {
      EXPECT_ACE(AdsDDFindClose(conn, find));
    }
    return out;
  }

  ADSHANDLE admin_ = 0;
};

// ---- Logins -----------------------------------------------------------------------------------

TEST_F(DictTest, LoginsRightAndWrong) {
  ADSHANDLE c = 0;
  ASSERT_ACE(Login("anna", "a1", &c));
  UNSIGNED8 path[261];
  UNSIGNED16 len = 260;
  ASSERT_ACE(AdsGetConnectionPath(c, path, &len));
  EXPECT_EQ(Path("app.add"), std::string(reinterpret_cast<char*>(path), len));
  AdsDisconnect(c);
  ASSERT_ACE(Login("ANNA", "a1", &c));  // user names ignore case
  AdsDisconnect(c);
  c = 0;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_PASSWORD), Login("anna", "A1", &c));
  EXPECT_EQ(0u, c);
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_PASSWORD), Login("anna", "", &c));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_PASSWORD), Login("nobody", "a1", &c));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_PASSWORD), Login("Adssys", "", &c));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_FILE_NOT_FOUND),
            AdsConnect60(U(Path("missing.add")), ADS_LOCAL_SERVER, U("anna"), U("a1"), 0, &c));
}

TEST_F(DictTest, AFileThatIsNoDictionaryIsRefused) {
  std::ofstream(Path("fake.add")) << "just some text, not a database";
  ADSHANDLE c = 0;
  UNSIGNED32 rc = AdsConnect60(U(Path("fake.add")), ADS_LOCAL_SERVER, U("Adssys"), U(""), 0, &c);
  EXPECT_TRUE(rc == AE_CORRUPT_FILE || rc == AE_IO_ERROR) << rc;
  EXPECT_EQ(0u, c);
}

TEST(PasswordHashTest, SaltedAndChecked) {
  auto a = ace::dict::HashPassword("secret");
  auto b = ace::dict::HashPassword("secret");
  ASSERT_TRUE(a.ok() && b.ok());
  EXPECT_NE(a->salt, b->salt);
  EXPECT_NE(a->hash, b->hash);
  EXPECT_TRUE(ace::dict::CheckPassword("secret", *a));
  EXPECT_FALSE(ace::dict::CheckPassword("Secret", *a));
  EXPECT_FALSE(ace::dict::CheckPassword("secret", ace::dict::PasswordHash{}));
}

TEST_F(DictTest, ThePasswordIsNotStoredInTheFile) {
  std::ifstream in(Path("app.add"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(std::string::npos, bytes.find("geheim"));
  EXPECT_NE(std::string::npos, bytes.find("anna"));
}

// ---- Tables by name, rights -------------------------------------------------------------------

TEST_F(DictTest, TablesOpenByNameWithTheirTypes) {
  ADSHANDLE c = 0, t = 0;
  ASSERT_ACE(Login("anna", "a1", &c));
  ASSERT_ACE(OpenByName(c, "kinder", &t));
  UNSIGNED16 type = 0;
  ASSERT_ACE(AdsGetTableType(t, &type));
  EXPECT_EQ(ADS_ADT, type);
  EXPECT_EQ("Mia", Text(t, "Name"));
  ADSHANDLE e = 0;
  ASSERT_ACE(OpenByName(admin_, "Eltern", &e));  // anna may not read it
  ASSERT_ACE(AdsGetTableType(e, &type));
  EXPECT_EQ(ADS_CDX, type);
  // A table the dictionary lacks: 5132 with type 0, and a free table with a type.
  ADSHANDLE f = 0;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NOT_IN_DICTIONARY), OpenByName(c, "frei", &f));
  // Created through the dictionary connection as a free table: it stays out of the dictionary.
  ADSHANDLE free_table = 0;
  ASSERT_ACE(AdsCreateTable90(admin_, U("frei"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                              ADS_CHECK_RIGHTS, 0, U("N,Integer;"), ADS_CREATE_FREE_TABLE, nullptr,
                              &free_table));
  ASSERT_ACE(AdsCloseTable(free_table));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NOT_IN_DICTIONARY), OpenByName(c, "frei", &f));
  ASSERT_ACE(OpenByName(c, Path("frei").c_str(), &f, ADS_ADT));
  AdsDisconnect(c);
}

TEST_F(DictTest, RightsDecideTheOpenOptions) {
  ADSHANDLE anna = 0, bert = 0, t = 0;
  ASSERT_ACE(Login("anna", "a1", &anna));
  ASSERT_ACE(Login("bert", "b2", &bert));
  UNSIGNED32 options = 0;
  ASSERT_ACE(OpenByName(anna, "Kinder", &t));  // all rights through the group
  ASSERT_ACE(AdsGetTableOpenOptions(t, &options));
  EXPECT_EQ(static_cast<UNSIGNED32>(ADS_UPDATE_ALLOWED | ADS_INSERT_ALLOWED),
            options & (ADS_UPDATE_ALLOWED | ADS_INSERT_ALLOWED));
  ADSHANDLE b = 0;
  ASSERT_ACE(OpenByName(bert, "Kinder", &b));  // read only
  ASSERT_ACE(AdsGetTableOpenOptions(b, &options));
  EXPECT_EQ(0u, options & (ADS_UPDATE_ALLOWED | ADS_INSERT_ALLOWED));
  EXPECT_NE(0u, AdsAppendRecord(b));  // the engine refuses the write itself too
  // No right at all: the table cannot be opened.
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_PERMISSION_DENIED), OpenByName(bert, "Eltern", &b));
  // Only the administrator changes the dictionary.
  EXPECT_NE(0u, SqlCode("CREATE USER eve PASSWORD 'x'", anna));
  EXPECT_NE(0u, SqlCode("GRANT ALL ON Eltern TO bert", bert));
  AdsDisconnect(anna);
  AdsDisconnect(bert);
}

// ---- Properties and objects -------------------------------------------------------------------

TEST_F(DictTest, PropertiesOfTablesDatabaseAndUsers) {
  UNSIGNED8 buf[201];
  UNSIGNED16 len = 200;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_PROPERTY_NOT_SET),
            AdsDDGetTableProperty(admin_, U("Kinder"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len));
  Sql("EXECUTE PROCEDURE sp_ModifyTableProperty('Kinder', 'TABLE_DEFAULT_INDEX', 'NAME', "
      "'APPEND_FAIL', NULL)",
      admin_);
  Sql("EXECUTE PROCEDURE sp_ModifyTableProperty('kinder', 'TABLE_PRIMARY_KEY', 'NAME', "
      "'APPEND_FAIL', NULL)",
      admin_);
  len = 200;
  ASSERT_ACE(AdsDDGetTableProperty(admin_, U("KINDER"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len));
  EXPECT_EQ("NAME", std::string(reinterpret_cast<char*>(buf), len));
  len = 2;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INSUFFICIENT_BUFFER),
            AdsDDGetTableProperty(admin_, U("Kinder"), ADS_DD_TABLE_PRIMARY_KEY, buf, &len));
  EXPECT_EQ(4u, len);
  len = 200;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NOT_IN_DICTIONARY),
            AdsDDGetTableProperty(admin_, U("nix"), ADS_DD_TABLE_DEFAULT_INDEX, buf, &len));
  UNSIGNED16 version = 9, vlen = 2;
  ASSERT_ACE(AdsDDGetDatabaseProperty(admin_, ADS_DD_VERSION_MAJOR, &version, &vlen));
  EXPECT_EQ(1, version);
  ASSERT_ACE(AdsDDGetDatabaseProperty(admin_, ADS_DD_VERSION_MINOR, &version, &vlen));
  EXPECT_EQ(0, version);
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NOT_SUPPORTED),
            AdsDDGetDatabaseProperty(conn_, ADS_DD_VERSION_MAJOR, &version, &vlen));
  // Group membership: asked for its length first, as the components do.
  UNSIGNED16 glen = 0;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INSUFFICIENT_BUFFER),
            AdsDDGetUserProperty(admin_, U("anna"), ADS_DD_USER_GROUP_MEMBERSHIP, nullptr, &glen));
  EXPECT_EQ(6u, glen);
  len = 200;
  ASSERT_ACE(AdsDDGetUserProperty(admin_, U("anna"), ADS_DD_USER_GROUP_MEMBERSHIP, buf, &len));
  EXPECT_EQ("Lehrer", std::string(reinterpret_cast<char*>(buf), len));
  len = 200;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_PROPERTY_NOT_SET),
            AdsDDGetUserProperty(admin_, U("bert"), ADS_DD_USER_GROUP_MEMBERSHIP, buf, &len));
  EXPECT_EQ(0u, len);
}

TEST_F(DictTest, ObjectsAreFoundAndRenamed) {
  EXPECT_EQ((std::vector<std::string>{"Eltern", "Kinder"}), Objects(admin_, ADS_DD_TABLE_OBJECT));
  EXPECT_EQ((std::vector<std::string>{"Adssys", "anna", "bert"}),
            Objects(admin_, ADS_DD_USER_OBJECT));
  EXPECT_EQ((std::vector<std::string>{"Lehrer"}), Objects(admin_, ADS_DD_USER_GROUP_OBJECT));
  EXPECT_TRUE(Objects(admin_, ADS_DD_PROCEDURE_OBJECT).empty());
  EXPECT_TRUE(Objects(conn_, ADS_DD_TABLE_OBJECT).empty());  // a directory has none
  ASSERT_ACE(AdsDDRenameObject(admin_, U("Kinder"), U("Schueler"), ADS_DD_TABLE_OBJECT, 0));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_ARGUMENT),
            AdsDDRenameObject(admin_, U("Eltern"), U("schueler"), ADS_DD_TABLE_OBJECT, 0));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NOT_IN_DICTIONARY),
            AdsDDRenameObject(admin_, U("Kinder"), U("X"), ADS_DD_TABLE_OBJECT, 0));
  // The rights follow the table to its new name.
  ADSHANDLE anna = 0, t = 0;
  ASSERT_ACE(Login("anna", "a1", &anna));
  ASSERT_ACE(OpenByName(anna, "Schueler", &t));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_NOT_IN_DICTIONARY), OpenByName(anna, "Kinder", &t));
  // The table search of a dictionary connection lists the dictionary's tables.
  UNSIGNED8 name[261];
  UNSIGNED16 len = 260;
  ADSHANDLE find = 0;
  ASSERT_ACE(AdsFindFirstTable(anna, U(""), name, &len, &find));
  EXPECT_EQ("Eltern", std::string(reinterpret_cast<char*>(name), len));
  AdsFindClose(anna, find);
  AdsDisconnect(anna);
}

TEST_F(DictTest, LinksAreCreatedListedAndDropped) {
  UNSIGNED16 count = 9;
  ASSERT_ACE(AdsGetNumActiveLinks(admin_, &count));
  EXPECT_EQ(0, count);
  ASSERT_ACE(AdsDDCreateLink(admin_, U("Archiv"), U("/data/archiv.add"), U("anna"), U("a1"),
                             ADS_LINK_GLOBAL));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_ARGUMENT),
            AdsDDCreateLink(admin_, U("archiv"), U("/x.add"), nullptr, nullptr, 0));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_ARGUMENT),
            AdsDDCreateLink(admin_, U("Bad"), U("/data/folder"), nullptr, nullptr, 0));
  ASSERT_ACE(AdsGetNumActiveLinks(admin_, &count));
  EXPECT_EQ(1, count);
  UNSIGNED8 info[665];
  UNSIGNED16 len = 664;
  ASSERT_ACE(AdsGetActiveLinkInfo(admin_, 1, info, &len));
  EXPECT_EQ("Archiv;/data/archiv.add;anna;", std::string(reinterpret_cast<char*>(info), len));
  len = 664;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_ARGUMENT),
            AdsGetActiveLinkInfo(admin_, 2, info, &len));
  EXPECT_EQ((std::vector<std::string>{"Archiv"}), Objects(admin_, ADS_DD_LINK_OBJECT));
  ASSERT_ACE(AdsDDDropLink(admin_, U("ARCHIV"), 1));
  ASSERT_ACE(AdsGetNumActiveLinks(admin_, &count));
  EXPECT_EQ(0, count);
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_ARGUMENT), AdsDDDropLink(admin_, U("Archiv"), 0));
  // A directory connection has no links.
  ASSERT_ACE(AdsGetNumActiveLinks(conn_, &count));
  EXPECT_EQ(0, count);
}

// ---- SQL --------------------------------------------------------------------------------------

TEST_F(DictTest, SqlRefusesWhatItCannotDo) {
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_SQL_ERROR), SqlCode("CREATE DATABASE 'app.add'", conn_));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_SQL_ERROR), SqlCode("CREATE USER x PASSWORD 'y'", conn_));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_SQL_ERROR),
            SqlCode("CREATE USER anna PASSWORD 'z'", admin_));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_SQL_ERROR), SqlCode("GRANT FLY ON Kinder TO anna", admin_));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_SQL_ERROR), SqlCode("GRANT ALL ON Nix TO anna", admin_));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_SQL_ERROR),
            SqlCode("EXECUTE PROCEDURE sp_NoSuchThing()", admin_));
  EXPECT_EQ(
      static_cast<UNSIGNED32>(AE_SQL_ERROR),
      SqlCode("EXECUTE PROCEDURE sp_AddTableToDatabase('X', 'missing.adt', 3, 1, '', '')", admin_));
  // The administrator may drop users, but not itself.
  EXPECT_EQ(0u, SqlCode("DROP USER bert", admin_));
  ADSHANDLE c = 0;
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_INVALID_PASSWORD), Login("bert", "b2", &c));
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_SQL_ERROR), SqlCode("DROP USER Adssys", admin_));
  // A parameter with a number far beyond any integer is a parameter without a value, not a
  // crash (the lexers met such a number in fuzzing).
  const std::string huge = "EXECUTE PROCEDURE sp_setapplicationid(?" + std::string(40, '1') + ")";
  EXPECT_EQ(static_cast<UNSIGNED32>(AE_SQL_ERROR), SqlCode(huge, admin_));
  EXPECT_NE(std::string::npos, LastErrorText().find("has no value")) << LastErrorText();
}

TEST_F(ApiTest, ApplicationIdThroughTheSystemProcedures) {
  ADSHANDLE stmt = 0, cursor = 0;
  ASSERT_ACE(AdsCreateSQLStatement(conn_, &stmt));
  ASSERT_ACE(AdsPrepareSQL(stmt, U("execute procedure sp_setapplicationid(:id)")));
  ASSERT_ACE(AdsSetString(stmt, ADSFIELD(1), U("Upgrade 1.1"), 11));
  ASSERT_ACE(AdsExecuteSQL(stmt, &cursor));
  ASSERT_ACE(AdsExecuteSQLDirect(stmt, U("execute procedure sp_getapplicationid( )"), &cursor));
  ASSERT_NE(0u, cursor);
  EXPECT_EQ("Upgrade 1.1", Text(cursor, "ApplicationID"));
  AdsCloseSQLStatement(stmt);
}

}  // namespace
}  // namespace ace_api_test
