// The table and query components: TAdsTable (a dataset on one engine table) and TAdsQuery
// (SQL text run on the engine, and a dataset on its result cursor), with TAdsQueryDataLink.
// This header is the module's one interface; the table lives in adstable_table.cpp, the query
// in adstable_query*.cpp.
#pragma once

#include "ads/adsfunc.h"

// ---- The table ---------------------------------------------------------------------------

// ---- The query ---------------------------------------------------------------------------
