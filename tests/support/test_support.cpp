#include "support/test_support.h"

namespace varnel::testing {

void VarnelTest::SetColumn(const std::string& table, const std::string& column,
                           const std::string& value) {
  Database db = Db();
  Table t = db.Open(table);
  t.Set(column, value);
  t.Update();
}

void VarnelTest::AddRow(const std::string& table,
                        const std::map<std::string, std::string>& columns) {
  Database db = Db();
  Table t = db.Open(table);
  t.AddNew();
  for (const auto& [column, value] : columns) t.Set(column, value);
  t.Update();
}

std::string VarnelTest::GetColumn(const std::string& table, const std::string& column) {
  Database db = Db();
  return db.Open(table).Text(column);
}

std::vector<std::string> VarnelTest::Entries(int id) const {
  std::vector<std::string> out;
  for (const auto& e : log.entries)
    if (e.id == id) out.push_back(e.text);
  return out;
}

}  // namespace varnel::testing
