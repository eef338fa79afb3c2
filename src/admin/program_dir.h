// Opening the database of a program directory for a command, and writing to it in one
// transaction that leaves nothing behind when the command fails.
#pragma once
#include <memory>
#include <string>

#include "platform/database.h"

namespace varnel::admin {

// The path of dir's Varnel.mdb; raises BadInput when dir is not a program directory.
std::string ProgramDatabase(const std::string& dir);

// The database of dir, opened; raises BadInput when dir is not a program directory.
std::unique_ptr<Database> OpenProgramDatabase(const std::string& dir);

// Takes the write lock at once (waiting the database's busy time-out) and rolls back unless
// Commit is called. A lock held longer by someone else raises BadInput.
class WriteTransaction {
 public:
  explicit WriteTransaction(Database& db);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  void Commit();

 private:
  Database& db_;
  bool open_ = false;
};

}  // namespace varnel::admin
