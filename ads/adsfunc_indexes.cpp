// The extended datasets' members on indexes: the current index's properties, keys and scopes,
// and the table's indexes (handles, order, lookup, opening, closing, creating and deleting).
// Opening, closing, creating and deleting send the property-change notification to the
// dataset's links, so that index lists and definitions are read again.
#include <string>
#include <vector>

#include "ads/adsfunc.h"

namespace {

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

constexpr std::size_t kExpressionBuffer = 510;
constexpr std::size_t kFileNameBuffer = 255;
constexpr std::size_t kIndexNameBuffer = 261;
constexpr std::size_t kKeyBuffer = 4082;
constexpr std::size_t kTagLength = 128;
constexpr UNSIGNED16 kIndexHandleRoom = 256;

}  // namespace

// ---- The current index ---------------------------------------------------------------------

uint16_t TAdsExtendedTable::AdsGetKeyLength() {
  UNSIGNED16 length = 0;
  FamilyCheck(Ace.AdsGetKeyLength(IndexHandle(), &length));
  return length;
}

TAdsExpressionTypes TAdsExtendedTable::AdsGetKeyType() {
  UNSIGNED16 type = 0;
  FamilyCheck(Ace.AdsGetKeyType(IndexHandle(), &type));
  return AdsExpressionTypeOf(type);
}

int32_t TAdsExtendedDataSet::AdsGetKeyCount() {
  UNSIGNED32 count = 0;
  FamilyCheck(Ace.AdsGetKeyCount(IndexHandle(), CountingOption(), &count));
  return CheckedSigned32(count, "AdsGetKeyCount");
}

std::string TAdsExtendedTable::AdsGetIndexCondition() {
  UNSIGNED8 text[kExpressionBuffer + 1] = {};
  UNSIGNED16 length = kExpressionBuffer;
  FamilyCheck(Ace.AdsGetIndexCondition(IndexHandle(), text, &length));
  return ResultText(text, kExpressionBuffer);
}

std::string TAdsExtendedTable::AdsGetIndexExpr() {
  UNSIGNED8 text[kExpressionBuffer + 1] = {};
  UNSIGNED16 length = kExpressionBuffer;
  FamilyCheck(Ace.AdsGetIndexExpr(IndexHandle(), text, &length));
  return ResultText(text, kExpressionBuffer);
}

std::string TAdsExtendedTable::AdsGetIndexFileName(TAdsFilenameOptions eOption) {
  UNSIGNED8 text[kFileNameBuffer + 1] = {};
  UNSIGNED16 length = kFileNameBuffer;
  FamilyCheck(
      Ace.AdsGetIndexFilename(IndexHandle(), AdsFilenameOptionValue(eOption), text, &length));
  return ResultText(text, kFileNameBuffer);
}

bool TAdsExtendedTable::AdsIsIndexCompound() {
  UNSIGNED16 flag = 0;
  FamilyCheck(Ace.AdsIsIndexCompound(IndexHandle(), &flag));
  return flag != 0;
}

bool TAdsExtendedTable::AdsIsIndexCustom() {
  UNSIGNED16 flag = 0;
  FamilyCheck(Ace.AdsIsIndexCustom(IndexHandle(), &flag));
  return flag != 0;
}

bool TAdsExtendedTable::AdsIsIndexDescending() {
  UNSIGNED16 flag = 0;
  FamilyCheck(Ace.AdsIsIndexDescending(IndexHandle(), &flag));
  return flag != 0;
}

bool TAdsExtendedTable::AdsIsIndexUnique() {
  UNSIGNED16 flag = 0;
  FamilyCheck(Ace.AdsIsIndexUnique(IndexHandle(), &flag));
  return flag != 0;
}

std::string TAdsExtendedTable::AdsGetScope(TAdsScopeOptions eScopeOption) {
  std::vector<UNSIGNED8> key(kKeyBuffer + 1, 0);
  UNSIGNED16 length = kKeyBuffer;
  FamilyCheck(
      Ace.AdsGetScope(IndexHandle(), AdsScopeOptionValue(eScopeOption), key.data(), &length));
  return ResultText(key.data(), std::min<std::size_t>(length, kKeyBuffer));
}

