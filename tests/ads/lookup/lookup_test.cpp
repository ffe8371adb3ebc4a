// Resolution of a dataset's DatabaseName: connection components by thread and owner, aliases
// with their table types, the database path rules, the shared implicit connections, the
// refusals on an open dataset, GetFiles and the handle accessors.
#include <algorithm>
#include <memory>
#include <thread>

#include "tests/ads/connection/test_support.h"

using namespace adstest;

namespace {

class Lookup : public TempWorld {
 protected:
  void SetUp() override {
    TempWorld::SetUp();
    data_ = Folder("Data");
  }
  std::string data_;
};

std::string g_connect_path;
UNSIGNED32 RecordConnect(const UNSIGNED8* path, ADSHANDLE* handle) {
  g_connect_path = reinterpret_cast<const char*>(path);
  return ::AdsConnect(path, handle);
}

TEST_F(Lookup, ConnectionsOfTheCallingThreadComeFirst) {
  TComponent formA(nullptr), formB(nullptr);
  formA.SetName("FormA");
  formB.SetName("FormB");
  auto* mine = new TAdsConnection(&formA);
  mine->SetName("Conn");
  TAdsConnection* theirs = nullptr;
  TAdsConnection* theirsInFormB = nullptr;
  std::unique_ptr<TTestDataSet> onWorker;
  std::thread worker([&] {
    theirs = new TAdsConnection(nullptr);
    theirs->SetName("Conn");
    theirsInFormB = new TAdsConnection(&formB);
    theirsInFormB->SetName("Other");
    onWorker = std::make_unique<TTestDataSet>(nullptr);
    onWorker->SetDatabaseName("conn");  // the worker's own connection wins over FormA's
  });
  worker.join();
  std::unique_ptr<TAdsConnection> ownTheirs(theirs);
  EXPECT_EQ(onWorker->AdsConnection(), theirs);

  // On this thread: its own connection, also from a dataset without an owner.
  TTestDataSet loose(nullptr);
  loose.SetDatabaseName("Conn");
  EXPECT_EQ(loose.AdsConnection(), mine);

  // Pass 2 before pass 3: a connection of the dataset's own window on another thread loses to
  // one of the calling thread elsewhere.
  auto* inFormB = new TTestDataSet(&formB);
  auto* local = new TAdsConnection(nullptr);
  std::unique_ptr<TAdsConnection> ownLocal(local);
  local->SetName("Other");
  inFormB->SetDatabaseName("Other");
  EXPECT_EQ(inFormB->AdsConnection(), local);
  // Pass 4 also takes "Owner.Name".
  inFormB->SetDatabaseName("FormB.Other");
  EXPECT_EQ(inFormB->AdsConnection(), theirsInFormB);
  EXPECT_EQ(local->DataSetCount(), 0);
  EXPECT_EQ(theirsInFormB->DataSetCount(), 1);
  onWorker.reset();
}

TEST_F(Lookup, AliasTypesAndPaths) {
  WriteAliases("Adt=C:\\Data;a\nPlain=C:\\Data\\\nFox=" + data_ + ";V\nNoPath=;N\n");
  TTestDataSet ds(nullptr);
  ds.SetTableType(ttAdsCDX);
  ds.SetDatabaseName("adt");
  EXPECT_EQ(ds.TableType(), ttAdsADT);
  EXPECT_EQ(ds.AliasPath(), "C:\\Data");
  EXPECT_EQ(ds.GetDatabasePath(), "C:\\Data");

  ds.SetTableType(ttAdsCDX);
  ds.SetDatabaseName("Plain");  // no letter: ADT for a dataset
  EXPECT_EQ(ds.TableType(), ttAdsADT);
  EXPECT_EQ(ds.GetDatabasePath(), "C:\\Data");  // the trailing separator is removed

  ds.SetDatabaseName("NoPath");  // not an alias: the name as written
  EXPECT_EQ(ds.AliasPath(), "");
  EXPECT_EQ(ds.GetDatabasePath(), "NoPath");

  ds.SetDatabaseName("Fox");
  EXPECT_EQ(ds.TableType(), ttAdsVFP);

  // A connection's alias type reaches a dataset that goes by it; unspecified keeps the type.
  TAdsConnection conn(nullptr);
  conn.SetAliasName("Fox");
  TTestDataSet byConn(nullptr);
  byConn.SetAdsConnection(&conn);
  EXPECT_EQ(byConn.TableType(), ttAdsVFP);
  EXPECT_EQ(byConn.GetDatabasePath(), data_);
  conn.SetAliasName("Plain");
  byConn.SetTableType(ttAdsNTX);
  EXPECT_EQ(byConn.GetDatabasePath(), "C:\\Data");
  EXPECT_EQ(byConn.TableType(), ttAdsNTX);
  byConn.SetAdsConnection(nullptr);
  EXPECT_EQ(conn.DataSetCount(), 0);
}

TEST_F(Lookup, PathRules) {
  TTestDataSet ds(nullptr);
  ds.SetDatabaseName("C:");
  EXPECT_EQ(ds.GetDatabasePath(), "C:");
  ds.SetDatabaseName("C:\\Data\\");
  EXPECT_EQ(ds.GetDatabasePath(), "C:\\Data");
  ds.SetDatabaseName("\\");
  EXPECT_EQ(ds.GetDatabasePath(), "\\");
  ds.SetDatabaseName("");
  EXPECT_EQ(ds.GetDatabasePath(), "");

  // A bare drive connects to its root.
  AceImportOverride<decltype(Ace.AdsConnect)> spy(Ace.AdsConnect, &RecordConnect);
  ds.SetDatabaseName("Q:");
  int before = DynamicConnList().Count();
  EXPECT_THROW(ds.ConnectAndGetHandle(), EADSDatabaseError);  // no such folder here
  EXPECT_EQ(g_connect_path, "Q:\\");
  EXPECT_EQ(DynamicConnList().Count(), before);  // a failed connect adds nothing
}

TEST_F(Lookup, ImplicitConnectionsAreSharedPerPath) {
  int before = DynamicConnList().Count();
  TTestDataSet a(nullptr), b(nullptr), c(nullptr), other(nullptr);
  a.SetDatabaseName(data_);
  std::string upper = data_;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  b.SetDatabaseName(upper);
  c.SetDatabaseName(data_ + "/");
  other.SetDatabaseName(Folder("Other"));
  ADSHANDLE h = a.ConnectAndGetHandle();
  EXPECT_NE(h, 0u);
  EXPECT_EQ(b.ConnectAndGetHandle(), h);
  EXPECT_EQ(c.ConnectAndGetHandle(), h);
  EXPECT_EQ(DynamicConnList().Count(), before + 1);
  ADSHANDLE h2 = other.ConnectAndGetHandle();
  EXPECT_NE(h2, h);
  EXPECT_EQ(DynamicConnList().Count(), before + 2);
  EXPECT_EQ(DynamicConnList().FindSameDatabasename(upper), h);
  EXPECT_EQ(DynamicConnList().FindSameDatabasename(data_ + "/nothing"), 0u);
}

TEST_F(Lookup, OpenDataSetRefusesRebinding) {
  MakeTable(data_, "kinder");
  TComponent form(nullptr);
  auto* ds = new TTestDataSet(&form);
  ds->SetName("AdsTableKinder");
  ds->SetDatabaseName(data_);
  ds->SetTableName("kinder");
  ds->Open();
  TAdsConnection conn(nullptr);
  ExpectRaises<EADSDatabaseError>([&] { ds->SetAdsConnection(&conn); },
                                  "AdsTableKinder: Table must not be Active.");
  ExpectRaises<EADSDatabaseError>(
      [&] { ds->SetDatabaseName("x"); },
      "AdsTableKinder: Cannot perform this operation on an open dataset");
  EXPECT_EQ(ds->DatabaseName(), data_);
  EXPECT_EQ(conn.DataSetCount(), 0);

  // The handle accessors of the open table.
  EXPECT_EQ(ds->GetAceIndexHandle(), -1);
  EXPECT_EQ(ds->GetAceOrderHandle(), ds->GetAceTableHandle());
  EXPECT_EQ(ds->GetAceConnectionHandle(), ds->ConnectAndGetHandle());
  ds->Close();
  EXPECT_EQ(ds->GetAceTableHandle(), -1);
  EXPECT_EQ(ds->GetAceConnectionHandle(), 0u);
}

TEST_F(Lookup, GetFilesListsTheTables) {
  MakeTable(data_, "a");
  MakeTable(data_, "b");
  TTestDataSet ds(nullptr);
  ds.SetDatabaseName(data_);
  TStringList list;
  list.Add("kept");
  ds.GetFiles(&list);
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(LowerCase(list.Strings(i)));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, std::vector<std::string>({"a.adt", "b.adt", "kept"}));

