// The connection component: its properties and their stored defaults, connecting and
// disconnecting with their events, adopting a handle, the name write that rebinds datasets,
// destruction, and ConnectionRegistry. The dataset side of the binding is adsdata_dataset.cpp.
#include <optional>

#include "ads/adscnnct.h"

namespace {

constexpr size_t kMaxServerPath = 254;
constexpr size_t kMaxCredential = 260;
constexpr UNSIGNED16 kPathBufferLength = 259;
constexpr UNSIGNED32 kPropertyBufferLength = 260;

bool EndsWithDictionaryExtension(const std::string& strPath) {
  return strPath.size() >= 4 && SameText(strPath.substr(strPath.size() - 4), ".ADD");
}

std::string CutTo(std::string s, size_t n) {
  if (s.size() > n) s.resize(n);
  return s;
}

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

UNSIGNED32 CompressionBits(TAdsCompressionTypes e) {
  switch (e) {
    case ccAdsCompressInternet:
      return 12;
    case ccAdsCompressAlways:
      return 4;
    case ccAdsCompressNever:
      return 8;
    default:
      return 0;
  }
}

UNSIGNED32 CommunicationBits(TAdsCommunicationType e) {
  switch (e) {
    case ctAdsUDPIP:
      return 32;
    case ctAdsIPX:
      return 64;
    case ctAdsTCPIP:
      return 128;
    default:
      return 0;
  }
}

std::string ReadConnectionProperty(ADSHANDLE hConnection, UNSIGNED16 usProperty) {
  UNSIGNED8 buffer[kPropertyBufferLength + 1] = {};
  UNSIGNED32 length = kPropertyBufferLength;
  AceCheck(nullptr, Ace.AdsGetConnectionProperty(hConnection, usProperty, buffer, &length));
  buffer[kPropertyBufferLength] = 0;
  return AnsiToUtf8(reinterpret_cast<const char*>(buffer));
}

}  // namespace

TAdsComponentRegistry<TAdsConnection>& ConnectionRegistry() {
  static TAdsComponentRegistry<TAdsConnection> registry;
  return registry;
}

// ---- Creation and destruction -----------------------------------------------------------------

TAdsConnection::TAdsConnection(TComponent* AOwner) : TComponent(AOwner) {
  FThreadID = GetCurrentThreadId();
  if (AOwner != nullptr) mFormName = AOwner->Name();
  ConnectionRegistry().Add(this);
}

TAdsConnection* TAdsConnection::CreateWithHandle(TComponent* AOwner, ADSHANDLE Handle) {
  auto* connection = new TAdsConnection(AOwner);
  try {
    connection->SetHandle(Handle, true);
  } catch (...) {
    delete connection;
    throw;
  }
  return connection;
}

TAdsConnection* TAdsConnection::CreateFromHandle(TComponent* AOwner, ADSHANDLE Handle,
                                                 const std::string& strName) {
  auto* connection = new TAdsConnection(AOwner);
  try {
    connection->SetLoginPrompt(false);
    connection->SetHandle(Handle, false);
    connection->SetName(strName);
  } catch (...) {
    delete connection;
    throw;
  }
  return connection;
}

TAdsConnection::~TAdsConnection() {
  std::vector<TAdsDataSet*> attached = FTablesList;
  FTablesList.clear();
  if (FConnected) {
    for (TAdsDataSet* dataset : attached) {
      try {
        dataset->Close();
      } catch (...) {
        // A destructor cannot pass the failure on; the dataset forgets its handles below.
      }
      dataset->InvalidateAceHandles();
      dataset->mpoAdsConnection = nullptr;
    }
    ServicesBeforeDisconnect();
    if (FGivenConnection == 0) {
      // Any answer is accepted here: raising from a destructor would end the program.
      Ace.AdsDisconnect(FhConnection);
    }
    try {
      DoOnDisconnect();
    } catch (...) {
      // A handler's failure cannot leave a destructor either.
    }
    FhConnection = 0;
    FConnected = false;
  } else {
    for (TAdsDataSet* dataset : attached) dataset->mpoAdsConnection = nullptr;
  }
  ConnectionRegistry().Remove(this);
}

// ---- Alias and path ---------------------------------------------------------------------------

void TAdsConnection::SetAliasName(const std::string& Value) {
  if (FConnected)
    throw AdsConnectionError(
        "The TAdsConnection.AliasName may not be changed when IsConnected is TRUE");
  FValidAlias = true;
  if (Value.empty()) {
    FAliasName.clear();
    mstrAliasPath.clear();
    meAliasTableType = ttAdsConnectUnspecified;
    return;
  }
  std::string path;
  TAdsConnectionTableTypes type = ttAdsConnectUnspecified;
  if (LookupConnectionAlias(Value, path, type)) {
    FConnectString.clear();
    FAliasName = Value;
    mstrAliasPath = path;
    meAliasTableType = type;
    FIsDictionaryConn = EndsWithDictionaryExtension(path);
    ApplyAliasTypeToOwnedDataSets();
  } else {
    FValidAlias = false;
    FAliasName = Value;
    mstrAliasPath.clear();
    meAliasTableType = ttAdsConnectUnspecified;
  }
}

