// The extended datasets' members that move the engine cursor: to the top or bottom of the
// current order, to a record or bookmark, by a number of records, by expression (locate) and
// by key (seek), and the new record and reindex. Each posts a pending edit first and re-reads
// the dataset afterwards, so that the window shows where the engine cursor went.
#include <string>

#include "ads/adsfunc.h"

namespace {

const UNSIGNED8* Bytes(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

constexpr std::size_t kKeyCharacters = 4082;
// The length that tells the engine to read a key up to its terminating zero.
constexpr UNSIGNED16 kKeyToZero = 0xFFFF;

}  // namespace

void TAdsExtendedTable::AdsGotoTop() {
  CheckBrowseMode();
  FamilyCheck(Ace.AdsGotoTop(OrderHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsGotoBottom() {
  CheckBrowseMode();
  FamilyCheck(Ace.AdsGotoBottom(OrderHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsGotoRecord(int32_t ulRecNum) {
  CheckBrowseMode();
  const UNSIGNED32 record = CheckedUnsigned32(ulRecNum, "ulRecNum");
  FamilyCheck(Ace.AdsGotoRecord(TableHandle(), record));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsGotoBookMark(int32_t hBookmark) {
  CheckBrowseMode();
  const UNSIGNED32 bookmark = CheckedUnsigned32(hBookmark, "hBookmark");
  FamilyCheck(Ace.AdsGotoBookmark(TableHandle(), bookmark));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsAppendRecord() {
  CheckBrowseMode();
  FamilyCheck(Ace.AdsAppendRecord(TableHandle()));
  // The engine keeps a new record without a number until it is written. The blank record is
  // written at once, so that the window can show it and the members that follow (which put the
  // engine cursor on the window's record) find it.
  FamilyCheck(Ace.AdsWriteRecord(TableHandle()));
  AdsExtendResync();
}

void TAdsExtendedTable::AdsSkip(int32_t lNumRecs) {
  CheckBrowseMode();
  AdsActiveRecord();
  FamilyCheck(Ace.AdsSkip(OrderHandle(), lNumRecs));
  AdsExtendResync();
}

bool TAdsExtendedTable::AdsLocate(const std::string& strExpression, bool bForward) {
  CheckBrowseMode();
  const std::string expr = Utf8ToAnsi(strExpression);
  UNSIGNED16 found = 0;
  FamilyCheck(Ace.AdsLocate(TableHandle(), Bytes(expr), bForward ? 1 : 0, &found));
  AdsExtendResync();
  return found != 0;
}

bool TAdsExtendedTable::AdsContinue() {
  CheckBrowseMode();
  AdsActiveRecord();
  UNSIGNED16 found = 0;
  FamilyCheck(Ace.AdsContinue(TableHandle(), &found));
  AdsExtendResync();
  return found != 0;
}

bool TAdsExtendedTable::AdsSeek(const std::string& strKey, TAdsSeekTypes eSeekType) {
  CheckBrowseMode();
  const std::u16string key = Utf8ToUtf16(strKey);
  if (key.size() > kKeyCharacters)
    RaiseComponentError(
        this, "The key is longer than " + std::to_string(kKeyCharacters) + " characters.");
  UNSIGNED16 found = 0;
  FamilyCheck(Ace.AdsSeek(IndexHandle(), reinterpret_cast<const UNSIGNED8*>(key.c_str()),
                          kKeyToZero, ADS_WSTRINGKEY, AdsSeekTypeValue(eSeekType), &found));
  AdsExtendResync();
  return found != 0;
}

bool TAdsExtendedTable::AdsSeekLast(const std::string& strKey) {
  CheckBrowseMode();
  const std::u16string key = Utf8ToUtf16(strKey);
  if (key.size() > kKeyCharacters)
    RaiseComponentError(
        this, "The key is longer than " + std::to_string(kKeyCharacters) + " characters.");
  UNSIGNED16 found = 0;
  FamilyCheck(Ace.AdsSeekLast(IndexHandle(), reinterpret_cast<const UNSIGNED8*>(key.c_str()),
                              kKeyToZero, ADS_WSTRINGKEY, &found));
  AdsExtendResync();
  return found != 0;
}

void TAdsExtendedTable::AdsReindex() {
  CheckBrowseMode();
  FamilyCheck(Ace.AdsReindex61(TableHandle(), AdsTableOptions()->AdsIndexPageSize()));
  AdsExtendResync();
}

void TAdsExtendedDataSet::AdsSetRelKeyPos(double dPos) {
  CheckBrowseMode();
  FamilyCheck(Ace.AdsSetRelKeyPos(IndexHandle(), dPos));
  AdsExtendResync();
}
