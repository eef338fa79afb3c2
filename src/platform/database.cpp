#include "platform/database.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "platform/error.h"

namespace varnel {
namespace {

constexpr int kBusyTimeoutMs = 5000;  // a lock held longer is reported as an error

std::string Quote(const std::string& ident) {
  std::string q = "\"";
  for (char c : ident) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

bool ParseInteger(const std::string& text, std::int64_t& out) {
  std::string t = text;
  while (!t.empty() && t.front() == ' ') t.erase(t.begin());
  while (!t.empty() && t.back() == ' ') t.pop_back();
  if (t.empty()) return false;
  const char* b = t.data();
  if (*b == '+') ++b;
  auto [p, ec] = std::from_chars(b, t.data() + t.size(), out);
  if (ec == std::errc() && p == t.data() + t.size()) return true;
  // Decimal text is rounded as a numeric conversion would.
  char* end = nullptr;
  double d = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(d) || std::fabs(d) > 9e18) return false;
  out = std::llrint(d);
  return true;
}

VarnelError MissingColumn(const std::string& table, const std::string& column) {
  return VarnelError(err::kItemNotFound,
                     "Item cannot be found in the collection corresponding to the requested name "
                     "or ordinal. (" +
                         table + "." + column + ")");
}

VarnelError NoCurrentRecord(const std::string& table) {
  return VarnelError(err::kNoCurrentRecord,
                     "Either BOF or EOF is True, or the current record has been deleted. "
                     "Requested operation requires a current record. (" +
                         table + ")");
}

}  // namespace

// ---------------------------------------------------------------- Database

struct Database::Shape {
  std::vector<std::string> columns;
  std::vector<bool> intColumn;
};

// An open connection with what it has prepared, and the file it was opened on.
struct Database::Connection {
  std::string path;
  sqlite3* db = nullptr;
  dev_t device = 0;
  ino_t inode = 0;
  int schemaVersion = -1;
  std::unordered_map<std::string, sqlite3_stmt*> statements;
  std::unordered_map<std::string, std::shared_ptr<const Shape>> shapes;  // by lower-case name

  ~Connection() {
    for (auto& [sql, st] : statements) sqlite3_finalize(st);
    sqlite3_close_v2(db);
  }
  bool Opens(const struct stat& st) const { return st.st_dev == device && st.st_ino == inode; }
};

namespace {

// Idle connections of this thread, oldest first. A few are enough: the service works on one
// database; tests and tools that open many files close the oldest.
constexpr std::size_t kMaxKeptConnections = 4;
thread_local std::vector<std::unique_ptr<Database::Connection>> keptConnections;

// Commits need no disk sync of their own in write-ahead logging; the log is synced at each
// checkpoint, so a power loss can undo the last commits but never corrupt the file. Files of
// the rollback journal are created and deleted per commit, which costs far more here.
void TuneJournal(sqlite3* db) {
  // No wait when another connection holds a lock: the file then stays in its mode for now.
  sqlite3_busy_timeout(db, 0);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
}

std::unique_ptr<Database::Connection> OpenConnection(const std::string& path) {
  auto c = std::make_unique<Database::Connection>();
  c->path = path;
  int rc =
      sqlite3_open_v2(path.c_str(), &c->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = c->db ? sqlite3_errmsg(c->db) : "out of memory";
    throw VarnelError(err::kDatabaseBase + (rc & 0xFF), msg + ": " + path);
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    c->device = st.st_dev;
    c->inode = st.st_ino;
  }
  TuneJournal(c->db);
  return c;
}

// A kept connection for path, when the file at path is still the one it opened. Those kept
// for a file since replaced or removed are closed first, and the log and index files they
// leave under the path are removed: a rename brings no companions along, so these belong to
// the old file, and the new one would otherwise be read through the old file's log.
std::unique_ptr<Database::Connection> TakeKept(const std::string& path) {
  auto& kept = keptConnections;
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (std::erase_if(kept,
                    [&](const auto& c) { return c->path == path && !(exists && c->Opens(st)); }))
    for (const char* side : {"-wal", "-shm"}) ::unlink((path + side).c_str());
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
    if ((*it)->path != path) continue;
    std::unique_ptr<Database::Connection> c = std::move(*it);
    kept.erase(std::next(it).base());
    return c;
  }
  return nullptr;
}

// Another program may have changed the schema since the columns were read.
void CheckSchema(Database::Connection& c) {
  sqlite3_stmt* st = nullptr;
  auto it = c.statements.find("PRAGMA schema_version");
  if (it != c.statements.end()) {
    st = it->second;
  } else if (sqlite3_prepare_v2(c.db, "PRAGMA schema_version", -1, &st, nullptr) == SQLITE_OK) {
    c.statements.emplace("PRAGMA schema_version", st);
  }
  int version = -1;
  if (st) {
    sqlite3_busy_timeout(c.db, 0);
    if (sqlite3_step(st) == SQLITE_ROW) version = sqlite3_column_int(st, 0);
    sqlite3_reset(st);
    sqlite3_busy_timeout(c.db, kBusyTimeoutMs);
  }
  if (version < 0 || version != c.schemaVersion) c.shapes.clear();
  c.schemaVersion = version;
}

}  // namespace

