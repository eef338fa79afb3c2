// The configuration and log database: a Database object per procedure, tables opened by
// name and walked in rowid order, fields read and written by column name. Behind the
// objects, connections are kept open and reused, each with its prepared statements, so a
// procedure call costs no file open and no schema parse.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varnel {

class Table;

// One connection for the life of the object. The destructor commits a transaction still
// open, so the rows written before an error stay written, and keeps the connection for the
// next object on the same path. A connection is never shared by two live objects, and one
// kept for a file that was since replaced or removed at its path is closed, not reused.
class Database {
 public:
  explicit Database(const std::string& path);  // raises 3000 + code when missing or locked
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  Table Open(const std::string& table);
  void Begin();
  void Commit();
  void Rollback();  // undoes the open transaction, so the destructor commits nothing
  void Exec(const std::string& sql);  // schema creation and maintenance only

  sqlite3* Handle() { return db_; }
  [[noreturn]] void Fail(int rc);

  // Closes the connections kept for path (every path when empty). A file about to be
  // renamed over the database must have none: its last commits may still be in its log,
  // which the rename leaves behind under the old name.
  static void CloseKept(const std::string& path = {});

  struct Connection;
  struct Shape;  // the columns of a table

 private:
  friend class Table;
  sqlite3_stmt* Statement(const std::string& sql);  // prepared once per connection
  std::shared_ptr<const Shape> ShapeOf(const std::string& table);

  std::unique_ptr<Connection> conn_;
  sqlite3* db_ = nullptr;
  bool inTransaction_ = false;
};

// A table opened by name. Positioned on the first row; rows are fetched on demand so
// opening a long log table only to append costs nothing.
class Table {
 public:
  Table(Database& db, std::string name);
  Table(Table&&) noexcept;
  ~Table();

  bool Eof();
  void MoveNext();
  void MoveFirst();
  std::size_t RecordCount();

  // Reads of the current row. A missing column raises 3265, no current row 3021.
  std::string Text(const std::string& column);
  bool Flag(const std::string& column);
  std::int16_t Int16(const std::string& column);  // outside -32768..32767 raises 6
  std::int32_t Int32(const std::string& column);  // outside 32-bit range raises 6

  // Writes into the edit buffer; Update stores them.
  void Set(const std::string& column, const std::string& value);
  void Set(const std::string& column, const char* value) { Set(column, std::string(value)); }
  void Set(const std::string& column, std::int64_t value);
  void Set(const std::string& column, int value) { Set(column, static_cast<std::int64_t>(value)); }
  void Set(const std::string& column, bool value) { Set(column, std::int64_t{value ? 1 : 0}); }

  void AddNew();  // starts a new row in the edit buffer
  void Update();  // writes the edit buffer (insert or update of the current row)
  void Delete();  // deletes the current row; the position stays until MoveNext

  const std::string& Name() const { return name_; }

 private:
  struct Value {
    bool isNull = true;
    bool isInt = false;
    std::int64_t i = 0;
    std::string s;
  };
  std::size_t ColumnIndex(const std::string& column) const;
  void LoadRowIds();
  const Value& Current(const std::string& column);
  const Value* Edit(std::size_t column) const;  // null when the column is not edited
  Value& StartEdit(std::size_t column);
  sqlite3_stmt* UpdateStatement();
  std::int64_t IntValue(const std::string& column);

  Database* db_;
  std::string name_;
  std::shared_ptr<const Database::Shape> shape_;
  std::optional<std::vector<std::int64_t>> rowIds_;
  std::size_t pos_ = 0;
  bool deleted_ = false;
  std::optional<std::vector<Value>> row_;  // cache of the current row
  bool adding_ = false;
  // The edit buffer: a value per column, of which those in edited_ (ascending) are set.
  std::vector<Value> edits_;
  std::vector<std::size_t> edited_;
  // The statement of the last Update and what it was built for.
  sqlite3_stmt* kept_ = nullptr;
  std::vector<std::size_t> keptColumns_;
  bool keptAdding_ = false;
};

}  // namespace varnel