void TAdsConnection::ApplyAliasTypeToOwnedDataSets() {
  if (Owner() == nullptr) return;
  for (int i = 0; i < Owner()->ComponentCount(); ++i) {
    auto* dataset = dynamic_cast<TAdsDataSet*>(Owner()->Components(i));
    if (dataset == nullptr || dataset->mpoAdsConnection != this) continue;
    if (dataset->DatabaseName().empty() || dataset->DatabaseName() == Name())
      dataset->FollowConnectionTableType(meAliasTableType);
  }
}

void TAdsConnection::SetConnectPath(const std::string& Value) {
  if (FConnected)
    throw AdsConnectionError(
        "The TAdsConnection.ConnectPath may not be changed when IsConnected is TRUE");
  FConnectString = Value;
  FIsDictionaryConn = EndsWithDictionaryExtension(Value);
  FAliasName.clear();
  mstrAliasPath.clear();
  meAliasTableType = ttAdsConnectUnspecified;
}

std::string TAdsConnection::GetConnectionWithDDPath() const {
  return FConnectString.empty() ? mstrAliasPath : FConnectString;
}

std::string TAdsConnection::GetConnectionPath() const {
  std::string path = GetConnectionWithDDPath();
  if (path.size() > 4 && path[path.size() - 4] == '.' &&
      SameText(path.substr(path.size() - 3), "ADD")) {
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) return path.substr(0, slash);
    size_t backslash = path.rfind('\\');
    if (backslash != std::string::npos) return path.substr(0, backslash);
    return ".\\";
  }
  return path;
}

// ---- Connecting and disconnecting -------------------------------------------------------------

void TAdsConnection::SetIsConnected(bool Value) {
  if (Value == FConnected) return;
  if (Value && ComponentState().Contains(csReading)) {
    bConnectAfterLoad = true;  // connected in Loaded, once every property has been read
    return;
  }
  if (Value) {
    ConnectNow();
  } else {
    DisconnectNow();
  }
}

void TAdsConnection::ConnectNow() {
  Fire(BeforeConnect);
  if (!FValidAlias) {
    SetAliasName(FAliasName);  // a fresh look-up: the alias file may have changed
    if (!FValidAlias) throw AdsConnectionError("TAdsConnection.AliasName is not valid");
  }
  std::string path = GetConnectionWithDDPath();
  if (path.empty()) {
    FConnected = false;
    throw AdsConnectionError("Must specify connection string before getting a server connection.");
  }
  path = CutTo(Utf8ToAnsi(path), kMaxServerPath);
  if (FGivenConnection != 0) {
    FhConnection = FGivenConnection;
  } else {
    ConnectToServer(path);
  }
  FConnected = true;
  ServicesAfterConnect(FGivenConnection == 0);
  if (FIsDictionaryConn) {
    const std::vector<TAdsDataSet*> attached = FTablesList;
    for (TAdsDataSet* dataset : attached) dataset->UpdateDefaultIndex();
  }
  Fire(AfterConnect);
  DoOnConnect();
}

void TAdsConnection::ConnectToServer(const std::string& strServerPath) {
  std::string user = FUsername;
  std::string password = FPassword;
  if (FLoginPrompt && FIsDictionaryConn) {
    if (OnLogin) {
      user.clear();
      password.clear();
      OnLogin(this, user, password);
    }
    // Without a handler the stored credentials are used: this framework has no login dialog.
    FUsername = user;
    if (!ComponentState().Contains(csDesigning)) FPassword = password;
  }
  if (!FIsDictionaryConn) {
    user.clear();
    password.clear();
  }
  user = CutTo(Utf8ToAnsi(user), kMaxCredential);
  password = CutTo(Utf8ToAnsi(password), kMaxCredential);

  UNSIGNED16 types = 0;
  if (FAdsServerTypes.Contains(stADS_REMOTE)) types |= ADS_REMOTE_SERVER;
  if (FAdsServerTypes.Contains(stADS_LOCAL)) types |= ADS_LOCAL_SERVER;
  if (FAdsServerTypes.Contains(stADS_AIS)) types |= ADS_AIS_SERVER;
  UNSIGNED32 options = (FMiddleTierConn ? 1u : 0u) | (FStoredProcConn ? 2u : 0u) |
                       CompressionBits(FAdsCompression) | CommunicationBits(FAdsCommunicationType);

  ADSHANDLE handle = 0;
  AceCheck(nullptr, Ace.AdsConnect60(Bytes(strServerPath), types, Bytes(user), Bytes(password),
                                     options, &handle));
  FhConnection = handle;
}

