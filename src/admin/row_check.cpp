#include "admin/row_check.h"

#include "admin/command.h"
#include "filter/wildcard.h"

namespace varnel::admin {
namespace {

// A filter expression column, the column with its search word, and the column that makes it
// case-sensitive (nullptr: compared binary).
struct PatternColumn {
  const char* table;
  const char* expression;
  const char* search;
  const char* caseSensitive;
};

constexpr PatternColumn kPatternColumns[] = {
    {"SuppGrp_Perm", "NodeName", "NodeNameSearch", "CaseSensitive"},
    {"SuppGrp_Perm", "Message", "MessageSearch", "CaseSensitive"},
    {"Event_SysLog", "FilterIpAddress", "FilterIpAddrSearch", nullptr},
    {"Event_SysLog", "FilterMessage", "FilterMessSearch", "FilterCaseSensitive"},
};

const std::string* ValueOf(const TableInfo& table, const std::vector<std::string>& values,
                           const char* column) {
  for (std::size_t i = 0; i < table.columns.size(); ++i)
    if (table.columns[i] == column) return &values[i];
  return nullptr;
}

}  // namespace

std::vector<RowProblem> CheckRow(const TableInfo& table, const std::vector<std::string>& values) {
  std::vector<RowProblem> problems;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    try {
      CheckValue(table, i, values[i]);
    } catch (const BadInput& e) {
      // The message names table and column first; the finding names them already.
      std::string text = e.what();
      const std::string prefix = table.name + "." + table.columns[i] + " ";
      if (text.starts_with(prefix)) text.erase(0, prefix.size());
      problems.push_back({table.columns[i], text, {}});
    }
  }
  for (const PatternColumn& p : kPatternColumns) {
    if (table.name != p.table) continue;
    const std::string* expression = ValueOf(table, values, p.expression);
    const std::string* search = ValueOf(table, values, p.search);
    if (!expression || !search) continue;
    const std::string* sensitive =
        p.caseSensitive ? ValueOf(table, values, p.caseSensitive) : nullptr;
    const bool binary = !p.caseSensitive || (sensitive && *sensitive != "0" && !sensitive->empty());
    std::string error =
        FilterExpressionError(*expression, *search, binary ? CaseMode::Binary : CaseMode::Text);
    if (!error.empty()) {
      std::vector<std::string> related{p.search};
      if (p.caseSensitive) related.emplace_back(p.caseSensitive);
      problems.push_back({p.expression, error, related});
    }
  }
  return problems;
}

}  // namespace varnel::admin
