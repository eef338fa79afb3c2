// A temporary program directory with a fresh database, a fake clock and a memory event log,
// shared by the benchmarks.
#pragma once
#include <stdlib.h>

#include <asio/io_context.hpp>
#include <filesystem>
#include <string>

#include "admin/init.h"
#include "platform/clock.h"
#include "platform/event_log.h"
#include "service/varnel.h"

namespace varnel {

class BenchHome {
 protected:
  BenchHome() : dir_(TempDir()), ctx_(io_, clock_, log_, dir_ + "/home") {
    InitProgramDir(ctx_.ProgramDir, false);
    clock_.Set("2026-06-26 10:15:00");
    ctx_.DebugMode = "No Debug";
  }
  ~BenchHome() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  BenchHome(const BenchHome&) = delete;
  BenchHome& operator=(const BenchHome&) = delete;

  std::string dir_;
  asio::io_context io_;
  FakeClock clock_;
  MemoryEventLog log_;
  Varnel ctx_;

 private:
  static std::string TempDir() {
    std::string t = (std::filesystem::temp_directory_path() / "varnel-bench-XXXXXX").string();
    if (!::mkdtemp(t.data())) std::abort();
    return t;
  }
};

}  // namespace varnel
