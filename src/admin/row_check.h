// The checks of one row's values as the service reads them, shared by the editing commands
// (which refuse a row that fails them) and by check (which reports every failure).
#pragma once
#include <string>
#include <vector>

#include "admin/catalogue.h"

namespace varnel::admin {

struct RowProblem {
  std::string column;
  std::string text;
  // Other columns whose change can cause the problem (a pattern's search word and case).
  std::vector<std::string> related;
};

// Every value by its column rule, and the filter patterns compiled with the service's matcher
// as the service splits them. values holds the row's texts in column order.
std::vector<RowProblem> CheckRow(const TableInfo& table, const std::vector<std::string>& values);

}  // namespace varnel::admin