std::string TAdsExtendedTable::AdsGetIndexName(int32_t hIndexHandle) {
  const UNSIGNED32 requested = CheckedUnsigned32(hIndexHandle, "hIndexHandle");
  const ADSHANDLE index = requested == 0 ? IndexHandle() : requested;
  UNSIGNED8 text[kIndexNameBuffer + 1] = {};
  UNSIGNED16 length = kIndexNameBuffer;
  FamilyCheck(Ace.AdsGetIndexName(index, text, &length));
  return ResultText(text, kIndexNameBuffer);
}

// ---- The indexes of the table ----------------------------------------------------------------

int32_t TAdsExtendedTable::AdsGetIndexHandle(const std::string& strIndexOrder) {
  return CheckedSigned32(IndexHandleByName(strIndexOrder), "AdsGetIndexHandle");
}

int32_t TAdsExtendedTable::AdsGetIndexHandleByOrder(int32_t usOrderNum) {
  const UNSIGNED16 order = CheckedUnsigned16(usOrderNum, "usOrderNum");
  ADSHANDLE index = 0;
  FamilyCheck(Ace.AdsGetIndexHandleByOrder(TableHandle(), order, &index));
  return CheckedSigned32(index, "AdsGetIndexHandleByOrder");
}

void TAdsExtendedTable::AdsSetIndexByOrder(int32_t usOrderNum) {
  const UNSIGNED16 order = CheckedUnsigned16(usOrderNum, "usOrderNum");
  if (order == 0) {
    SetIndexName(std::string());
    return;
  }
  ADSHANDLE index = 0;
  FamilyCheck(Ace.AdsGetIndexHandleByOrder(TableHandle(), order, &index));
  UNSIGNED8 text[kIndexNameBuffer + 1] = {};
  UNSIGNED16 length = kIndexNameBuffer;
  FamilyCheck(Ace.AdsGetIndexName(index, text, &length));
  SetIndexName(ResultText(text, kIndexNameBuffer));
}

uint16_t TAdsExtendedTable::AdsGetAllIndexes(std::span<ADSHANDLE> ahIndex) {
  // An array longer than the engine can count is offered as far as it can.
  UNSIGNED16 count = static_cast<UNSIGNED16>(std::min<std::size_t>(ahIndex.size(), UINT16_MAX));
  FamilyCheck(Ace.AdsGetAllIndexes(TableHandle(), ahIndex.data(), &count));
  return count;
}

uint16_t TAdsExtendedTable::AdsGetNumIndexes() {
  UNSIGNED16 count = 0;
  FamilyCheck(Ace.AdsGetNumIndexes(TableHandle(), &count));
  return count;
}

bool TAdsExtendedTable::AdsLookupKey(const std::string& strTag, const std::string& strKey) {
  const ADSHANDLE index = IndexHandleByName(strTag);
  const std::string key = EngineText(strKey, kKeyBuffer, "The key");
  UNSIGNED16 found = 0;
  FamilyCheck(Ace.AdsLookupKey(index, Bytes(key), static_cast<UNSIGNED16>(key.size()),
                               ADS_STRINGKEY, &found));
  return found != 0;
}

void TAdsExtendedTable::AdsOpenIndex(const std::string& strIndexName) {
  const std::string path = FileNameText(strIndexName);
  ADSHANDLE handles[kIndexHandleRoom] = {};
  UNSIGNED16 count = kIndexHandleRoom;
  FamilyCheck(Ace.AdsOpenIndex(TableHandle(), Bytes(path), handles, &count));
  IndexesChanged();
}

