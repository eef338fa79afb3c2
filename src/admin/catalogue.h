// What varnel-admin knows about the tables of a program directory: their columns (read from the
// database itself), whether a table holds one row, and the rule every column's value follows.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/database.h"

namespace varnel::admin {

struct TableInfo {
  std::string name;
  bool singleRow = false;
  std::vector<std::string> columns;  // in table order
  std::vector<bool> integer;         // the column holds numbers
};

// Every table of the database with its columns, in the order the schema creates them.
std::vector<TableInfo> ReadCatalogue(Database& db);

// The table or column by name (any letter case). An unknown name raises BadInput that names
// the valid ones.
const TableInfo& FindTable(const std::vector<TableInfo>& tables, const std::string& name);
std::size_t FindColumn(const TableInfo& table, const std::string& name);

enum class ValueKind { Text, Bool, Int16, Int32, Port, Hour, DutyMask };

struct ColumnRule {
  ValueKind kind = ValueKind::Text;
  // The only values allowed besides an empty text (not set), when not empty.
  std::span<const char* const> words;
};

// The rule of a column; a numeric column without a narrower rule holds a 16-bit number.
ColumnRule RuleOf(const std::string& table, const std::string& column, bool integer);

// A value as it is stored: a number for the numeric kinds, else text.
struct StoredValue {
  bool isInt = false;
  std::int64_t i = 0;
  std::string s;
  std::string Text() const { return isInt ? std::to_string(i) : s; }
};

// The value checked against the column's rule; raises BadInput naming table, column and what
// is allowed. Booleans take 1/0, true/false, yes/no, on/off.
StoredValue CheckValue(const TableInfo& table, std::size_t column, const std::string& text);

// Splits "COL=VALUE" at the first "="; raises BadInput without one or with an empty name.
std::pair<std::string, std::string> SplitAssignment(const std::string& word);

}  // namespace varnel::admin
