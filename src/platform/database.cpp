#include "platform/database.h"

#include <strings.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/error.h"

namespace varnel {
namespace {

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

Database::Database(const std::string& path) {
  int rc =
      sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw VarnelError(err::kDatabaseBase + (rc & 0xFF), msg + ": " + path);
  }
  sqlite3_busy_timeout(db_, 5000);
}

Database::~Database() {
  if (inTransaction_) sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close_v2(db_);
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

Table Database::Open(const std::string& table) { return Table(*this, table); }

// ---------------------------------------------------------------- Table

Table::Table(Database& db, std::string name) : db_(&db), name_(std::move(name)) {
  sqlite3_stmt* st = Prepare("PRAGMA table_info(" + Quote(name_) + ")");
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    columns_.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
    const unsigned char* type = sqlite3_column_text(st, 2);
    intColumn_.push_back(type && strcasecmp(reinterpret_cast<const char*>(type), "INTEGER") == 0);
  }
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) db_->Fail(rc);
  if (columns_.empty())
    throw VarnelError(err::kDatabaseBase + SQLITE_ERROR, "no such table: " + name_);
}

Table::Table(Table&& o) noexcept
    : db_(o.db_),
      name_(std::move(o.name_)),
      columns_(std::move(o.columns_)),
      intColumn_(std::move(o.intColumn_)),
      rowIds_(std::move(o.rowIds_)),
      pos_(o.pos_),
      deleted_(o.deleted_),
      row_(std::move(o.row_)),
      adding_(o.adding_),
      edits_(std::move(o.edits_)),
      stmts_(std::move(o.stmts_)) {}

Table::~Table() = default;

Table::Statements::~Statements() {
  for (auto& [sql, st] : map) sqlite3_finalize(st);
}

sqlite3_stmt* Table::Prepare(const std::string& sql) {
  auto it = stmts_.map.find(sql);
  if (it != stmts_.map.end()) return it->second;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db_->Handle(), sql.c_str(), -1, &st, nullptr);
  if (rc != SQLITE_OK) db_->Fail(rc);
  stmts_.map.emplace(sql, st);
  return st;
}

std::size_t Table::ColumnIndex(const std::string& column) const {
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (strcasecmp(columns_[i].c_str(), column.c_str()) == 0) return i;
  throw MissingColumn(name_, column);
}

void Table::LoadRowIds() {
  if (rowIds_) return;
  sqlite3_stmt* st = Prepare("SELECT rowid FROM " + Quote(name_) + " ORDER BY rowid");
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
  edits_.clear();
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
    auto it = edits_.find(idx);
    static const Value kNull;
    return it == edits_.end() ? kNull : it->second;
  }
  if (Eof() || deleted_) throw NoCurrentRecord(name_);
  if (!row_) {
    sqlite3_stmt* st = Prepare("SELECT * FROM " + Quote(name_) + " WHERE rowid = ?");
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
    std::vector<Value> values(columns_.size());
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
  auto it = edits_.find(idx);
  if (it != edits_.end()) return it->second;
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
  Value v;
  v.isNull = false;
  if (intColumn_[idx]) {
    if (!ParseInteger(value, v.i))
      throw VarnelError(err::kTypeMismatch, "Type mismatch (" + name_ + "." + column + ")");
    v.isInt = true;
  } else {
    v.s = value;
  }
  edits_[idx] = std::move(v);
}

void Table::Set(const std::string& column, std::int64_t value) {
  std::size_t idx = ColumnIndex(column);
  Value v;
  v.isNull = false;
  if (intColumn_[idx]) {
    v.isInt = true;
    v.i = value;
  } else {
    v.s = std::to_string(value);
  }
  edits_[idx] = std::move(v);
}

void Table::AddNew() {
  adding_ = true;
  edits_.clear();
}

void Table::Update() {
  if (!adding_ && (Eof() || deleted_)) throw NoCurrentRecord(name_);
  if (edits_.empty() && !adding_) return;
  std::string sql;
  if (adding_) {
    if (edits_.empty()) {
      sql = "INSERT INTO " + Quote(name_) + " DEFAULT VALUES";
    } else {
      std::string cols, marks;
      for (auto& [idx, v] : edits_) {
        cols += (cols.empty() ? "" : ", ") + Quote(columns_[idx]);
        marks += marks.empty() ? "?" : ", ?";
      }
      sql = "INSERT INTO " + Quote(name_) + " (" + cols + ") VALUES (" + marks + ")";
    }
  } else {
    std::string sets;
    for (auto& [idx, v] : edits_)
      sets += (sets.empty() ? "" : ", ") + Quote(columns_[idx]) + " = ?";
    sql = "UPDATE " + Quote(name_) + " SET " + sets + " WHERE rowid = ?";
  }
  sqlite3_stmt* st = Prepare(sql);
  int n = 1;
  for (auto& [idx, v] : edits_) {
    if (v.isInt)
      sqlite3_bind_int64(st, n++, v.i);
    else
      sqlite3_bind_text(st, n++, v.s.data(), static_cast<int>(v.s.size()), SQLITE_TRANSIENT);
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
  edits_.clear();
  row_.reset();
}

void Table::Delete() {
  if (Eof() || deleted_) throw NoCurrentRecord(name_);
  sqlite3_stmt* st = Prepare("DELETE FROM " + Quote(name_) + " WHERE rowid = ?");
  sqlite3_bind_int64(st, 1, (*rowIds_)[pos_]);
  int rc = sqlite3_step(st);
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) db_->Fail(rc);
  deleted_ = true;
  row_.reset();
  edits_.clear();
}

}  // namespace varnel
