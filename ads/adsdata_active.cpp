// The dataset core's bridge between the framework's record window and the engine cursor for
// work that goes to the engine directly: AdsActiveRecord (the engine cursor onto the active
// record) and PackTable. The extended datasets (adsfunc) build their members on them.
#include "ads/adsdata.h"

UNSIGNED32 TAdsDataSet::AdsActiveRecord() {
  CheckActive();
  if (State() == dsCalcFields) return 0;
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  // The record the window shows: the engine record number of the active buffer's bookmark
  // (the record number of the record information is a position when the dataset is
  // sequenced). An empty window shows no record.
  const UNSIGNED32 record = IsEmpty() ? 0 : BufferRecNo(ActiveBuffer());
  ADSHANDLE previous = 0;
  try {
    // Off any record (beginning or end of file) there is no previous position to answer.
    const UNSIGNED32 marked = Ace.AdsGetBookmark(table, &previous);
    if (marked == AE_NO_CURRENT_RECORD)
      previous = 0;
    else
      AceCheck(this, marked);
    AceCheck(this, Ace.AdsGotoRecord(table, record));
  } catch (const EADSDatabaseError& e) {
    if (e.ACEErrorCode() != AE_INVALID_RECORD_NUMBER) throw;
    UNSIGNED16 bof = 0;
    UNSIGNED16 eof = 0;
    AceCheck(this, Ace.AdsAtBOF(table, &bof));
    AceCheck(this, Ace.AdsAtEOF(table, &eof));
    if (bof == 0 || eof == 0) throw;  // only an empty table has no record to go to
  }
  CursorPosChanged();
  return previous;
}

void TAdsDataSet::PackTable() {
  if (!Active()) return;
  AceCheck(this, Ace.AdsPackTable(static_cast<ADSHANDLE>(mlHandle)));
  Resync(TResyncMode{});
}
