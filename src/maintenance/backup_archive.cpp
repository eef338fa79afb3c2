#include "maintenance/backup_archive.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>
#include <zip.h>

#include <array>
#include <cerrno>
#include <set>

#include "platform/error.h"

namespace varnel {
namespace {

[[noreturn]] void Invalid(const std::string& what) {
  throw VarnelError(kInvalidFileFormat, "Invalid file format: " + what);
}

struct Archive {
  zip_t* z = nullptr;
  ~Archive() {
    if (z) zip_discard(z);
  }
};

struct Entry {
  zip_file_t* f = nullptr;
  ~Entry() {
    if (f) zip_fclose(f);
  }
};

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

struct ReadOnlyDb {
  sqlite3* db = nullptr;
  explicit ReadOnlyDb(const std::string& path) {
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      sqlite3_close_v2(db);
      Invalid(path + ": " + sqlite3_errstr(rc));
    }
  }
  ~ReadOnlyDb() { sqlite3_close_v2(db); }

  // The first column of every row of sql, as text.
  std::set<std::string> Column(const char* sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) Invalid(sqlite3_errmsg(db));
    std::set<std::string> out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      auto text = sqlite3_column_text(st, 0);
      out.insert(text ? reinterpret_cast<const char*>(text) : "");
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) Invalid(sqlite3_errmsg(db));
    return out;
  }
};

void WriteAll(int fd, const char* data, std::size_t n, const std::string& path) {
  while (n > 0) {
    ssize_t w = ::write(fd, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) throw FileError(errno, path);
    data += w;
    n -= static_cast<std::size_t>(w);
  }
}

void CopyEntry(zip_file_t* entry, int fd, const std::string& target) {
  std::array<char, 65536> buffer{};
  std::uint64_t total = 0;
  for (;;) {
    zip_int64_t n = zip_fread(entry, buffer.data(), buffer.size());
    if (n < 0) Invalid(std::string(kArchiveEntry) + ": " + zip_file_strerror(entry));
    if (n == 0) break;
    total += static_cast<std::uint64_t>(n);
    if (total > kMaxUnpackedBytes) Invalid(std::string(kArchiveEntry) + " too large");
    WriteAll(fd, buffer.data(), static_cast<std::size_t>(n), target);
  }
  if (::fsync(fd) != 0) throw FileError(errno, target);
}

}  // namespace

void PackDatabase(const std::string& database, const std::string& zip) {
  int error = 0;
  Archive a;
  a.z = zip_open(zip.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!a.z) throw FileError(EACCES, zip);
  zip_source_t* src = zip_source_file(a.z, database.c_str(), 0, 0);
  if (!src) throw FileError(ENOENT, database);
  if (zip_file_add(a.z, kArchiveEntry, src, ZIP_FL_OVERWRITE) < 0) {
    zip_source_free(src);
    throw VarnelError(kInvalidFileFormat, zip_strerror(a.z));
  }
  // zip_close writes a temporary file and renames it, so the archive appears whole or not.
  if (zip_close(a.z) != 0) throw VarnelError(kInvalidFileFormat, zip_strerror(a.z));
  a.z = nullptr;
}

void UnpackDatabase(const std::string& zip, const std::string& target) {
  int error = 0;
  Archive a;
  a.z = zip_open(zip.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!a.z) Invalid(zip);
  // Exact, case-sensitive name: "../Varnel.mdb", "dir/Varnel.mdb" and the like are not it.
  zip_int64_t index = zip_name_locate(a.z, kArchiveEntry, ZIP_FL_ENC_RAW);
  if (index < 0) Invalid(std::string("no ") + kArchiveEntry + " in " + zip);
  Entry e;
  e.f = zip_fopen_index(a.z, static_cast<zip_uint64_t>(index), 0);
  if (!e.f) Invalid(zip_strerror(a.z));
  Fd out;
  out.fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (out.fd < 0) throw FileError(errno, target);
  try {
    CopyEntry(e.f, out.fd, target);
  } catch (...) {
    ::unlink(target.c_str());
    throw;
  }
}

void CheckReceivedDatabase(const std::string& candidate, const std::string& reference) {
  std::set<std::string> tables;
  {
    ReadOnlyDb db(candidate);
    auto result = db.Column("PRAGMA integrity_check");
    if (result != std::set<std::string>{"ok"}) Invalid(candidate + ": integrity check failed");
    tables = db.Column("SELECT name FROM sqlite_master WHERE type = 'table'");
  }
  ReadOnlyDb live(reference);
  for (const std::string& t : live.Column("SELECT name FROM sqlite_master WHERE type = 'table'"))
    if (!tables.count(t)) Invalid(candidate + ": table " + t + " missing");
}

}  // namespace varnel
