// Fuzz target of the expression parser and evaluator: the input is an expression text,
// compiled against the sample table's fields and evaluated on its record.
#include <string_view>

#include "engine/expr/expression.h"
#include "engine/index/table_record_source.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  static ace::index::TableRecordSource source(&fuzz::SampleTable());
  source.SetRecord(1, fuzz::SampleImage());
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto compiled = ace::expr::Expression::Compile(text, &source);
  if (!compiled.ok()) return 0;
  (void)compiled.value().Canonical();
  (void)compiled.value().Evaluate(source);
  return 0;
}
