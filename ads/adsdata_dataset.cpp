// The dataset base's construction and destruction and its binding to its database:
// DataSetRegistry, the DatabaseName and AdsConnection writes, the database path,
// ConnectAndGetHandle, GetFiles and the engine-handle accessors. Opening and closing live in
// adsdata_open.cpp, field definitions in adsdata_fielddefs.cpp, buffers, navigation and field
// values in adsdata_buffers.cpp.
#include <cstring>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"

namespace {

constexpr UNSIGNED16 kFileNameLength = 260;

bool IsPath(const std::string& strName) {
  return strName.find_first_of("/\\") != std::string::npos;
}

std::string QualifiedName(const TComponent* Component) {
  return Component->Owner() != nullptr ? Component->Owner()->Name() + "." + Component->Name()
                                       : std::string();
}

}  // namespace

TAdsComponentRegistry<TAdsDataSet>& DataSetRegistry() {
  static TAdsComponentRegistry<TAdsDataSet> registry;
  return registry;
}

TAdsDataSet::TAdsDataSet(TComponent* AOwner) : TDataSet(AOwner) {
  FACEFieldDefs = std::make_unique<TACEFieldDefs>(nullptr);
  mpoIndexDefs = std::make_unique<TIndexDefs>(this);
  mpoMasterLink = std::make_unique<TMasterDataLink>(this);
  mpoMasterLink->OnMasterChange = [this](TObject*) { MasterChanged(); };
  mpoMasterLink->OnMasterDisable = [this](TObject*) { MasterDisabled(); };
  mpoIndexFiles = std::make_unique<TAdsIndexFiles>(this);
  mpoAdsTableOptions = std::make_unique<TAdsTableOptions>();
  mpoAdsTableOptions->SetTableInstance(this);
  DataSetRegistry().Add(this);
}

TAdsDataSet::~TAdsDataSet() {
  // A descendant closes in its own destructor; this close is for one that did not, while the
  // core's hooks still exist. Failures of a close at destruction are not reported.
  Destroying();
  try {
    Close();
  } catch (const Exception&) {
  }
  if (mpoAdsConnection != nullptr) mpoAdsConnection->RemoveTableFromConnectList(this);
  mpoAdsConnection = nullptr;
  delete[] FOldRecordBuffer;
  FOldRecordBuffer = nullptr;
  FreeKeyBuffers();
  DataSetRegistry().Remove(this);
}

// ---- DatabaseName and AdsConnection -----------------------------------------------------------

void TAdsDataSet::SetDatabaseName(const std::string& Value) {
  if (Active()) RaiseComponentError(this, "Cannot perform this operation on an open dataset");
  mbDisplayedPathNoExistsWarning = false;
  if (Value.empty()) {
    mstrDatabaseName.clear();
    mstrAliasPath.clear();
    GetDatabasePath();  // for its effect on the table type
    return;
  }
  {
    auto& registry = ConnectionRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.Lock());
    const uint32_t thread = GetCurrentThreadId();
    const std::vector<TAdsConnection*>& connections = registry.Items();
    auto named = [&](TAdsConnection* c) { return SameText(c->Name(), Value); };
    auto sameOwner = [&](TAdsConnection* c) { return c->Owner() == Owner(); };
    auto ownThread = [&](TAdsConnection* c) { return c->ConnectionThreadID() == thread; };
    for (int pass = 1; pass <= 4; ++pass) {
      for (TAdsConnection* c : connections) {
        bool match = false;
        switch (pass) {
          case 1:
            match = named(c) && sameOwner(c) && ownThread(c);
            break;
          case 2:
            match = named(c) && ownThread(c);
            break;
          case 3:
            match = named(c) && sameOwner(c);
            break;
          default:
            match = named(c) || (c->Owner() != nullptr && SameText(Value, QualifiedName(c)));
            break;
        }
        if (match) {
          mstrDatabaseName = Value;
          mstrAliasPath.clear();
          SetAdsConnection(c);
          return;
        }
      }
    }
  }
  std::string path;
  TAdsTableTypes type = ttAdsADT;
  mstrDatabaseName = Value;
  if (IsPath(Value) || !LookupDataSetAlias(Value, path, type)) {
    mstrAliasPath.clear();
  } else {
    mstrAliasPath = path;
    SetTableType(type);
  }
}

void TAdsDataSet::SetAdsConnection(TAdsConnection* Value) {
  if (Active()) RaiseComponentError(this, "Table must not be Active.");
  if (Value != mpoAdsConnection) {
    if (mpoAdsConnection != nullptr) mpoAdsConnection->RemoveTableFromConnectList(this);
    if (Value != nullptr) Value->AddTableToConnectList(this);
  }
  mpoAdsConnection = Value;
  mbDisplayedPathNoExistsWarning = false;
  GetDatabasePath();  // for its effect on the table type
}

// ---- The database path ------------------------------------------------------------------------

bool TAdsDataSet::GoesByConnection() const {
  if (mstrDatabaseName.empty()) return true;
  if (mpoAdsConnection == nullptr) return false;
  return SameText(mstrDatabaseName, mpoAdsConnection->Name()) ||
         (mpoAdsConnection->Owner() != nullptr &&
          SameText(mstrDatabaseName, QualifiedName(mpoAdsConnection)));
}

void TAdsDataSet::FollowConnectionTableType(TAdsConnectionTableTypes eType) {
  TAdsTableTypes type;
  switch (eType) {
    case ttAdsConnectCDX:
      type = ttAdsCDX;
      break;
    case ttAdsConnectNTX:
      type = ttAdsNTX;
      break;
    case ttAdsConnectADT:
      type = ttAdsADT;
      break;
    case ttAdsConnectVFP:
      type = ttAdsVFP;
      break;
    default:
      return;  // unspecified: the dataset keeps its own type
  }
  if (type != meTableType) SetTableType(type);
}

