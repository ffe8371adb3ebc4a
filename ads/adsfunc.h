// The extended datasets: TAdsExtendedDataSet (the base of the table and the query) and
// TAdsExtendedTable (the base of the table). They give an application the engine operations
// that the dataset interface has no place for, as public methods named after the engine
// functions they call; they add no state of their own. Parts of this module live in
// adsfunc_*.cpp files.
#pragma once

#include "ads/adsdata.h"

class TAdsExtendedDataSet : public TAdsDataSet {
  VCL_DECLARE_CLASS(TAdsExtendedDataSet, TAdsDataSet)
 public:
  explicit TAdsExtendedDataSet(TComponent* AOwner) : TAdsDataSet(AOwner) {}
};

class TAdsExtendedTable : public TAdsExtendedDataSet {
  VCL_DECLARE_CLASS(TAdsExtendedTable, TAdsExtendedDataSet)
 public:
  explicit TAdsExtendedTable(TComponent* AOwner) : TAdsExtendedDataSet(AOwner) {}
};
