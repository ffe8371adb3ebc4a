// The connection component on the real engine: stored properties and connecting after load,
// the arguments of the connect call, every refusal with its message, the dictionary path
// rules, events, disconnecting with a failing dataset, adopted handles, destruction and the
// rename that rebinds datasets.
#include <memory>
#include <vector>

#include "tests/ads/connection/test_support.h"
#include "ui/classes/Classes.h"

using namespace adstest;

namespace {

// What the last AdsConnect60 call received; the call is passed on to the engine.
struct ConnectCall {
  int count = 0;
  std::string path, user, password;
  UNSIGNED16 types = 0;
  UNSIGNED32 options = 0;
} g_call;

UNSIGNED32 RecordConnect60(const UNSIGNED8* path, UNSIGNED16 types, const UNSIGNED8* user,
                           const UNSIGNED8* password, UNSIGNED32 options, ADSHANDLE* handle) {
  ++g_call.count;
  g_call.path = path ? reinterpret_cast<const char*>(path) : "<null>";
  g_call.user = user ? reinterpret_cast<const char*>(user) : "<null>";
  g_call.password = password ? reinterpret_cast<const char*>(password) : "<null>";
  g_call.types = types;
  g_call.options = options;
  return ::AdsConnect60(path, types, user, password, options, handle);
}

bool EngineHandleOpen(ADSHANDLE h) {
  UNSIGNED16 type = 0;
  return ::AdsGetConnectionType(h, &type) == 0;
}

class Connection : public TempWorld {
 protected:
  void SetUp() override {
    TempWorld::SetUp();
    g_call = ConnectCall();
    data_ = Folder("Data");
  }
  std::string data_;
};

TEST_F(Connection, StreamedConnectedBeforeAliasConnectsAfterLoad) {
  WriteAliases("Vaskoli_AB=" + data_ + "\n");
  TComponent form(nullptr);
  ReadComponentFromText(
      "object Form1: TComponent\n"
      "  object AdsConnection1: TAdsConnection\n"
      "    IsConnected = True\n"
      "    AliasName = 'Vaskoli_AB'\n"
      "    AdsServerTypes = [stADS_LOCAL]\n"
      "    LoginPrompt = False\n"
      "    Username = 'Adssys'\n"
      "  end\n"
      "end\n",
      &form);
  auto* conn = dynamic_cast<TAdsConnection*>(form.FindComponent("AdsConnection1"));
  ASSERT_NE(conn, nullptr);
  EXPECT_TRUE(conn->IsConnected());
  EXPECT_NE(conn->ConnectionHandle(), 0u);
  EXPECT_EQ(conn->GetConnectionPath(), data_);
  EXPECT_TRUE(conn->AdsServerTypes() == TAdsServerTypes({stADS_LOCAL}));
  EXPECT_FALSE(conn->LoginPrompt());
  EXPECT_EQ(conn->Username(), "Adssys");
  EXPECT_EQ(conn->ConnectionType(), "Local");

  // The writer gives back what differs from the defaults, IsConnected included.
  std::string text = WriteComponentToText(&form);
  EXPECT_NE(text.find("AliasName = 'Vaskoli_AB'"), std::string::npos) << text;
  EXPECT_NE(text.find("IsConnected = True"), std::string::npos) << text;
  EXPECT_NE(text.find("LoginPrompt = False"), std::string::npos) << text;
  EXPECT_EQ(text.find("StoreConnected"), std::string::npos) << text;
  EXPECT_EQ(text.find("Compression"), std::string::npos) << text;
  conn->SetStoreConnected(false);
  text = WriteComponentToText(&form);
  EXPECT_EQ(text.find("IsConnected"), std::string::npos) << text;
  EXPECT_NE(text.find("StoreConnected = False"), std::string::npos) << text;
}

TEST_F(Connection, ConnectCallArguments) {
  AceImportOverride<decltype(Ace.AdsConnect60)> spy(Ace.AdsConnect60, &RecordConnect60);
  TAdsConnection conn(nullptr);
  conn.SetConnectPath(data_);
  conn.SetUsername("Adssys");
  conn.SetPassword("secret");
  conn.SetAdsServerTypes({stADS_LOCAL});
  conn.Connect();
  EXPECT_EQ(g_call.types, 1);
  EXPECT_EQ(g_call.path, data_);
  EXPECT_EQ(g_call.user, "");  // a directory path passes no credentials
  EXPECT_EQ(g_call.password, "");
  EXPECT_EQ(g_call.options, 0u);
  conn.Disconnect();

  conn.SetAdsServerTypes({stADS_REMOTE, stADS_AIS});
  conn.SetCompression(ccAdsCompressInternet);
  conn.SetCommunicationType(ctAdsTCPIP);
  conn.SetMiddleTierConnection(true);
  EXPECT_THROW(conn.Connect(), EADSDatabaseError);  // no remote server here
  EXPECT_EQ(g_call.types, 6);
  EXPECT_EQ(g_call.options, 141u);
  EXPECT_FALSE(conn.IsConnected());

  conn.SetAdsServerTypes({});
  conn.SetCompression(ccAdsCompressNever);
  conn.SetCommunicationType(ctAdsIPX);
  conn.SetMiddleTierConnection(false);
  conn.SetStoredProcedureConnection(true);
  conn.Connect();
  EXPECT_EQ(g_call.types, 0);
  EXPECT_EQ(g_call.options, 8u | 64u | 2u);
}

TEST_F(Connection, DictionaryCredentials) {
  AceImportOverride<decltype(Ace.AdsConnect60)> spy(Ace.AdsConnect60, &RecordConnect60);
  TAdsConnection conn(nullptr);
  conn.SetConnectPath(data_ + "/app.add");
  EXPECT_TRUE(conn.IsDictionaryConn());
  conn.SetLoginPrompt(false);
  conn.SetUsername("Adssys");
  try {
    conn.Connect();
  } catch (const EADSDatabaseError&) {
    // The engine may refuse the missing dictionary; the arguments are what is looked at.
  }
  ASSERT_EQ(g_call.count, 1);
  EXPECT_EQ(g_call.user, "Adssys");
  EXPECT_EQ(g_call.password, "");

  // With the prompt, OnLogin starts from empty credentials and its answer is kept.
  if (conn.IsConnected()) conn.Disconnect();
  conn.SetLoginPrompt(true);
  conn.SetPassword("old");
  std::string seenUser = "unset", seenPassword = "unset";
  conn.OnLogin = [&](TAdsConnection* c, std::string& user, std::string& password) {
    EXPECT_EQ(c, &conn);
    seenUser = user;
    seenPassword = password;
    user = "Admin";
    password = "pw";
  };
  try {
    conn.Connect();
  } catch (const EADSDatabaseError&) {
  }
  EXPECT_EQ(seenUser, "");
  EXPECT_EQ(seenPassword, "");
  EXPECT_EQ(g_call.user, "Admin");
  EXPECT_EQ(g_call.password, "pw");
  EXPECT_EQ(conn.Username(), "Admin");
  EXPECT_EQ(conn.Password(), "pw");
}

TEST_F(Connection, DictionaryPathRules) {
  TAdsConnection conn(nullptr);
  conn.SetConnectPath("C:\\DATA\\APP.ADD");
  EXPECT_TRUE(conn.IsDictionaryConn());
  EXPECT_EQ(conn.GetConnectionPath(), "C:\\DATA");
  EXPECT_EQ(conn.GetConnectionWithDDPath(), "C:\\DATA\\APP.ADD");
  conn.SetConnectPath("app.add");
  EXPECT_TRUE(conn.IsDictionaryConn());
  EXPECT_EQ(conn.GetConnectionPath(), ".\\");
  conn.SetConnectPath("/srv/a\\b/x.Add");
  EXPECT_EQ(conn.GetConnectionPath(), "/srv/a\\b");  // the last "/" counts first
  conn.SetConnectPath("C:\\DATA");
  EXPECT_FALSE(conn.IsDictionaryConn());
  EXPECT_EQ(conn.GetConnectionPath(), "C:\\DATA");
  conn.SetConnectPath(".add");  // too short to be a dictionary file name for the cut
  EXPECT_EQ(conn.GetConnectionPath(), ".add");

  WriteAliases("Dict=" + data_ + "/Vaskoli.ADD;a\n");
  conn.SetAliasName("dict");
  EXPECT_EQ(conn.ConnectPath(), "");  // an alias replaces an explicit path
  EXPECT_TRUE(conn.IsDictionaryConn());
  EXPECT_EQ(conn.GetAdsTableType(), ttAdsConnectADT);
  EXPECT_EQ(conn.GetConnectionPath(), data_);
  conn.SetConnectPath(data_);
  EXPECT_EQ(conn.AliasName(), "");
  EXPECT_EQ(conn.GetAdsTableType(), ttAdsConnectUnspecified);
}

TEST_F(Connection, RefusalsAndTheirMessages) {
  TAdsConnection conn(nullptr);
  ExpectRaises<AdsConnectionError>(
      [&] { conn.Connect(); },
      "Must specify connection string before getting a server connection.");
  EXPECT_FALSE(conn.IsConnected());

  conn.SetAliasName("Later");
  EXPECT_FALSE(conn.ValidAlias());
  ExpectRaises<AdsConnectionError>([&] { conn.Connect(); },
                                   "TAdsConnection.AliasName is not valid");
  // Connecting looks the alias up afresh.
  WriteAliases("Later=" + data_ + "\n");
  conn.Connect();
  EXPECT_TRUE(conn.IsConnected());
  EXPECT_TRUE(conn.ValidAlias());

  ExpectRaises<AdsConnectionError>(
      [&] { conn.SetAliasName("Other"); },
      "The TAdsConnection.AliasName may not be changed when IsConnected is TRUE");
  ExpectRaises<AdsConnectionError>(
      [&] { conn.SetConnectPath(data_); },
      "The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE");
  ExpectRaises<AdsConnectionError>([&] { conn.SetHandle(conn.ConnectionHandle(), true); },
                                   "TAdsConnection already has a working connection");
  EXPECT_EQ(conn.AliasName(), "Later");

  conn.Disconnect();
  EXPECT_EQ(conn.ConnectionType(), "");
  ExpectRaises<AdsConnectionError>(
      [&] { conn.SetHandle(0xDEAD, true); },
      "TAdsConnection cannot resolve the connection path from the given connection handle.");
  EXPECT_FALSE(conn.IsConnected());

  // A missing directory: the engine's error, without a dataset.
  conn.SetConnectPath(root_.string() + "/missing");
  try {
    conn.Connect();
    ADD_FAILURE() << "connected to a missing directory";
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(e.ACEErrorCode(), 0u);
    EXPECT_EQ(e.DataSetInstanceName(), "");
  }
  EXPECT_FALSE(conn.IsConnected());
  EXPECT_EQ(conn.Handle(), 0u);
}

TEST_F(Connection, EventsInTheirOrder) {
  std::vector<std::string> log;
  TAdsConnection conn(nullptr);
  auto note = [&](const char* what) { return [&log, what](TObject*) { log.push_back(what); }; };
  conn.BeforeConnect = note("BeforeConnect");
  conn.AfterConnect = note("AfterConnect");
  conn.OnConnect = note("OnConnect");
  conn.BeforeDisconnect = note("BeforeDisconnect");
  conn.AfterDisconnect = note("AfterDisconnect");
  conn.OnDisconnect = note("OnDisconnect");

  conn.SetConnectPath(root_.string() + "/missing");
  EXPECT_THROW(conn.Connect(), EADSDatabaseError);
  EXPECT_EQ(log, std::vector<std::string>({"BeforeConnect"}));
  log.clear();

  conn.SetConnectPath(data_);
  conn.Connect();
  conn.Connect();  // already connected: nothing happens
  conn.Disconnect();
  conn.Disconnect();
  EXPECT_EQ(log, std::vector<std::string>({"BeforeConnect", "AfterConnect", "OnConnect",
                                           "BeforeDisconnect", "AfterDisconnect", "OnDisconnect"}));
}

TEST_F(Connection, DisconnectGoesOnWhenADataSetFailsToClose) {
  MakeTable(data_, "kinder");
  TComponent form(nullptr);
  form.SetName("Form1");
  auto* conn = new TAdsConnection(&form);
  conn->SetConnectPath(data_);
  auto* table = new TTestDataSet(&form);
  table->SetAdsConnection(conn);
  table->SetTableName("kinder");
  table->Open();
  ASSERT_TRUE(conn->IsConnected());
  ASSERT_NE(table->Handle(), -1);
  ADSHANDLE engine = conn->ConnectionHandle();

  std::vector<std::string> log;
  conn->AfterDisconnect = [&](TObject*) { log.push_back("AfterDisconnect"); };
  conn->OnDisconnect = [&](TObject*) { log.push_back("OnDisconnect"); };
  table->FailClose(true);
  EXPECT_NO_THROW(conn->Disconnect());
  EXPECT_FALSE(conn->IsConnected());
  EXPECT_EQ(conn->Handle(), 0u);
  EXPECT_FALSE(EngineHandleOpen(engine));
  EXPECT_EQ(log, std::vector<std::string>({"AfterDisconnect", "OnDisconnect"}));
  EXPECT_EQ(table->closes_, 1);
  EXPECT_EQ(table->Handle(), -1);
  EXPECT_EQ(table->ActiveHandle(), -1);
  // The dataset stays attached and can open again on the reconnected component.
  EXPECT_EQ(conn->DataSetCount(), 1);
  EXPECT_EQ(conn->AttachedDataSet(0), table);
  EXPECT_THROW(conn->AttachedDataSet(1), EListError);
  table->FailClose(false);
  table->Close();
  table->Open();
  EXPECT_TRUE(conn->IsConnected());
  EXPECT_NE(table->Handle(), -1);
  conn->AfterDisconnect = nullptr;  // the log goes before the form's components do
  conn->OnDisconnect = nullptr;
}

// Closes the connection, then answers as the engine does for a handle it does not know (with
// that error's text as the last error).
UNSIGNED32 DisconnectAndFail(ADSHANDLE h) {
  ::AdsDisconnect(h);
  UNSIGNED16 type = 0;
  return ::AdsGetConnectionType(0xDEAD, &type);
}

TEST_F(Connection, FailedEngineDisconnectStillDisconnects) {
  TAdsConnection conn(nullptr);
  conn.SetConnectPath(data_);
  conn.Connect();
  bool after = false;
  conn.AfterDisconnect = [&](TObject*) { after = true; };
  AceImportOverride<decltype(Ace.AdsDisconnect)> fail(Ace.AdsDisconnect, &DisconnectAndFail);
  try {
    conn.Disconnect();
    ADD_FAILURE() << "the failed disconnect was not reported";
  } catch (const AdsError& e) {
    EXPECT_FALSE(e.Message().empty());
  }
  EXPECT_TRUE(after);
  EXPECT_FALSE(conn.IsConnected());
  EXPECT_EQ(conn.Handle(), 0u);
}

TEST_F(Connection, AdoptedHandles) {
  ADSHANDLE foreign = 0;
  ASSERT_EQ(::AdsConnect60(U8(data_), ADS_LOCAL_SERVER, U8("Adssys"), U8("pw"), 0, &foreign), 0u);
  {
    std::unique_ptr<TAdsConnection> shared(TAdsConnection::CreateWithHandle(nullptr, foreign));
    EXPECT_TRUE(shared->IsConnected());
    EXPECT_EQ(shared->ConnectionHandle(), foreign);
    EXPECT_EQ(shared->ConnectPath(), data_);
    EXPECT_EQ(shared->Username(), "Adssys");
    EXPECT_EQ(shared->Password(), "pw");
    EXPECT_TRUE(shared->AdsServerTypes().Contains(stADS_LOCAL));
    shared->Disconnect();
    EXPECT_TRUE(EngineHandleOpen(foreign));  // a shared handle is not closed
    shared->Connect();
    EXPECT_EQ(shared->ConnectionHandle(), foreign);
  }
  EXPECT_TRUE(EngineHandleOpen(foreign));  // nor by the destructor

  {
    std::unique_ptr<TAdsConnection> own(TAdsConnection::CreateFromHandle(nullptr, foreign, "Copy"));
    EXPECT_EQ(own->Name(), "Copy");
    EXPECT_FALSE(own->LoginPrompt());
    EXPECT_TRUE(own->IsConnected());
    EXPECT_NE(own->ConnectionHandle(), foreign);  // a connection of its own
    ADSHANDLE copy = own->ConnectionHandle();
    own->Disconnect();
    EXPECT_FALSE(EngineHandleOpen(copy));
    EXPECT_TRUE(EngineHandleOpen(foreign));
  }

  std::unique_ptr<TAdsConnection> taken(TAdsConnection::CreateWithHandle(nullptr, foreign));
  taken->ClearHandle();
  taken->Disconnect();
  EXPECT_FALSE(EngineHandleOpen(foreign));  // after ClearHandle the disconnect closes it
}

TEST_F(Connection, DestroyingDetachesAndFiresOnlyOnDisconnect) {
  MakeTable(data_, "kinder");
  TComponent form(nullptr);
  auto* table = new TTestDataSet(&form);
  auto* idle = new TTestDataSet(&form);
  std::vector<std::string> log;
  ADSHANDLE engine = 0;
  {
    TAdsConnection conn(&form);
    conn.SetConnectPath(data_);
    table->SetAdsConnection(&conn);
    idle->SetAdsConnection(&conn);
    table->SetTableName("kinder");
    table->Open();
    engine = conn.ConnectionHandle();
    conn.BeforeDisconnect = [&](TObject*) { log.push_back("BeforeDisconnect"); };
    conn.AfterDisconnect = [&](TObject*) { log.push_back("AfterDisconnect"); };
    conn.OnDisconnect = [&](TObject*) { log.push_back("OnDisconnect"); };
    EXPECT_EQ(ConnectionRegistry().Snapshot().back(), &conn);
  }
  EXPECT_EQ(log, std::vector<std::string>({"OnDisconnect"}));
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(table->Handle(), -1);
  EXPECT_EQ(table->AdsConnection(), nullptr);
  EXPECT_EQ(idle->AdsConnection(), nullptr);
  EXPECT_FALSE(EngineHandleOpen(engine));
  for (TAdsConnection* c : ConnectionRegistry().Snapshot()) EXPECT_NE(c->Owner(), &form);

  // Not connected: the datasets are only detached.
  {
    TAdsConnection conn(nullptr);
    idle->SetAdsConnection(&conn);
    EXPECT_EQ(conn.DataSetCount(), 1);
  }
  EXPECT_EQ(idle->AdsConnection(), nullptr);
}

TEST_F(Connection, RegistryKeepsCreationOrder) {
  auto before = ConnectionRegistry().Snapshot().size();
  auto a = std::make_unique<TAdsConnection>(nullptr);
  auto b = std::make_unique<TAdsConnection>(nullptr);
  auto c = std::make_unique<TAdsConnection>(nullptr);
  auto items = ConnectionRegistry().Snapshot();
  ASSERT_EQ(items.size(), before + 3);
  EXPECT_EQ(items[before], a.get());
  EXPECT_EQ(items[before + 1], b.get());
  EXPECT_EQ(items[before + 2], c.get());
  b.reset();
  items = ConnectionRegistry().Snapshot();
  ASSERT_EQ(items.size(), before + 2);
  EXPECT_EQ(items[before + 1], c.get());
}

TEST_F(Connection, AliasTypeReachesTheAttachedDataSetsOfTheOwner) {
  WriteAliases("Fox=" + data_ + ";v\nPlain=" + data_ + "\n");
  TComponent form(nullptr);
  auto* conn = new TAdsConnection(&form);
  conn->SetName("Conn");
  auto* byConnection = new TTestDataSet(&form);
  auto* byName = new TTestDataSet(&form);
  auto* other = new TTestDataSet(&form);
  byConnection->SetAdsConnection(conn);
  byName->SetDatabaseName("Conn");
  other->SetDatabaseName(data_);
  other->SetAdsConnection(conn);
  byName->SetTableType(ttAdsCDX);

  conn->SetAliasName("Fox");
  EXPECT_EQ(byConnection->TableType(), ttAdsVFP);
  EXPECT_EQ(byName->TableType(), ttAdsVFP);
  EXPECT_EQ(other->TableType(), ttAdsADT);  // names a path: keeps its type

  byName->SetTableType(ttAdsCDX);
  conn->SetAliasName("Plain");  // no letter: the datasets keep their types
  EXPECT_EQ(byName->TableType(), ttAdsCDX);
  EXPECT_EQ(byConnection->TableType(), ttAdsVFP);
}

TEST_F(Connection, RenameRebindsTheDataSetsThatNamedIt) {
  TComponent form(nullptr);
  form.SetName("Form1");
  auto* conn = new TAdsConnection(&form);
  conn->SetName("Conn1");
  conn->SetConnectPath(data_);
  auto* plain = new TTestDataSet(&form);
  auto* qualified = new TTestDataSet(nullptr);
  std::unique_ptr<TTestDataSet> ownQualified(qualified);
  auto* elsewhere = new TTestDataSet(&form);
  auto* otherConn = new TAdsConnection(&form);
  otherConn->SetName("Other");

  plain->SetDatabaseName("conn1");
  qualified->SetDatabaseName("Form1.Conn1");
  elsewhere->SetDatabaseName("Other");
  EXPECT_EQ(plain->AdsConnection(), conn);
  EXPECT_EQ(qualified->AdsConnection(), conn);
  EXPECT_EQ(elsewhere->AdsConnection(), otherConn);

  conn->SetName("Conn2");
  EXPECT_EQ(plain->DatabaseName(), "Conn2");
  EXPECT_EQ(qualified->DatabaseName(), "Form1.Conn2");
  EXPECT_EQ(plain->AdsConnection(), conn);
  EXPECT_EQ(qualified->AdsConnection(), conn);
  EXPECT_EQ(elsewhere->DatabaseName(), "Other");
  EXPECT_EQ(elsewhere->AdsConnection(), otherConn);
  EXPECT_EQ(conn->DataSetCount(), 2);  // rebinding does not attach twice
  EXPECT_EQ(plain->GetDatabasePath(), data_);
}

TEST_F(Connection, DataSetCreatedBeforeItsConnectionBindsWhenTheNameArrives) {
  TComponent form(nullptr);
  form.SetName("Form1");
  auto* query = new TTestDataSet(&form);
  query->SetDatabaseName("AdsConnection1");
  EXPECT_EQ(query->AdsConnection(), nullptr);
  EXPECT_EQ(query->GetDatabasePath(), "AdsConnection1");  // neither connection nor alias yet

  TComponent otherForm(nullptr);
  otherForm.SetName("Form2");
  auto* stranger = new TTestDataSet(&otherForm);
  stranger->SetDatabaseName("AdsConnection1");

  auto* conn = new TAdsConnection(&form);
  conn->SetConnectPath(data_);
  conn->SetName("AdsConnection1");
  EXPECT_EQ(query->AdsConnection(), conn);
  EXPECT_EQ(query->GetDatabasePath(), data_);
  ADSHANDLE handle = query->ConnectAndGetHandle();  // connects the component
  EXPECT_TRUE(conn->IsConnected());
  EXPECT_EQ(handle, conn->ConnectionHandle());
  // A dataset of another window binds only through its own window's name.
  EXPECT_EQ(stranger->AdsConnection(), nullptr);
}

TEST_F(Connection, DescriptionWithQueryBeforeConnection) {
  WriteAliases("Vaskoli_AB=" + data_ + "\n");
  MakeTable(data_, "Kinder");
  TComponent form(nullptr);
  auto* query = new TTestDataSet(&form);
  query->SetName("AdsQuery1");
  query->SetDatabaseName("AdsConnection1");
  ReadComponentFromText(
      "object Form1: TComponent\n"
      "  object AdsConnection1: TAdsConnection\n"
      "    AliasName = 'Vaskoli_AB'\n"
      "    IsConnected = True\n"
      "    LoginPrompt = False\n"
      "  end\n"
      "end\n",
      &form);
  auto* conn = dynamic_cast<TAdsConnection*>(form.FindComponent("AdsConnection1"));
  ASSERT_NE(conn, nullptr);
  EXPECT_TRUE(conn->IsConnected());
  EXPECT_EQ(query->AdsConnection(), conn);
  query->SetTableName("Kinder");
  query->Open();
  ADSHANDLE tableConn = query->GetAceConnectionHandle();
  EXPECT_EQ(tableConn, conn->ConnectionHandle());
  EXPECT_EQ(query->GetAceIndexHandle(), -1);
  EXPECT_EQ(query->GetAceOrderHandle(), query->GetAceTableHandle());
}

}  // namespace