void TAdsConnection::DisconnectNow() {
  Fire(BeforeDisconnect);
  std::vector<TAdsDataSet*> attached = FTablesList;
  for (TAdsDataSet* dataset : attached) {
    try {
      dataset->Close();
    } catch (const Exception&) {
      // A dataset that fails to close does not stop the disconnect.
    }
    dataset->InvalidateAceHandles();
  }
  ServicesBeforeDisconnect();
  std::optional<AdsError> failure;
  if (FGivenConnection == 0) {
    UNSIGNED32 result = Ace.AdsDisconnect(FhConnection);
    if (result != 0) failure.emplace(static_cast<int>(result));
  }
  FConnected = false;
  FhConnection = 0;
  Fire(AfterDisconnect);
  DoOnDisconnect();
  if (failure) throw *failure;
}

void TAdsConnection::Loaded() {
  TComponent::Loaded();
  if (bConnectAfterLoad && !FConnected) {
    bConnectAfterLoad = false;
    SetIsConnected(true);
  }
}

std::string TAdsConnection::ConnectionType() {
  if (!FConnected) return "";
  UNSIGNED16 type = 0;
  UNSIGNED32 result = Ace.AdsGetConnectionType(FhConnection, &type);
  if (result != 0) throw AdsError(static_cast<int>(result));
  switch (type) {
    case ADS_LOCAL_SERVER:
      return "Local";
    case ADS_REMOTE_SERVER:
      return "Remote";
    case ADS_AIS_SERVER:
      return "Internet";
    default:
      return "";
  }
}

// ---- Adopting a handle ------------------------------------------------------------------------

void TAdsConnection::SetHandle(ADSHANDLE hConnection, bool bShareHandle) {
  if (FConnected || FhConnection != 0)
    throw AdsConnectionError("TAdsConnection already has a working connection");
  UNSIGNED8 path[kPathBufferLength + 1] = {};
  UNSIGNED16 length = kPathBufferLength;
  if (Ace.AdsGetConnectionPath(hConnection, path, &length) != 0)
    throw AdsConnectionError(
        "TAdsConnection cannot resolve the connection path from the given connection handle.");
  SetConnectPath(AnsiToUtf8(reinterpret_cast<const char*>(path)));
  FUsername = ReadConnectionProperty(hConnection, ADS_CONNECTIONPROP_USERNAME);
  FPassword = ReadConnectionProperty(hConnection, ADS_CONNECTIONPROP_PASSWORD);
  UNSIGNED16 type = 0;
  AceCheck(nullptr, Ace.AdsGetConnectionType(hConnection, &type));
  if (type & ADS_REMOTE_SERVER) FAdsServerTypes.Include(stADS_REMOTE);
  if (type & ADS_LOCAL_SERVER) FAdsServerTypes.Include(stADS_LOCAL);
  if (type & ADS_AIS_SERVER) FAdsServerTypes.Include(stADS_AIS);
  if (bShareHandle) FGivenConnection = hConnection;
  SetIsConnected(true);
}

// ---- Attached datasets ------------------------------------------------------------------------

void TAdsConnection::AddTableToConnectList(TAdsDataSet* Table) {
  FTablesList.push_back(Table);
}

void TAdsConnection::RemoveTableFromConnectList(TAdsDataSet* oCallee) {
  for (auto it = FTablesList.begin(); it != FTablesList.end(); ++it) {
    if (*it == oCallee) {
      FTablesList.erase(it);
      return;
    }
  }
}

TAdsDataSet* TAdsConnection::AttachedDataSet(int Index) const {
  if (Index < 0 || Index >= DataSetCount())
    throw EListError(Format("Listenindex überschreitet das Maximum (%d)", Index));
  return FTablesList[static_cast<size_t>(Index)];
}

// ---- Naming -----------------------------------------------------------------------------------

void TAdsConnection::SetName(const std::string& NewName) {
  std::string oldName = Name();
  TComponent::SetName(NewName);
  if (Name() == oldName || Owner() == nullptr) return;
  RebindDataSets(oldName);
}

