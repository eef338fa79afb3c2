#include "admin/show.h"

#include <iostream>

#include "admin/catalogue.h"
#include "admin/ops_common.h"
#include "admin/program_dir.h"

namespace varnel::admin {

namespace {

// A number column may still hold text that some other program wrote.
bool IsWholeNumber(const std::string& v) {
  std::size_t i = (!v.empty() && v[0] == '-') ? 1 : 0;
  return i < v.size() && v.find_first_not_of("0123456789", i) == std::string::npos;
}

}  // namespace

int RunShow(const Args& args) {
  const Options o = ParseOptions(args, {}, {"--json"});
  const bool json = o.Has("--json");
  const Args& words = o.positional;
  if (words.size() != 2) throw BadInput("usage: varnel-admin show DIR TABLE [--json]");
  auto db = OpenProgramDatabase(words[0]);
  const auto catalogue = ReadCatalogue(*db);
  const TableInfo& table = FindTable(catalogue, words[1]);
  std::vector<std::vector<std::string>> rows;
  for (Table t = db->Open(table.name); !t.Eof(); t.MoveNext()) {
    std::vector<std::string> row{std::to_string(rows.size() + 1)};
    for (const std::string& c : table.columns) row.push_back(t.Text(c));
    rows.push_back(std::move(row));
  }
  if (json) {
    std::cout << "[";
    for (std::size_t r = 0; r < rows.size(); ++r) {
      std::cout << (r ? ",\n " : "\n ") << "{\"row\": " << rows[r][0];
      for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const std::string& v = rows[r][i + 1];
        std::cout << ", " << JsonString(table.columns[i]) << ": "
                  << (table.integer[i] && IsWholeNumber(v) ? v : JsonString(v));
      }
      std::cout << "}";
    }
    std::cout << (rows.empty() ? "]\n" : "\n]\n");
    return kExitOk;
  }
  std::vector<std::string> header{"Row"};
  header.insert(header.end(), table.columns.begin(), table.columns.end());
  std::cout << AlignedPrinter(std::move(header)).Block(rows);
  return kExitOk;
}

}  // namespace varnel::admin