void TAdsExtendedTable::AdsCloseIndex(const std::string& strTag) {
  const std::string tag = EngineText(strTag, kTagLength, "The index name");
  const ADSHANDLE table = TableHandle();
  ADSHANDLE index = 0;
  const UNSIGNED32 found = Ace.AdsGetIndexHandle(table, Bytes(tag), &index);
  if (found == AE_NO_SUCH_INDEX_TAG) {
    // Not the name of an open index: the name of an index file. It is opened to find a handle
    // of it; a file with more indexes than the one handle asked for is open all the same, and
    // one that was open already is found among the open indexes.
    const std::string path = FileNameText(strTag);
    ADSHANDLE handle = 0;
    UNSIGNED16 count = 1;
    const UNSIGNED32 opened = Ace.AdsOpenIndex(table, Bytes(path), &handle, &count);
    if (opened == AE_INDEX_ALREADY_OPEN) {
      handle = OpenIndexOfFile(strTag);
    } else if (opened != AE_INSUFFICIENT_BUFFER || count == 0) {
      FamilyCheck(opened);
    }
    index = handle;
  } else {
    FamilyCheck(found);
  }
  LeaveOrderBefore(index, true);
  FamilyCheck(Ace.AdsCloseIndex(index));
  IndexesChanged();
}

ADSHANDLE TAdsExtendedTable::OpenIndexOfFile(const std::string& strFileName) {
  // File names compare as the engine gives them, without directory and without regard to
  // case; a name without extension compares with the base names.
  std::string wanted = strFileName;
  const auto slash = wanted.find_last_of("/\\");
  if (slash != std::string::npos) wanted = wanted.substr(slash + 1);
  const bool withExtension = wanted.find('.') != std::string::npos;
  wanted = UpperCase(wanted);
  const ADSHANDLE table = TableHandle();
  UNSIGNED16 count = 0;
  FamilyCheck(Ace.AdsGetNumIndexes(table, &count));
  std::vector<ADSHANDLE> handles(std::max<UNSIGNED16>(count, 1), 0);
  FamilyCheck(Ace.AdsGetAllIndexes(table, handles.data(), &count));
  for (UNSIGNED16 i = 0; i < count && i < handles.size(); ++i) {
    UNSIGNED8 text[kFileNameBuffer + 1] = {};
    UNSIGNED16 length = kFileNameBuffer;
    FamilyCheck(Ace.AdsGetIndexFilename(
        handles[i], withExtension ? ADS_BASENAMEANDEXT : ADS_BASENAME, text, &length));
    if (UpperCase(ResultText(text, kFileNameBuffer)) == wanted) return handles[i];
  }
  // The engine said the file is open but no open index belongs to it.
  return static_cast<ADSHANDLE>(-1);
}

void TAdsExtendedTable::AdsCloseAllIndexes() {
  LeaveOrderBefore(0, true);
  FamilyCheck(Ace.AdsCloseAllIndexes(TableHandle()));
  IndexesChanged();
}

void TAdsExtendedTable::AdsDeleteIndex(const std::string& strTag) {
  const ADSHANDLE index = IndexHandleByName(strTag);
  LeaveOrderBefore(index, false);
  FamilyCheck(Ace.AdsDeleteIndex(index));
  IndexesChanged();
}

void TAdsExtendedDataSet::AdsCreateIndex(const std::string& strFileName,
                                         const std::string& strTagName,
                                         const std::string& strExpression,
                                         const std::string& strCondition,
                                         const std::string& strWhile,
                                         TAdsIndexOptions setIndexOptions) {
  const std::string file = FileNameText(strFileName);
  const std::string tag = EngineText(strTagName, kTagLength, "The index name");
  const std::string expr = EngineText(strExpression, kExpressionBuffer, "The index expression");
  const std::string condition = EngineText(strCondition, kExpressionBuffer, "The index condition");
  const std::string whileCondition = EngineText(strWhile, kExpressionBuffer, "The while condition");
  const std::string collation = Utf8ToAnsi(GetEffectiveCollation());
  ADSHANDLE index = 0;
  FamilyCheck(
      Ace.AdsCreateIndex90(TableHandle(), Bytes(file), Bytes(tag), Bytes(expr), Bytes(condition),
                           Bytes(whileCondition), AdsIndexOptionBits(setIndexOptions),
                           AdsTableOptions()->AdsIndexPageSize(), Bytes(collation), &index));
  IndexesChanged();
}
