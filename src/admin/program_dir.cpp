#include "admin/program_dir.h"

#include <sys/stat.h>

#include "admin/command.h"
#include "platform/error.h"

namespace varnel::admin {
namespace {

bool IsLocked(const VarnelError& e) {
  return e.Number() == err::kDatabaseBase + SQLITE_BUSY ||
         e.Number() == err::kDatabaseBase + SQLITE_LOCKED;
}

BadInput Locked() {
  return BadInput(
      "the database is locked by another program (the running service or an editor) for longer "
      "than the busy time-out; nothing written");
}

}  // namespace

std::string ProgramDatabase(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw BadInput(dir + " is not a directory");
  std::string path = dir + "/Varnel.mdb";
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw BadInput(dir +
                   " is not a program directory: it has no Varnel.mdb (varnel-admin init "
                   "makes one)");
  return path;
}

std::unique_ptr<Database> OpenProgramDatabase(const std::string& dir) {
  std::string path = ProgramDatabase(dir);
  std::unique_ptr<Database> db;
  try {
    db = std::make_unique<Database>(path);
    // A file that is no SQLite database, or one without the service's tables, fails here.
    db->Open("Settings_General");
  } catch (const VarnelError& e) {
    if (IsLocked(e)) throw Locked();
    throw BadInput(dir + " is not a program directory: " + path + " is not a Varnel database (" +
                   e.what() + ")");
  }
  return db;
}

WriteTransaction::WriteTransaction(Database& db) : db_(db) {
  try {
    db_.Exec("BEGIN IMMEDIATE");
  } catch (const VarnelError& e) {
    if (IsLocked(e)) throw Locked();
    throw;
  }
  open_ = true;
}

WriteTransaction::~WriteTransaction() {
  if (!open_) return;
  try {
    db_.Exec("ROLLBACK");
  } catch (...) {  // closing the connection rolls back as well
  }
}

void WriteTransaction::Commit() {
  try {
    db_.Exec("COMMIT");
  } catch (const VarnelError& e) {
    if (IsLocked(e)) throw Locked();
    throw;
  }
  open_ = false;
}

}  // namespace varnel::admin
