// Splitting an SQL text into its statements. A text may hold several statements, each ended by
// ";"; a ";" inside '...', "...", [...], a "--" comment (to the end of the line) or a /* */
// comment does not end a statement. Statements that hold nothing but blanks and comments (two
// ";" in a row, the line end after the last ";") are dropped. For each statement the splitter
// keeps its text (without the ";" and the blanks around it), where it starts in the whole text
// (offset, line, column) and its parameter markers in order: "?" and ":name", outside quotes
// and comments.
//
// The text is UTF-8; lines end with LF, CR LF or CR; columns count characters, both 1-based.
// Pure functions, safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"

namespace ace::sql {

struct TextPosition {
  size_t offset = 0;  // bytes from the start of the whole text
  uint32_t line = 1;
  uint32_t column = 1;
};

struct Parameter {
  std::string name;  // empty for "?", else the name after ":" (as written)
  TextPosition at;   // of the "?" or ":"
};

struct Statement {
  std::string text;
  TextPosition at;  // of the statement's first character
  std::vector<Parameter> parameters;
};

// The statements of text in order. An unterminated quote, bracket or /* comment is a 7200
// error (NativeError kUnterminated) naming the statement and where the quote opens.
Result<std::vector<Statement>> SplitStatements(std::string_view text);

// The position in the whole text of the byte offset_in_statement of statement.
TextPosition PositionIn(const Statement& statement, size_t offset_in_statement);

}  // namespace ace::sql
