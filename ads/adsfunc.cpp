// The extended datasets' common part: class registration, the engine values of the members'
// enumerations, the helpers every member file uses (the family's check, handles, counting
// option, texts in fixed buffers, range tests) and AdsExtendResync. The members themselves
// live in adsfunc_*.cpp.
#include <climits>
#include <cstring>
#include <string>

#include "ads/adsfunc.h"

// ---- Engine values of the enumerations -----------------------------------------------------

UNSIGNED16 AdsScopeOptionValue(TAdsScopeOptions e) {
  return e == soBOTTOM ? ADS_BOTTOM : ADS_TOP;
}

UNSIGNED16 AdsSeekTypeValue(TAdsSeekTypes e) {
  return e == stHARD ? ADS_HARDSEEK : ADS_SOFTSEEK;
}

UNSIGNED16 AdsFilenameOptionValue(TAdsFilenameOptions e) {
  switch (e) {
    case foBASENAME:
      return ADS_BASENAME;
    case foBASENAMEANDEXT:
      return ADS_BASENAMEANDEXT;
    case foFULLPATHNAME:
      break;
  }
  return ADS_FULLPATHNAME;
}

UNSIGNED16 AdsTrimOptionValue(TAdsTrimOptions e) {
  switch (e) {
    case optNONE:
      return ADS_NONE;
    case optLTRIM:
      return ADS_LTRIM;
    case optRTRIM:
      return ADS_RTRIM;
    case optTRIM:
      break;
  }
  return ADS_TRIM;
}

UNSIGNED16 AdsBinaryTypeValue(TAdsBinaryTypes e) {
  return e == btIMAGE ? ADS_IMAGE : ADS_BINARY;
}

UNSIGNED16 AdsAOFCustomizeValue(TAdsAOFCustomizeOptions e) {
  switch (e) {
    case coADD:
      return ADS_AOF_ADD_RECORD;
    case coREMOVE:
      return ADS_AOF_REMOVE_RECORD;
    case coTOGGLE:
      break;
  }
  return ADS_AOF_TOGGLE_RECORD;
}

UNSIGNED32 AdsIndexOptionBits(TAdsIndexOptions s) {
  static constexpr struct {
    TAdsIndexOption option;
    UNSIGNED32 bit;
  } kBits[] = {{optUNIQUE, 1},       {optCOMPOUND, 2},     {optCUSTOM, 4},   {optDESCENDING, 8},
               {optUSERDEFINED, 16}, {optCANDIDATE, 2048}, {optBINARY, 4096}};
  UNSIGNED32 bits = 0;
  for (const auto& b : kBits)
    if (s.Contains(b.option)) bits |= b.bit;
  return bits;
}

UNSIGNED16 AdsTableTypeValue(TAdsTableTypes e) {
  switch (e) {
    case ttAdsNTX:
      return ADS_NTX;
    case ttAdsCDX:
      return ADS_CDX;
    case ttAdsVFP:
      return ADS_VFP;
    case ttAdsADT:
    case ttAdsDefault:
      break;
  }
  return ADS_ADT;
}

TAdsHandleTypes AdsHandleTypeOf(UNSIGNED16 usType) {
  return usType == ADS_INDEX_ORDER ? htINDEX : htTABLE;
}

TAdsExpressionTypes AdsExpressionTypeOf(UNSIGNED16 usType) {
  switch (usType) {
    case 1:
      return etLOGICAL;
    case 2:
      return etNUMERIC;
    case 3:
      return etDATE;
    case 16:
      return etRAW;
    default:
      return etSTRING;
  }
}

TAdsMemoDataTypes AdsMemoDataTypeOf(UNSIGNED16 usType) {
  switch (usType) {
    case ADS_BINARY:
      return mdtBINARY;
    case ADS_IMAGE:
      return mdtIMAGE;
    default:
      return mdtMEMO;
  }
}

TAdsFieldTypes AdsFieldTypeOf(UNSIGNED16 usType) {
  if (usType >= 1 && usType <= AdsfldNMEMO + 1) return static_cast<TAdsFieldTypes>(usType - 1);
  return AdsfldSTRING;
}

TAdsAOFOptimizeLevel AdsOptimizeLevelOf(UNSIGNED16 usLevel) {
  switch (usLevel) {
    case ADS_OPTIMIZED_FULL:
      return olFULL;
    case ADS_OPTIMIZED_PART:
      return olPART;
    default:
      return olNONE;
  }
}

// ---- Helpers of the member files -------------------------------------------------------------

void TAdsExtendedDataSet::FamilyCheck(UNSIGNED32 ulResult) {
  if (ulResult != AE_NO_CURRENT_RECORD) AceCheck(this, ulResult);
}

ADSHANDLE TAdsExtendedDataSet::IndexOrTableHandle() const {
  const int32_t index = GetAceIndexHandle();
  return static_cast<ADSHANDLE>(index != -1 ? index : GetAceTableHandle());
}

