// The dataset framework in one include: value types (TBcd, Variant, date-time helpers), fields
// and field definitions, TDataSet, TDataSource and the data links, parameters and index
// definitions.
#pragma once

#include "ui/db/DBFields.h"
#include "ui/db/DBParams.h"
#include "ui/db/DataSet.h"
#include "ui/db/DateTime.h"
#include "ui/db/FMTBcd.h"
#include "ui/db/Variants.h"