std::string TAdsDataSet::GetDatabasePath() {
  std::string result;
  if (!mstrAliasPath.empty()) {
    result = mstrAliasPath;
  } else if (GoesByConnection()) {
    if (mpoAdsConnection != nullptr) {
      result = mpoAdsConnection->GetConnectionPath();
      FollowConnectionTableType(mpoAdsConnection->GetAdsTableType());
    }
  } else if (IsPath(mstrDatabaseName)) {
    result = mstrDatabaseName;
  } else {
    std::string path;
    TAdsTableTypes type = ttAdsADT;
    if (LookupDataSetAlias(mstrDatabaseName, path, type)) {
      result = path;
      mstrAliasPath = path;
      if (type != meTableType) SetTableType(type);
    } else {
      result = mstrDatabaseName;
    }
  }
  if (result.size() > 1 && (result.back() == '/' || result.back() == '\\')) result.pop_back();
  return result;
}

// ---- Connection handles -----------------------------------------------------------------------

ADSHANDLE TAdsDataSet::ConnectAndGetHandle() {
  if (mpoAdsConnection != nullptr) {
    if (!mpoAdsConnection->IsConnected()) mpoAdsConnection->Connect();
    return mpoAdsConnection->ConnectionHandle();
  }
  std::string path = GetDatabasePath();
  if (path.size() == 2 && path[1] == ':') path += "\\";  // a bare drive means its root
  ADSHANDLE handle = DynamicConnList().FindSameDatabasename(path);
  if (handle == 0) handle = DynamicConnList().Add(path);
  return handle;
}

ADSHANDLE TAdsDataSet::GetAceConnectionHandle() {
  if (mlHandle == -1) return 0;  // no cursor, so no connection of one
  ADSHANDLE connection = 0;
  UNSIGNED32 result = Ace.AdsGetTableConnection(static_cast<ADSHANDLE>(mlHandle), &connection);
  if (result == AE_NO_CONNECTION) return 0;
  AceCheck(this, result);
  return connection;
}

void TAdsDataSet::InvalidateAceHandles() {
  mlHandle = -1;
  mlActiveHandle = -1;
}

// ---- Listing the database's tables ------------------------------------------------------------

void TAdsDataSet::GetFiles(TStrings* List) {
  const std::string path = GetNativeDatabasePath();
  if (path.empty()) return;
  const std::string mask = meTableType == ttAdsADT ? "*.adt" : "*.dbf";

  ADSHANDLE connection = 0;
  bool ownConnection = false;
  if (mpoAdsConnection != nullptr) {
    if (!mpoAdsConnection->IsConnected()) mpoAdsConnection->Connect();
    connection = mpoAdsConnection->ConnectionHandle();
  } else {
    connection = GetAceConnectionHandle();
    if (connection == 0) {
      std::string ansiPath = Utf8ToAnsi(path);
      AceCheck(this,
               Ace.AdsConnect(reinterpret_cast<const UNSIGNED8*>(ansiPath.c_str()), &connection));
      ownConnection = true;
    }
  }
  if (connection == 0 || connection == static_cast<ADSHANDLE>(-1))
    RaiseComponentError(this, "Internal error getting connection handle");

  const bool dictionary = mpoAdsConnection != nullptr && mpoAdsConnection->IsDictionaryConn();
  const std::string pattern = dictionary ? std::string() : Utf8ToAnsi(path + "\\" + mask);
  ADSHANDLE find = 0;
  bool haveFind = false;
  auto release = [&](bool check) {
    if (haveFind) {
      UNSIGNED32 r = Ace.AdsFindClose(connection, find);
      haveFind = false;
      if (check) AceCheck(this, r);
    }
    if (ownConnection) {
      UNSIGNED32 r = Ace.AdsDisconnect(connection);
      ownConnection = false;
      if (check) AceCheck(this, r);
    }
  };
  try {
    UNSIGNED8 name[kFileNameLength + 1] = {};
    UNSIGNED16 length = kFileNameLength;
    UNSIGNED32 result = Ace.AdsFindFirstTable(
        connection, reinterpret_cast<const UNSIGNED8*>(pattern.c_str()), name, &length, &find);
    if (result != AE_NO_MORE_TABLES) {
      AceCheck(this, result);
      haveFind = true;
      while (true) {
        name[kFileNameLength] = 0;
        List->Add(AnsiToUtf8(reinterpret_cast<const char*>(name)));
        std::memset(name, 0, sizeof name);
        length = kFileNameLength;
        result = Ace.AdsFindNextTable(connection, find, name, &length);
        if (result == AE_NO_MORE_TABLES) break;
        AceCheck(this, result);
      }
    }
  } catch (...) {
    release(false);  // the first failure is the one reported
    throw;
  }
  release(true);
}

// ---- Published properties ---------------------------------------------------------------------

VCL_REGISTER_CLASS(TAdsDataSet, [](TClassBuilder<TAdsDataSet>& c) {
  c.Prop("DatabaseName", &TAdsDataSet::DatabaseName, &TAdsDataSet::SetDatabaseName);
  c.Ref("AdsConnection", &TAdsDataSet::AdsConnection, &TAdsDataSet::SetAdsConnection);
  c.Event("OnUpdateRecord", &TAdsDataSet::GetOnUpdateRecord, &TAdsDataSet::SetOnUpdateRecord);
})
