// Class registration of the extended datasets. Their engine operations live in adsfunc_*.cpp.
#include "ads/adsfunc.h"

VCL_REGISTER_CLASS(TAdsExtendedDataSet, [](TClassBuilder<TAdsExtendedDataSet>&) {})
VCL_REGISTER_CLASS(TAdsExtendedTable, [](TClassBuilder<TAdsExtendedTable>&) {})