Database::Database(const std::string& path) {
  conn_ = TakeKept(path);
  if (conn_)
    CheckSchema(*conn_);
  else
    conn_ = OpenConnection(path);
  db_ = conn_->db;
}

Database::~Database() {
  if (inTransaction_) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  // A transaction begun by hand and still open is rolled back, as closing would.
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  auto& kept = keptConnections;
  kept.push_back(std::move(conn_));
  if (kept.size() > kMaxKeptConnections) kept.erase(kept.begin());
}

void Database::CloseKept(const std::string& path) {
  auto& kept = keptConnections;
  std::erase_if(kept, [&](const auto& c) { return path.empty() || c->path == path; });
}

void Database::Fail(int rc) {
  throw VarnelError(err::kDatabaseBase + (rc & 0xFF), sqlite3_errmsg(db_));
}

void Database::Exec(const std::string& sql) {
  char* msg = nullptr;
  int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg);
  if (rc != SQLITE_OK) {
    std::string text = msg ? msg : sqlite3_errstr(rc);
    sqlite3_free(msg);
    throw VarnelError(err::kDatabaseBase + (rc & 0xFF), text);
  }
}

void Database::Begin() {
  Exec("BEGIN IMMEDIATE");
  inTransaction_ = true;
}

void Database::Commit() {
  if (!inTransaction_) return;
  inTransaction_ = false;
  Exec("COMMIT");
}

void Database::Rollback() {
  inTransaction_ = false;
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

Table Database::Open(const std::string& table) { return Table(*this, table); }

sqlite3_stmt* Database::Statement(const std::string& sql) {
  auto it = conn_->statements.find(sql);
  if (it != conn_->statements.end()) return it->second;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
  conn_->statements.emplace(sql, st);
  return st;
}

std::shared_ptr<const Database::Shape> Database::ShapeOf(const std::string& table) {
  std::string key = table;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto it = conn_->shapes.find(key);
  if (it != conn_->shapes.end()) return it->second;
  sqlite3_stmt* st = Statement("PRAGMA table_info(" + Quote(table) + ")");
  auto shape = std::make_shared<Shape>();
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    shape->columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    const unsigned char* type = sqlite3_column_text(st, 2);
    shape->intColumn.push_back(type &&
                               strcasecmp(reinterpret_cast<const char*>(type), "INTEGER") == 0);
  }
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) Fail(rc);
  if (shape->columns.empty())
    throw VarnelError(err::kDatabaseBase + SQLITE_ERROR, "no such table: " + table);
  conn_->shapes.emplace(key, shape);
  return shape;
}

// ---------------------------------------------------------------- Table

Table::Table(Database& db, std::string name)
    : db_(&db), name_(std::move(name)), shape_(db.ShapeOf(name_)) {}

Table::Table(Table&& o) noexcept
    : db_(o.db_),
      name_(std::move(o.name_)),
      shape_(std::move(o.shape_)),
      rowIds_(std::move(o.rowIds_)),
      pos_(o.pos_),
      deleted_(o.deleted_),
      row_(std::move(o.row_)),
      adding_(o.adding_),
      edits_(std::move(o.edits_)),
      edited_(std::move(o.edited_)),
      kept_(o.kept_),
      keptColumns_(std::move(o.keptColumns_)),
      keptAdding_(o.keptAdding_) {}

Table::~Table() = default;