  // Through a connection component, which is connected for it.
  TAdsConnection conn(nullptr);
  conn.SetConnectPath(data_);
  TTestDataSet viaConn(nullptr);
  viaConn.SetAdsConnection(&conn);
  TStringList fromConn;
  viaConn.GetFiles(&fromConn);
  EXPECT_EQ(fromConn.Count(), 2);
  EXPECT_TRUE(conn.IsConnected());

  // No tables: the list is unchanged and nothing is raised.
  TTestDataSet empty(nullptr);
  empty.SetDatabaseName(Folder("Empty"));
  TStringList none;
  none.Add("x");
  EXPECT_NO_THROW(empty.GetFiles(&none));
  EXPECT_EQ(none.Count(), 1);
  // DBF mask for other table types.
  ds.SetTableType(ttAdsCDX);
  TStringList dbf;
  ds.GetFiles(&dbf);
  EXPECT_EQ(dbf.Count(), 0);
  // No database path: nothing at all.
  TTestDataSet nowhere(nullptr);
  EXPECT_NO_THROW(nowhere.GetFiles(&dbf));
  EXPECT_EQ(dbf.Count(), 0);
}

TEST_F(Lookup, DataSetRegistryFollowsLifetimes) {
  auto before = DataSetRegistry().Snapshot().size();
  auto first = std::make_unique<TTestDataSet>(nullptr);
  auto second = std::make_unique<TTestDataSet>(nullptr);
  auto items = DataSetRegistry().Snapshot();
  ASSERT_EQ(items.size(), before + 2);
  EXPECT_EQ(items[before], first.get());
  EXPECT_EQ(items[before + 1], second.get());
  // A dataset leaves its connection's list when it goes.
  TAdsConnection conn(nullptr);
  first->SetAdsConnection(&conn);
  second->SetAdsConnection(&conn);
  first.reset();
  EXPECT_EQ(conn.DataSetCount(), 1);
  EXPECT_EQ(conn.AttachedDataSet(0), second.get());
  EXPECT_EQ(DataSetRegistry().Snapshot().size(), before + 1);
}

}  // namespace