void TAdsConnection::RebindDataSets(const std::string& strOldName) {
  auto& registry = DataSetRegistry();
  std::lock_guard<std::recursive_mutex> guard(registry.Lock());
  const std::string ownerName = Owner()->Name();
  const std::vector<TAdsDataSet*> datasets = registry.Items();
  auto attachedElsewhere = [this](TAdsDataSet* d) {
    return d->mpoAdsConnection != nullptr && d->mpoAdsConnection != this;
  };
  for (TAdsDataSet* dataset : datasets) {
    if (!strOldName.empty() && !attachedElsewhere(dataset)) {
      if (SameText(dataset->DatabaseName(), strOldName)) {
        dataset->SetDatabaseName(Name());
      } else if (SameText(dataset->DatabaseName(), ownerName + "." + strOldName)) {
        dataset->SetDatabaseName(ownerName + "." + Name());
      }
    }
    // A dataset of an owner of the same name that named this connection before it had the
    // name binds now (the description's order puts datasets before their connection).
    if (!Name().empty() && dataset->Owner() != nullptr && !attachedElsewhere(dataset) &&
        SameText(ownerName + "." + Name(),
                 dataset->Owner()->Name() + "." + dataset->DatabaseName())) {
      dataset->SetDatabaseName(Name());
    }
  }
}

// ---- Published properties ---------------------------------------------------------------------

namespace {
#define ADS_EVENT_SETTER(Event)                               \
  void Set##Event(TAdsConnection& c, const TNotifyEvent& e) { \
    c.Event = e;                                              \
  }
ADS_EVENT_SETTER(AfterCommit)
ADS_EVENT_SETTER(BeforeCommit)
ADS_EVENT_SETTER(AfterRollback)
ADS_EVENT_SETTER(BeforeRollback)
ADS_EVENT_SETTER(OnConnect)
ADS_EVENT_SETTER(OnDisconnect)
ADS_EVENT_SETTER(AfterConnect)
ADS_EVENT_SETTER(AfterDisconnect)
ADS_EVENT_SETTER(BeforeConnect)
ADS_EVENT_SETTER(BeforeDisconnect)
#undef ADS_EVENT_SETTER
void SetOnLogin(TAdsConnection& c, const TAdsDatabaseLoginEvent& e) {
  c.OnLogin = e;
}
}  // namespace

VCL_REGISTER_CLASS(TAdsConnection, [](TClassBuilder<TAdsConnection>& c) {
  using T = TAdsConnection;
  c.Prop("AliasName", &T::AliasName, &T::SetAliasName);
  c.Prop("IsConnected", &T::IsConnected, &T::SetIsConnected, false).Stored(&T::StoreConnected);
  c.Prop("ConnectPath", &T::ConnectPath, &T::SetConnectPath);
  c.Set("AdsServerTypes", &T::AdsServerTypes, &T::SetAdsServerTypes,
        {"stADS_REMOTE", "stADS_LOCAL", "stADS_AIS"});
  c.Prop("LoginPrompt", &T::LoginPrompt, &T::SetLoginPrompt, true);
  c.Prop("Username", &T::Username, &T::SetUsername);
  c.Prop("Password", &T::Password, &T::SetPassword);
  c.Prop("MiddleTierConnection", &T::MiddleTierConnection, &T::SetMiddleTierConnection, false);
  c.Prop("StoredProcedureConnection", &T::StoredProcedureConnection,
         &T::SetStoredProcedureConnection, false);
  c.Prop("StoreConnected", &T::StoreConnected, &T::SetStoreConnected, true);
  c.Enum("Compression", &T::Compression, &T::SetCompression,
         {"ccAdsCompressionNotSet", "ccAdsCompressInternet", "ccAdsCompressAlways",
          "ccAdsCompressNever"},
         ccAdsCompressionNotSet);
  c.Enum("CommunicationType", &T::CommunicationType, &T::SetCommunicationType,
         {"ctAdsDefault", "ctAdsUDPIP", "ctAdsIPX", "ctAdsTCPIP"}, ctAdsDefault);
  c.Prop("ReadOnly", &T::ReadOnly, &T::SetReadOnly, false);
  c.Prop("AdsCollation", &T::AdsCollation, &T::SetAdsCollation);
  c.Event("AfterCommit", &T::AfterCommit, &SetAfterCommit);
  c.Event("BeforeCommit", &T::BeforeCommit, &SetBeforeCommit);
  c.Event("AfterRollback", &T::AfterRollback, &SetAfterRollback);
  c.Event("BeforeRollback", &T::BeforeRollback, &SetBeforeRollback);
  c.Event("OnConnect", &T::OnConnect, &SetOnConnect);
  c.Event("OnDisconnect", &T::OnDisconnect, &SetOnDisconnect);
  c.Event("OnLogin", &T::OnLogin, &SetOnLogin);
  c.Event("AfterConnect", &T::AfterConnect, &SetAfterConnect);
  c.Event("AfterDisconnect", &T::AfterDisconnect, &SetAfterDisconnect);
  c.Event("BeforeConnect", &T::BeforeConnect, &SetBeforeConnect);
  c.Event("BeforeDisconnect", &T::BeforeDisconnect, &SetBeforeDisconnect);
})
