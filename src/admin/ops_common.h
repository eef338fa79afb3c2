// What the reading commands share: plain SQL reads of the log tables, and the text and JSON
// output of rows.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "admin/command.h"
#include "admin/program_dir.h"
#include "platform/database.h"

namespace varnel::admin {

struct Rows {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> values;  // NULL reads as ""
};
// Runs one SELECT with text parameters bound in order.
Rows Query(Database& db, const std::string& sql, const std::vector<std::string>& params = {});

// Rows as text in aligned columns under a header line. Widths grow to fit and never shrink;
// a block whose rows widened a column repeats the header, so that every row lines up with
// the header printed last. The last column is not padded.
class AlignedPrinter {
 public:
  explicit AlignedPrinter(std::vector<std::string> columns);
  // The rows, preceded by the header on the first call and whenever the widths grew.
  std::string Block(const std::vector<std::vector<std::string>>& rows);

 private:
  std::string Line(const std::vector<std::string>& cells) const;
  bool Widen(const std::vector<std::string>& cells);
  std::vector<std::string> columns_;
  std::vector<std::size_t> widths_;
  bool headerShown_ = false;
};

// A JSON string literal; control characters are escaped.
std::string JsonString(std::string_view text);
// One JSON object per row, one a line.
std::string JsonLines(const Rows& rows);

}  // namespace varnel::admin
