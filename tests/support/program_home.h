// A temporary program directory with a fresh database, a fake clock and a memory event log,
// removed again with the object. Unit tests and fuzz targets share it (no GoogleTest here).
#pragma once
#include <asio/io_context.hpp>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "admin/init.h"
#include "platform/clock.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "service/varnel.h"

namespace varnel::testing {

inline std::string MakeTempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "varnel-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  return tmpl;
}

inline void RemoveTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

inline void WriteBytes(const std::string& path, const void* data, std::size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

struct ProgramHome {
  ProgramHome() : dir(MakeTempDir()), ctx(io, clock, log, dir + "/home") {
    InitProgramDir(ctx.ProgramDir, false);
    clock.Set("2026-06-26 10:15:00");
    ctx.DateFormat = "YYYY-MM-DD";
    ctx.DebugMode = "No Debug";
  }
  ~ProgramHome() { RemoveTree(dir); }
  ProgramHome(const ProgramHome&) = delete;
  ProgramHome& operator=(const ProgramHome&) = delete;

  std::string File(const std::string& name) const { return ctx.Path(name); }
  // The lines of a file of the program directory; none when it is missing.
  std::vector<std::string> Lines(const std::string& name) const {
    return FileExists(File(name)) ? ReadLines(File(name)) : std::vector<std::string>{};
  }

  std::string dir;
  asio::io_context io;
  FakeClock clock;
  MemoryEventLog log;
  Varnel ctx;
};

}  // namespace varnel::testing
