// Unit test fixture: a program home (see program_home.h) with database and event log helpers.
#pragma once
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "platform/database.h"
#include "platform/error.h"
#include "support/program_home.h"

namespace varnel::testing {

// Turns io in short slices until done() holds or ms have passed; whether done() holds.
inline bool PumpUntil(asio::io_context& io, const std::function<bool()>& done, int ms = 2000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done() && std::chrono::steady_clock::now() < end) {
    if (io.stopped()) io.restart();
    io.run_for(std::chrono::milliseconds(5));
  }
  return done();
}

class VarnelTest : public ::testing::Test, protected ProgramHome {
 protected:
  Database Db() { return Database(ctx.DatabasePath()); }
  // Sets one column of the first row of a single-row table.
  void SetColumn(const std::string& table, const std::string& column, const std::string& value) {
    Database db = Db();
    Table t = db.Open(table);
    t.Set(column, value);
    t.Update();
  }
  std::string GetColumn(const std::string& table, const std::string& column) {
    Database db = Db();
    return db.Open(table).Text(column);
  }
  void AddRow(const std::string& table, const std::map<std::string, std::string>& columns) {
    Database db = Db();
    Table t = db.Open(table);
    t.AddNew();
    for (const auto& [column, value] : columns) t.Set(column, value);
    t.Update();
  }
  // Updates every row of the table.
  void Update(const std::string& table, const std::string& assignments) {
    Db().Exec("UPDATE " + table + " SET " + assignments);
  }
  std::string File(const std::string& name) const { return ctx.Path(name); }
  // The messages of the event list, in order.
  std::vector<std::string> EventTexts() const {
    std::vector<std::string> out;
    for (int i = 1; i <= ctx.events.Count(); ++i) out.push_back(ctx.events[i].Message);
    return out;
  }
  // Event log entries with this id, as their texts.
  std::vector<std::string> Entries(int id) const {
    std::vector<std::string> out;
    for (const auto& e : log.entries)
      if (e.id == id) out.push_back(e.text);
    return out;
  }
};

// The number of the VarnelError that f raises, or 0 when it raises none.
inline int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const VarnelError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace varnel::testing
