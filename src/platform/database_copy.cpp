#include "platform/database_copy.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/database.h"
#include "platform/error.h"
#include "platform/files.h"

namespace varnel {
namespace {

// The target connection, closed on every way out.
struct Connection {
  sqlite3* db = nullptr;
  ~Connection() { sqlite3_close_v2(db); }
};

void SyncFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileError(errno, path);
  int rc = ::fsync(fd);
  int e = errno;
  ::close(fd);
  if (rc != 0) throw FileError(e, path);
}

void CopyInto(Database& source, const std::string& tmp) {
  Connection target;
  int rc =
      sqlite3_open_v2(tmp.c_str(), &target.db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK)
    throw VarnelError(err::kDatabaseBase + (rc & 0xFF), sqlite3_errstr(rc) + (": " + tmp));
  sqlite3_backup* backup = sqlite3_backup_init(target.db, "main", source.Handle(), "main");
  if (!backup)
    throw VarnelError(err::kDatabaseBase + (sqlite3_errcode(target.db) & 0xFF),
                      sqlite3_errmsg(target.db));
  // All pages in one step: the source stays read-locked for the whole copy, so the copy is
  // one snapshot.
  sqlite3_backup_step(backup, -1);
  rc = sqlite3_backup_finish(backup);
  if (rc != SQLITE_OK)
    throw VarnelError(err::kDatabaseBase + (rc & 0xFF), sqlite3_errmsg(target.db));
  // The live file logs ahead; the copy is made one self-contained file again.
  char* msg = nullptr;
  rc = sqlite3_exec(target.db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, &msg);
  if (rc != SQLITE_OK) {
    std::string text = msg ? msg : sqlite3_errstr(rc);
    sqlite3_free(msg);
    throw VarnelError(err::kDatabaseBase + (rc & 0xFF), text);
  }
}

}  // namespace

void CopyDatabase(const std::string& source, const std::string& target) {
  auto slash = target.find_last_of('/');
  if (slash != std::string::npos && !FileExists(target.substr(0, slash)))
    throw VarnelError(err::kPathNotFound, "Path not found: " + target);
  const std::string tmp = target + ".tmp";
  // What a copy interrupted earlier left behind is not a database to copy into.
  ::unlink(tmp.c_str());
  for (const char* side : {"-journal", "-wal", "-shm"}) ::unlink((tmp + side).c_str());
  try {
    Database db(source);
    CopyInto(db, tmp);
    SyncFile(tmp);
    if (::rename(tmp.c_str(), target.c_str()) != 0) throw FileError(errno, target);
  } catch (...) {
    ::unlink(tmp.c_str());
    throw;
  }
}

}  // namespace varnel
