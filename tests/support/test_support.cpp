#include "support/test_support.h"

#include <cstdlib>
#include <filesystem>

#include "admin/init.h"

namespace varnel::testing {

std::string MakeTempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "varnel-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  return tmpl;
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

VarnelTest::VarnelTest() : dir(MakeTempDir()), ctx(io, clock, log, dir + "/home") {
  InitProgramDir(ctx.ProgramDir, false);
  clock.Set("2026-06-26 10:15:00");
  ctx.DateFormat = "YYYY-MM-DD";
  ctx.DebugMode = "No Debug";
}

VarnelTest::~VarnelTest() { RemoveTree(dir); }

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
  Table t = db.Open(table);
  return t.Text(column);
}

std::vector<std::string> VarnelTest::Entries(int id) const {
  std::vector<std::string> out;
  for (const auto& e : log.entries)
    if (e.id == id) out.push_back(e.text);
  return out;
}

}  // namespace varnel::testing
