#include "admin/show.h"

#include <cstdio>
#include <iostream>

#include "admin/catalogue.h"
#include "admin/program_dir.h"
#include "platform/text.h"

namespace varnel::admin {

namespace {

// A number column may still hold text that some other program wrote.
bool IsWholeNumber(const std::string& v) {
  std::size_t i = (!v.empty() && v[0] == '-') ? 1 : 0;
  return i < v.size() && v.find_first_not_of("0123456789", i) == std::string::npos;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string AlignedTable(const std::vector<std::string>& header,
                         const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> width(header.size());
  auto widen = [&](const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size() && i < width.size(); ++i)
      width[i] = std::max(width[i], CharLength(cells[i]));
  };
  widen(header);
  for (const auto& r : rows) widen(r);
  std::string out;
  auto line = [&](const std::vector<std::string>& cells) {
    std::string l;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      l += cells[i];
      if (i + 1 < cells.size()) l += std::string(width[i] - CharLength(cells[i]) + 2, ' ');
    }
    out += l + "\n";
  };
  line(header);
  for (const auto& r : rows) line(r);
  return out;
}

int RunShow(const Args& args) {
  bool json = false;
  Args words;
  for (const std::string& a : args) {
    if (a == "--json")
      json = true;
    else if (a.starts_with("--"))
      throw BadInput("unknown option " + a);
    else
      words.push_back(a);
  }
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
  std::cout << AlignedTable(header, rows);
  return kExitOk;
}

}  // namespace varnel::admin
