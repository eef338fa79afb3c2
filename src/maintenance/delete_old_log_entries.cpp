#include "maintenance/delete_old_log_entries.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "service/date_format.h"
#include "service/errors.h"

namespace varnel {
namespace {

struct LogTable {
  const char* table;
  const char* file;
  const char* header;  // the field names, separated by one tab
  std::vector<const char*> columns;
  bool formatTime;  // DateAndTime written as DateFormat + " HH:MM:SS"
};

// The log tables in the order they are cleaned, each with its export file.
const std::vector<LogTable>& LogTables() {
  static const std::vector<LogTable> kTables = {
      {"LogFiles_Event",
       "Backup/Event_old.txt",
       "Index\tTime\tSeverity\tSource\tMessage\tEvent Source",
       {"Index", "DateAndTime", "Priority", "NodeName", "Message", "EventSource"},
       true},
      {"LogFiles_Alarm",
       "Backup/Alarm_old.txt",
       "Index\tTime\tReceiver\tMessage\tSendStatus Text\tSendStatus Integer",
       {"Index", "DateAndTime", "Receiver", "Message", "SendStatus", "SendStatusInt"},
       true},
      {"LogFiles_ReqAck",
       "Backup/ReqAck_old.txt",
       "Index\tTime\tAlarm ID\tReceiver\tAck Status\tAck Info",
       {"Indexx", "DateAndTime", "AlarmID", "Receiver", "AckStatus", "AckInfo"},
       true},
      {"LogFiles_Action",
       "Backup/Action_old.txt",
       "Index\tCase#\tStartTime\tEndTime\tMessage to IT Staff\tMessage to Customer\tSignature\t"
       "Case Status",
       {"Index", "CaseNr", "DateAndTime", "EstimatedOK", "MessageInternal", "MessageExternal",
        "Signature", "CaseStatus"},
       false},
      {"LogFiles_Maintenance",
       "Backup/Maintenance_old.txt",
       "Index\tStartTime\tEndTime\tMessage to IT Staff\tMessage to Customer\tSignature",
       {"Index", "DateAndTime", "EstimatedOK", "MessageInternal", "MessageExternal", "Signature"},
       true},
  };
  return kTables;
}

// Rows older than the cutoff day, by the date at the start of DateAndTime. A row whose
// time is not a date stays: it cannot be dated, so it is never counted as old.
constexpr const char* kOldRows =
    " WHERE DateAndTime GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*'"
    " AND DateAndTime < ?1";

class Statement {
 public:
  Statement(Database& db, const std::string& sql) : db_(db) {
    int rc = sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &st_, nullptr);
    if (rc != SQLITE_OK) db.Fail(rc);
  }
  ~Statement() { sqlite3_finalize(st_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int i, const std::string& text) {
    sqlite3_bind_text(st_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  }
  // True while there is a row.
  bool Step() {
    int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) db_.Fail(rc);
    return false;
  }
  std::string Text(int i) {
    const unsigned char* t = sqlite3_column_text(st_, i);
    return t ? reinterpret_cast<const char*>(t) : "";
  }

 private:
  Database& db_;
  sqlite3_stmt* st_ = nullptr;
};

// An export file, locked while it is appended to. Lines are buffered and written in large
// pieces; Finish syncs them to disk. A file left unfinished is cut back to its old length,
// so a failed export leaves no partial lines behind.
class ExportFile {
 public:
  ExportFile(std::string path, std::string header)
      : path_(std::move(path)), header_(std::move(header)) {}
  ~ExportFile() {
    if (fd_ < 0) return;
    if (!finished_) (void)::ftruncate(fd_, oldSize_);
    ::close(fd_);
  }
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;

  void Add(const std::string& line) {
    if (fd_ < 0) Open();
    pending_ += line;
    pending_ += "\r\n";
    if (pending_.size() >= kChunk) Flush();
  }
  void Finish() {
    if (fd_ < 0) return;
    Flush();
    if (::fsync(fd_) != 0) throw FileError(errno, path_);
    finished_ = true;
  }

 private:
  static constexpr std::size_t kChunk = 1 << 16;