std::size_t Table::ColumnIndex(const std::string& column) const {
  // Callers nearly always spell a column as the schema does; other cases are found too.
  const auto& columns = shape_->columns;
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (columns[i] == column) return i;
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (strcasecmp(columns[i].c_str(), column.c_str()) == 0) return i;
  throw MissingColumn(name_, column);
}

const Table::Value* Table::Edit(std::size_t column) const {
  return std::find(edited_.begin(), edited_.end(), column) == edited_.end() ? nullptr
                                                                            : &edits_[column];
}

Table::Value& Table::StartEdit(std::size_t column) {
  if (edits_.size() < shape_->columns.size()) edits_.resize(shape_->columns.size());
  auto at = std::lower_bound(edited_.begin(), edited_.end(), column);
  if (at == edited_.end() || *at != column) edited_.insert(at, column);
  Value& v = edits_[column];
  v.isNull = false;
  v.isInt = false;
  return v;
}

void Table::LoadRowIds() {
  if (rowIds_) return;
  sqlite3_stmt* st = db_->Statement("SELECT rowid FROM " + Quote(name_) + " ORDER BY rowid");
  std::vector<std::int64_t> ids;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(st, 0));
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) db_->Fail(rc);
  rowIds_ = std::move(ids);
  pos_ = 0;
}

bool Table::Eof() {
  LoadRowIds();
  return pos_ >= rowIds_->size();
}

void Table::MoveNext() {
  if (!Eof()) ++pos_;
  deleted_ = false;
  row_.reset();
  edited_.clear();
  adding_ = false;
}

void Table::MoveFirst() {
  LoadRowIds();
  pos_ = 0;
  deleted_ = false;
  row_.reset();
}

std::size_t Table::RecordCount() {
  LoadRowIds();
  return rowIds_->size();
}

const Table::Value& Table::Current(const std::string& column) {
  std::size_t idx = ColumnIndex(column);
  if (adding_) {
    static const Value kNull;
    const Value* edit = Edit(idx);
    return edit ? *edit : kNull;
  }
  if (Eof() || deleted_) throw NoCurrentRecord(name_);
  if (!row_) {
    sqlite3_stmt* st = db_->Statement("SELECT * FROM " + Quote(name_) + " WHERE rowid = ?");
    sqlite3_bind_int64(st, 1, (*rowIds_)[pos_]);
    int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE) {
      sqlite3_reset(st);
      throw NoCurrentRecord(name_);  // deleted by another program meanwhile
    }
    if (rc != SQLITE_ROW) {
      sqlite3_reset(st);
      db_->Fail(rc);
    }
    std::vector<Value> values(shape_->columns.size());
    for (int i = 0; i < sqlite3_column_count(st) && i < static_cast<int>(values.size()); ++i) {
      Value& v = values[static_cast<std::size_t>(i)];
      switch (sqlite3_column_type(st, i)) {
        case SQLITE_NULL: break;
        case SQLITE_INTEGER:
          v.isNull = false;
          v.isInt = true;
          v.i = sqlite3_column_int64(st, i);
          break;
        default:
          v.isNull = false;
          v.s = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
          break;
      }
    }
    sqlite3_reset(st);
    row_ = std::move(values);
  }
  if (const Value* edit = Edit(idx)) return *edit;
  return (*row_)[idx];
}

std::string Table::Text(const std::string& column) {
  const Value& v = Current(column);
  if (v.isNull) return {};
  return v.isInt ? std::to_string(v.i) : v.s;
}

bool Table::Flag(const std::string& column) {
  const Value& v = Current(column);
  if (v.isNull) return false;
  if (v.isInt) return v.i != 0;
  if (strcasecmp(v.s.c_str(), "true") == 0) return true;
  if (strcasecmp(v.s.c_str(), "false") == 0) return false;
  std::int64_t n;
  if (ParseInteger(v.s, n)) return n != 0;
  throw VarnelError(err::kTypeMismatch, "Type mismatch (" + name_ + "." + column + ")");
}

std::int64_t Table::IntValue(const std::string& column) {
  const Value& v = Current(column);
  if (v.isNull) return 0;
  if (v.isInt) return v.i;
  std::int64_t n;
  if (ParseInteger(v.s, n)) return n;
  throw VarnelError(err::kTypeMismatch, "Type mismatch (" + name_ + "." + column + ")");
}

