// Test fixture: a temporary program directory with a fresh database, a fake clock and a
// memory event log.
#pragma once
#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <map>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/database.h"
#include "platform/event_log.h"
#include "service/varnel.h"

namespace varnel::testing {

class VarnelTest : public ::testing::Test {
 protected:
  VarnelTest();
  ~VarnelTest() override;

  Database Db() { return Database(ctx.DatabasePath()); }
  // Sets one column of the first row of a single-row table (or of the row after n moves).
  void SetColumn(const std::string& table, const std::string& column, const std::string& value);
  std::string GetColumn(const std::string& table, const std::string& column);
  // Appends a row with these columns to a table.
  void AddRow(const std::string& table, const std::map<std::string, std::string>& columns);
  std::string File(const std::string& name) const { return ctx.Path(name); }
  // Event log entries with this id, as their texts.
  std::vector<std::string> Entries(int id) const;

  std::string dir;
  asio::io_context io;
  FakeClock clock;
  MemoryEventLog log;
  Varnel ctx;
};

// Makes a fresh temporary directory and returns its path.
std::string MakeTempDir();
void RemoveTree(const std::string& path);

}  // namespace varnel::testing