  void Open() {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      int e = errno;
      auto slash = path_.find_last_of('/');
      if (e == ENOENT && !FileExists(path_.substr(0, slash)))
        throw VarnelError(err::kPathNotFound, "Path not found: " + path_);
      throw FileError(e, path_);
    }
    // Another program that holds a lock on the file (an editor, a collector) keeps it.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
      throw VarnelError(err::kPermissionDenied, "Permission denied: " + path_ + " is locked");
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throw FileError(errno, path_);
    oldSize_ = st.st_size;
    // A new file (or one emptied by hand) starts with the header line.
    if (oldSize_ == 0) pending_ = header_ + "\r\n";
  }
  void Flush() {
    std::size_t done = 0;
    while (done < pending_.size()) {
      ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw FileError(errno, path_);
      done += static_cast<std::size_t>(n);
    }
    pending_.clear();
  }

  std::string path_;
  std::string header_;
  int fd_ = -1;
  off_t oldSize_ = 0;
  bool finished_ = false;
  std::string pending_;
};

// A field of an export line: tabs and line breaks inside a value would split the line.
std::string Field(std::string value) {
  for (char& c : value)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return value;
}

std::string FormattedTime(const DateTimePattern& pattern, const std::string& text) {
  LocalTime t;
  if (!ParseTimeText(text, t)) return text;
  return pattern.Format(t);
}

// Restarts the running numbers and returns DelOldLogDays.
int ResetCounters(Varnel& ctx) {
  Database db = OpenDatabase(ctx);
  Table g = db.Open("Settings_General");
  int days = g.Int16("DelOldLogDays");
  for (const char* counter : {"LogIndexEvent", "LogIndexAlarm", "LogIndexAction", "LogIndexReqAck"})
    g.Set(counter, 1);
  // The maintenance log numbers its entries across days up to 999.
  if (g.Int32("LogIndexMaintenance") > 999) g.Set("LogIndexMaintenance", 1);
  g.Update();
  return days;
}

// The first day whose rows are kept: rows dated more than days calendar days before today
// are old, whatever their time of day.
std::string CutoffDay(const Varnel& ctx, int days) {
  LocalTime today = ctx.clock.Now();
  today.hour = today.minute = today.second = 0;
  return AddSeconds(today, -std::int64_t{days} * 86400).DateText();
}

// Appends the table's old rows to its export file, syncs it, then deletes exactly those rows.
// The write lock taken first keeps every other writer out between the two steps.
void MoveOldRows(Varnel& ctx, const LogTable& t, const std::string& cutoff) {
  Database db = OpenDatabase(ctx);
  db.Begin();
  std::string columns;
  for (const char* c : t.columns)
    columns += std::string(columns.empty() ? "" : ", ") + "\"" + c + "\"";
  ExportFile out(ctx.Path(t.file), t.header);
  const DateTimePattern pattern(ctx.DateFormat + " HH:MM:SS");
  bool any = false;
  {
    Statement select(db, "SELECT " + columns + " FROM \"" + std::string(t.table) + "\"" + kOldRows +
                             " ORDER BY rowid");
    select.Bind(1, cutoff);
    while (select.Step()) {
      std::string line;
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        std::string value = select.Text(static_cast<int>(i));
        if (i > 0) line += '\t';
        const bool time = t.formatTime && std::string_view(t.columns[i]) == "DateAndTime";
        line += Field(time ? FormattedTime(pattern, value) : value);
      }
      out.Add(line);
      any = true;
    }
  }
  if (!any) return;
  out.Finish();
  Statement remove(db, "DELETE FROM \"" + std::string(t.table) + "\"" + kOldRows);
  remove.Bind(1, cutoff);
  remove.Step();
  db.Commit();
}

}  // namespace

void DeleteOldLogEntries(Varnel& ctx) {
  SetStatus(ctx, StatusStepCode::Maintenance, kStatusDeleteOld);
  std::string cutoff;
  if (!Guarded(ctx, "DeleteOldLogEntries", [&] { cutoff = CutoffDay(ctx, ResetCounters(ctx)); }))
    return;
  // Each table on its own: a locked or unwritable export file keeps that table's old rows
  // until the next day and does not hold up the other tables.
  for (const LogTable& t : LogTables())
    Guarded(ctx, "DeleteOldLogEntries", [&] { MoveOldRows(ctx, t, cutoff); });
}

}  // namespace varnel
