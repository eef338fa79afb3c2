#include "admin/ops_common.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/text.h"

namespace varnel::admin {

Rows Query(Database& db, const std::string& sql, const std::vector<std::string>& params) {
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &stmt, nullptr);
  if (rc != SQLITE_OK) db.Fail(rc);
  struct Finalizer {
    sqlite3_stmt* s;
    ~Finalizer() { sqlite3_finalize(s); }
  } finalizer{stmt};
  for (std::size_t i = 0; i < params.size(); ++i)
    sqlite3_bind_text(stmt, static_cast<int>(i + 1), params[i].c_str(),
                      static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
  Rows rows;
  const int n = sqlite3_column_count(stmt);
  for (int c = 0; c < n; ++c) rows.columns.emplace_back(sqlite3_column_name(stmt, c));
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    std::vector<std::string>& row = rows.values.emplace_back();
    for (int c = 0; c < n; ++c) {
      const unsigned char* text = sqlite3_column_text(stmt, c);
      row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
  }
  if (rc != SQLITE_DONE) db.Fail(rc);
  return rows;
}

AlignedPrinter::AlignedPrinter(std::vector<std::string> columns) : columns_(std::move(columns)) {
  Widen(columns_);
}

bool AlignedPrinter::Widen(const std::vector<std::string>& cells) {
  bool grew = false;
  if (widths_.size() < cells.size()) widths_.resize(cells.size(), 0);
  for (std::size_t i = 0; i + 1 < cells.size(); ++i) {
    const std::size_t w = CharLength(cells[i]);
    if (w > widths_[i]) {
      widths_[i] = w;
      grew = true;
    }
  }
  return grew;
}

std::string AlignedPrinter::Line(const std::vector<std::string>& cells) const {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    line += cells[i];
    if (i + 1 < cells.size()) line.append(widths_[i] - CharLength(cells[i]) + 2, ' ');
  }
  line.erase(line.find_last_not_of(' ') + 1);  // an empty last cell leaves no blanks behind
  return line + "\n";
}

std::string AlignedPrinter::Block(const std::vector<std::vector<std::string>>& rows) {
  bool grew = false;
  for (const auto& row : rows) grew = Widen(row) || grew;
  std::string out;
  if ((grew || !headerShown_) && !columns_.empty()) out = Line(columns_);
  headerShown_ = true;
  for (const auto& row : rows) out += Line(row);
  return out;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : FromWire(text)) {
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

std::string JsonLines(const Rows& rows) {
  std::string out;
  for (const auto& row : rows.values) {
    out += "{";
    for (std::size_t c = 0; c < rows.columns.size(); ++c)
      out += (c ? ", " : "") + JsonString(rows.columns[c]) + ": " + JsonString(row[c]);
    out += "}\n";
  }
  return out;
}

}  // namespace varnel::admin