std::int16_t Table::Int16(const std::string& column) {
  std::int64_t n = IntValue(column);
  if (n < std::numeric_limits<std::int16_t>::min() || n > std::numeric_limits<std::int16_t>::max())
    throw VarnelError(err::kOverflow, "Overflow (" + name_ + "." + column + ")");
  return static_cast<std::int16_t>(n);
}

std::int32_t Table::Int32(const std::string& column) {
  std::int64_t n = IntValue(column);
  if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
    throw VarnelError(err::kOverflow, "Overflow (" + name_ + "." + column + ")");
  return static_cast<std::int32_t>(n);
}

void Table::Set(const std::string& column, const std::string& value) {
  std::size_t idx = ColumnIndex(column);
  std::int64_t n = 0;
  if (shape_->intColumn[idx] && !ParseInteger(value, n))
    throw VarnelError(err::kTypeMismatch, "Type mismatch (" + name_ + "." + column + ")");
  Value& v = StartEdit(idx);
  if (shape_->intColumn[idx]) {
    v.isInt = true;
    v.i = n;
  } else {
    v.s.assign(value);
  }
}

void Table::Set(const std::string& column, std::int64_t value) {
  std::size_t idx = ColumnIndex(column);
  Value& v = StartEdit(idx);
  if (shape_->intColumn[idx]) {
    v.isInt = true;
    v.i = value;
  } else {
    v.s = std::to_string(value);
  }
}

void Table::AddNew() {
  adding_ = true;
  edited_.clear();
}

sqlite3_stmt* Table::UpdateStatement() {
  // Rows written one after another with the same columns share the statement, so a loop that
  // adds rows builds its SQL once.
  if (kept_ && keptAdding_ == adding_ && keptColumns_ == edited_) return kept_;
  std::string sql;
  if (adding_) {
    if (edited_.empty()) {
      sql = "INSERT INTO " + Quote(name_) + " DEFAULT VALUES";
    } else {
      std::string cols, marks;
      for (std::size_t idx : edited_) {
        cols += (cols.empty() ? "" : ", ") + Quote(shape_->columns[idx]);
        marks += marks.empty() ? "?" : ", ?";
      }
      sql = "INSERT INTO " + Quote(name_) + " (" + cols + ") VALUES (" + marks + ")";
    }
  } else {
    std::string sets;
    for (std::size_t idx : edited_)
      sets += (sets.empty() ? "" : ", ") + Quote(shape_->columns[idx]) + " = ?";
    sql = "UPDATE " + Quote(name_) + " SET " + sets + " WHERE rowid = ?";
  }
  kept_ = db_->Statement(sql);
  keptColumns_ = edited_;
  keptAdding_ = adding_;
  return kept_;
}

void Table::Update() {
  if (!adding_ && (Eof() || deleted_)) throw NoCurrentRecord(name_);
  if (edited_.empty() && !adding_) return;
  sqlite3_stmt* st = UpdateStatement();
  int n = 1;
  for (std::size_t idx : edited_) {
    const Value& v = edits_[idx];
    // The values stay put until the statement is reset, so SQLite need not copy them.
    if (v.isInt)
      sqlite3_bind_int64(st, n++, v.i);
    else
      sqlite3_bind_text(st, n++, v.s.data(), static_cast<int>(v.s.size()), SQLITE_STATIC);
  }
  if (!adding_) sqlite3_bind_int64(st, n, (*rowIds_)[pos_]);
  int rc = sqlite3_step(st);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (rc != SQLITE_DONE) db_->Fail(rc);
  if (adding_ && rowIds_) {
    // The new row becomes the current row, as after an add-new and update.
    rowIds_->push_back(sqlite3_last_insert_rowid(db_->Handle()));
    pos_ = rowIds_->size() - 1;
  }
  adding_ = false;
  edited_.clear();
  row_.reset();
}

void Table::Delete() {
  if (Eof() || deleted_) throw NoCurrentRecord(name_);
  sqlite3_stmt* st = db_->Statement("DELETE FROM " + Quote(name_) + " WHERE rowid = ?");
  sqlite3_bind_int64(st, 1, (*rowIds_)[pos_]);
  int rc = sqlite3_step(st);
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) db_->Fail(rc);
  deleted_ = true;
  row_.reset();
  edited_.clear();
}

}  // namespace varnel
