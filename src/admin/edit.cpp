#include "admin/edit.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>

#include "admin/catalogue.h"
#include "admin/program_dir.h"
#include "admin/row_check.h"

namespace varnel::admin {
namespace {

struct Assignment {
  std::size_t column;
  std::string text;
  StoredValue value;
};

struct EditRequest {
  std::unique_ptr<Database> db;
  std::vector<TableInfo> catalogue;
  const TableInfo* table = nullptr;
  std::vector<Assignment> where;
  std::vector<Assignment> values;
};

Assignment ParseAssignment(const TableInfo& table, const std::string& word, bool check) {
  auto [name, text] = SplitAssignment(word);
  Assignment a{FindColumn(table, name), text, {}};
  if (check) a.value = CheckValue(table, a.column, text);
  return a;
}

// DIR TABLE, then --where COL=VALUE (any number) and COL=VALUE words.
EditRequest ParseEdit(const Args& args, const char* usage) {
  const Options o = ParseOptions(args, {"--where"}, {});
  if (o.positional.size() < 2) throw BadInput(std::string("usage: varnel-admin ") + usage);
  EditRequest r;
  r.db = OpenProgramDatabase(o.positional[0]);
  r.catalogue = ReadCatalogue(*r.db);
  r.table = &FindTable(r.catalogue, o.positional[1]);
  for (const auto& [option, word] : o.named) {
    // The row is found by what it holds now, which need not follow the rules.
    Assignment a = ParseAssignment(*r.table, word, false);
    if (r.table->integer[a.column]) a.value = CheckValue(*r.table, a.column, a.text);
    r.where.push_back(std::move(a));
  }
  for (std::size_t i = 2; i < o.positional.size(); ++i) {
    Assignment a = ParseAssignment(*r.table, o.positional[i], true);
    for (const Assignment& b : r.values)
      if (b.column == a.column)
        throw BadInput("column " + r.table->columns[a.column] + " is given twice");
    r.values.push_back(std::move(a));
  }
  return r;
}

std::vector<std::string> RowValues(const TableInfo& table, Table& t) {
  std::vector<std::string> values;
  for (const std::string& c : table.columns) values.push_back(t.Text(c));
  return values;
}

bool RowMatches(const TableInfo& table, Table& t, const std::vector<Assignment>& where) {
  return std::all_of(where.begin(), where.end(), [&](const Assignment& w) {
    const std::string& column = table.columns[w.column];
    return t.Text(column) == (table.integer[w.column] ? w.value.Text() : w.text);
  });
}

// Refuses a row whose new values break a rule that the assigned columns take part in.
void RefuseBrokenRow(const TableInfo& table, std::vector<std::string> values,
                     const std::vector<Assignment>& assigned, const std::string& rowName) {
  for (const Assignment& a : assigned) values[a.column] = a.value.Text();
  auto isAssigned = [&](const std::string& column) {
    return std::any_of(assigned.begin(), assigned.end(),
                       [&](const Assignment& a) { return table.columns[a.column] == column; });
  };
  for (const RowProblem& p : CheckRow(table, values)) {
    bool ours = isAssigned(p.column) || std::any_of(p.related.begin(), p.related.end(), isAssigned);
    if (ours) throw BadInput(rowName + ": " + p.column + ": " + p.text + "; nothing written");
  }
}

void Store(Table& t, const TableInfo& table, const std::vector<Assignment>& values) {
  for (const Assignment& a : values) {
    const std::string& column = table.columns[a.column];
    if (a.value.isInt)
      t.Set(column, a.value.i);
    else
      t.Set(column, a.value.s);
  }
}

std::string Rows(int n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); }

}  // namespace

int RunAdd(const Args& args) {
  EditRequest r = ParseEdit(args, "add DIR TABLE COL=VALUE...");
  const TableInfo& table = *r.table;
  if (!r.where.empty()) throw BadInput("add takes no --where");
  if (table.singleRow)
    throw BadInput("table " + table.name + " holds exactly one row; change it with set");
  if (r.values.empty()) throw BadInput("add needs at least one COL=VALUE");
  WriteTransaction transaction(*r.db);
  Table t = r.db->Open(table.name);
  const int row = static_cast<int>(t.RecordCount()) + 1;
  // A new row starts from the column defaults of the schema, read from an empty row.
  std::vector<std::string> defaults;
  for (std::size_t i = 0; i < table.columns.size(); ++i)
    defaults.push_back(table.integer[i] ? "0" : "");
  RefuseBrokenRow(table, defaults, r.values, table.name + " new row");
  t.AddNew();
  Store(t, table, r.values);
  t.Update();
  transaction.Commit();
  std::cout << "Added row " << row << " to " << table.name << "\n";
  return kExitOk;
}

int RunSet(const Args& args) {
  EditRequest r = ParseEdit(args, "set DIR TABLE [--where COL=VALUE] COL=VALUE...");
  const TableInfo& table = *r.table;
  if (r.values.empty()) throw BadInput("set needs at least one COL=VALUE");
  if (!table.singleRow && r.where.empty())
    throw BadInput("table " + table.name + " holds many rows; name them with --where COL=VALUE");
  WriteTransaction transaction(*r.db);
  Table t = r.db->Open(table.name);
  int changed = 0;
  int row = 0;
  for (; !t.Eof(); t.MoveNext()) {
    ++row;
    if (!RowMatches(table, t, r.where)) continue;
    RefuseBrokenRow(table, RowValues(table, t), r.values,
                    table.name + " row " + std::to_string(row));
    Store(t, table, r.values);
    t.Update();
    ++changed;
  }
  if (changed == 0) {
    std::cerr << "varnel-admin set: no row of " << table.name << " matches; nothing changed\n";
    return kExitFailed;
  }
  transaction.Commit();
  std::cout << "Changed " << Rows(changed) << " of " << table.name << "\n";
  return kExitOk;
}

int RunDelete(const Args& args) {
  EditRequest r = ParseEdit(args, "delete DIR TABLE --where COL=VALUE");
  const TableInfo& table = *r.table;
  if (!r.values.empty()) throw BadInput("delete takes only --where COL=VALUE");
  if (table.singleRow)
    throw BadInput("table " + table.name + " holds exactly one row; it cannot be deleted");
  if (r.where.empty()) throw BadInput("delete needs --where COL=VALUE");
  WriteTransaction transaction(*r.db);
  Table t = r.db->Open(table.name);
  int deleted = 0;
  for (; !t.Eof(); t.MoveNext()) {
    if (!RowMatches(table, t, r.where)) continue;
    t.Delete();
    ++deleted;
  }
  if (deleted == 0) {
    std::cerr << "varnel-admin delete: no row of " << table.name << " matches; nothing deleted\n";
    return kExitFailed;
  }
  transaction.Commit();
  std::cout << "Deleted " << Rows(deleted) << " of " << table.name << "\n";
  return kExitOk;
}

}  // namespace varnel::admin