UNSIGNED16 TAdsExtendedDataSet::CountingOption() const {
  const TAdsTableOptions* options = AdsTableOptions();
  if (options->AdsFilterOptions() == RESPECT_WHEN_COUNTING) return ADS_RESPECTFILTERS;
  if (options->AdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING) return ADS_RESPECTSCOPES;
  return ADS_IGNOREFILTERS;
}

std::string TAdsExtendedDataSet::EngineText(const std::string& strValue, std::size_t usCapacity,
                                            const char* strWhat) {
  std::string text = Utf8ToAnsi(strValue);
  // A cut text could name another field, index or file: it is refused instead.
  if (text.size() > usCapacity)
    RaiseComponentError(this, std::string(strWhat) + " is longer than " +
                                  std::to_string(usCapacity) + " characters.");
  return text;
}

std::string TAdsExtendedDataSet::FieldNameText(const std::string& strFieldName) {
  return EngineText(strFieldName, 128, "The field name");
}

std::string TAdsExtendedDataSet::FileNameText(const std::string& strFileName) {
  return EngineText(strFileName, 260, "The file name");
}

std::string TAdsExtendedDataSet::ResultText(const UNSIGNED8* pucBuffer, std::size_t usLength) {
  const char* text = reinterpret_cast<const char*>(pucBuffer);
  return AnsiToUtf8(std::string(text, strnlen(text, usLength)));
}

UNSIGNED32 TAdsExtendedDataSet::CheckedUnsigned32(int32_t lValue, const char* strWhat) {
  if (lValue < 0)
    throw ERangeError(std::string("Bereichsüberschreitung: ") + strWhat + " " +
                      std::to_string(lValue));
  return static_cast<UNSIGNED32>(lValue);
}

UNSIGNED16 TAdsExtendedDataSet::CheckedUnsigned16(int32_t lValue, const char* strWhat) {
  if (lValue < 0 || lValue > UINT16_MAX)
    throw ERangeError(std::string("Bereichsüberschreitung: ") + strWhat + " " +
                      std::to_string(lValue));
  return static_cast<UNSIGNED16>(lValue);
}

int32_t TAdsExtendedDataSet::CheckedSigned32(UNSIGNED32 ulValue, const char* strWhat) {
  if (ulValue > static_cast<UNSIGNED32>(INT32_MAX))
    throw ERangeError(std::string("Bereichsüberschreitung: ") + strWhat + " " +
                      std::to_string(ulValue));
  return static_cast<int32_t>(ulValue);
}

ADSHANDLE TAdsExtendedDataSet::IndexHandleByName(const std::string& strTag) {
  const std::string tag = EngineText(strTag, 128, "The index name");
  ADSHANDLE index = 0;
  FamilyCheck(Ace.AdsGetIndexHandle(TableHandle(), reinterpret_cast<const UNSIGNED8*>(tag.c_str()),
                                    &index));
  return index;
}

void TAdsExtendedDataSet::LeaveOrderBefore(ADSHANDLE hIndex, bool bWholeFile) {
  if (GetAceIndexHandle() == -1) return;
  const ADSHANDLE current = IndexHandle();
  bool goes = hIndex == 0 || hIndex == current;
  if (!goes && bWholeFile) {
    // Two indexes of one file: the same full file name.
    auto fileOf = [this](ADSHANDLE h) {
      UNSIGNED8 name[261] = {};
      UNSIGNED16 length = 260;
      AceCheck(this, Ace.AdsGetIndexFilename(h, ADS_FULLPATHNAME, name, &length));
      return std::string(reinterpret_cast<const char*>(name),
                         strnlen(reinterpret_cast<const char*>(name), 260));
    };
    goes = fileOf(hIndex) == fileOf(current);
  }
  if (goes) SetIndexName(std::string());
}

void TAdsExtendedDataSet::IndexesChanged() {
  DataEvent(dePropertyChange, 0);
}

// ---- Re-reading the dataset ------------------------------------------------------------------

void TAdsExtendedDataSet::AdsExtendResync() {
  UNSIGNED16 eof = 0;
  UNSIGNED16 bof = 0;
  FamilyCheck(Ace.AdsAtEOF(TableHandle(), &eof));
  FamilyCheck(Ace.AdsAtBOF(TableHandle(), &bof));
  CursorPosChanged();
  if (bof != 0)
    First();
  else if (eof != 0)
    Last();
  else
    Resync(TResyncMode{});
}

// ---- Class registration ----------------------------------------------------------------------

VCL_REGISTER_CLASS(TAdsExtendedDataSet, [](TClassBuilder<TAdsExtendedDataSet>&) {})
VCL_REGISTER_CLASS(TAdsExtendedTable, [](TClassBuilder<TAdsExtendedTable>&) {})
