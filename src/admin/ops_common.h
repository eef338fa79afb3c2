// What the operations commands share: exit statuses, the program directory check, plain
// SQL reads of the log tables, and the text and JSON output of rows.
#pragma once
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "admin/command.h"
#include "admin/program_dir.h"
#include "platform/database.h"

namespace varnel::admin {

constexpr int kExitFailed = kExitFindings;


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

// Runs a command body and turns its failures into a message on stderr and an exit status:
// BadInput and a database that stays locked give 2, any other error 1.
int RunCommand(const std::function<int()>& body);

// Takes the options of a command line: name -> value for options given as "--name VALUE"
// (those in valued) or "--name" (those in flags); the rest are positional. Unknown options
// raise BadInput.
struct Options {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> named;
  bool Has(const std::string& name) const;
  std::string Value(const std::string& name) const;
};
Options ParseOptions(std::span<const std::string> args, std::initializer_list<const char*> valued,
                     std::initializer_list<const char*> flags);

}  // namespace varnel::admin
