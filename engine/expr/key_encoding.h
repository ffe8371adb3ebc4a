// Index keys: the fixed-length, byte-comparable form of an index expression's value. The
// B+tree (engine/index) compares keys with memcmp, so every encoding here sorts exactly like
// the values it encodes:
//   character  the collation's weights, padded with the blank's weight to the key length
//   numeric    8 bytes: the IEEE double big-endian, sign bit flipped for positives and all
//              bits flipped for negatives (-0 is stored as 0); null is 8 zero bytes
//   date       8 bytes: the Julian day number encoded as a numeric key (empty date = 0)
//   timestamp  8 bytes: Julian day and milliseconds, each 32 bits big-endian, the day's sign
//              bit flipped; null is 8 zero bytes
//   logical    1 byte: 'F' or 'T' (null is 0x00)
// A null character value has the key of the empty string. Descending order is the index's
// business (it inverts the bytes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/status.h"
#include "engine/expr/collation.h"
#include "engine/expr/expression.h"
#include "engine/expr/value.h"

namespace ace::expr {

inline constexpr uint32_t kNumericKeyLength = 8;

struct KeySpec {
  ValueType type = ValueType::kCharacter;
  uint32_t length = 0;                                 // bytes of every key
  const Collation* collation = &Collation::Machine();  // character keys
};

// The key type and length of an index expression: character keys are as long as the
// expression's fixed length (an expression without one, e.g. on a memo, cannot be a key).
Result<KeySpec> KeySpecOf(const Expression& key_expression, const Collation& collation);

// Exactly spec.length bytes. A value of a type other than the one the KeySpec names is encoded as
// that type's null key.
std::string EncodeKey(const Value& value, const KeySpec& spec);

// The key of the current record: the expression evaluated and encoded.
Result<std::string> BuildKey(const Expression& key_expression, const KeySpec& spec,
                             const RecordSource& record, const EvalOptions& options = {});

// The order-preserving 8 bytes of a double.
std::string EncodeDoubleKey(double d);
double DecodeDoubleKey(std::string_view key);

// A key from a text as the C API's text keys give it (seeks, scopes): for character keys the
// weights of the text without padding (a partial key when shorter than the key); numeric text
// for numeric keys; "YYYYMMDD" or MM/DD/YYYY for dates; T/F/Y/N/.T./.F. for logicals.
// Text that is not a value of the key's type is kErrConversion.
Result<std::string> EncodeKeyFromText(std::string_view text, const KeySpec& spec);

}  // namespace ace::expr
