#include "web/log_pages.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "service/date_format.h"
#include "service/errors.h"

namespace varnel {
namespace {

using Row = std::vector<std::string>;

// The newest rows of a log and whether it has any row at all.
struct LogRows {
  bool any = false;
  std::vector<Row> rows;
};

struct Statement {
  sqlite3_stmt* st = nullptr;
  ~Statement() { sqlite3_finalize(st); }
};

// Reads the columns of at most limit rows of table, by orderColumn descending (insertion
// order breaking ties), so a long log costs no more than the rows shown.
LogRows ReadNewest(Database& db, const std::string& table, const std::string& orderColumn,
                   const std::vector<std::string>& columns, int limit) {
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < columns.size(); ++i) sql += (i ? ", \"" : "\"") + columns[i] + "\"";
  sql += " FROM \"" + table + "\" ORDER BY \"" + orderColumn + "\" DESC, rowid DESC LIMIT ?";
  Statement s;
  int rc = sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &s.st, nullptr);
  if (rc != SQLITE_OK) db.Fail(rc);
  // One row more than shown tells whether the log is empty when none are shown.
  sqlite3_bind_int(s.st, 1, std::max(limit, 1));
  LogRows out;
  while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
    out.any = true;
    if (static_cast<int>(out.rows.size()) >= limit) continue;
    Row row;
    for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
      const unsigned char* text = sqlite3_column_text(s.st, c);
      row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    out.rows.push_back(std::move(row));
  }
  if (rc != SQLITE_DONE) db.Fail(rc);
  return out;
}

long Number(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  return end == text.c_str() || errno ? -1 : v;
}

// The first n characters; a negative maximum shows nothing.
std::string Cut(const std::string& text, int n) { return LeftChars(text, std::max(n, 0)); }

// DateAndTime through TimeFormat; a text that is no time stays as it is.
std::string TimeCell(const std::string& dateAndTime, const std::string& format) {
  LocalTime t;
  if (format.empty() || !ParseTimeText(dateAndTime, t)) return dateAndTime;
  return FormatDateTime(format, t);
}

std::string EventColour(const std::string& priority, const std::string& previous) {
  static const char* const kColours[][2] = {{"1 - Critical", "Red"},
                                            {"2 - Major", "Yellow"},
                                            {"3 - Minor", "Fuchsia"},
                                            {"4 - Warning", "Aqua"},
                                            {"5 - Normal", "Lime"}};
  for (const auto& [word, colour] : kColours)
    if (priority == word) return colour;
  return previous;
}

std::string AlarmColour(long sendStatusInt, const std::string& previous) {
  switch (sendStatusInt) {
    case 1: return "Red";
    case 2: return "Yellow";
    case 3: return "Lime";
    default: return previous;
  }
}

std::string AckWord(long ackStatus) {
  switch (ackStatus) {
    case 3: return "problemSolved";
    case 2: return "workInProgress";
    case 1: return "unknown";
    default: return "";
  }
}

void WritePage(Varnel& ctx, const std::string& name, const PageLines& page) {
  RewriteLines(ctx.Path(std::string(kWebDir) + "/" + name), page);
}

// What differs between the three logs.
struct Section {
  const char* procedure;
  const char* table;
  const char* orderColumn;
  std::vector<std::string> columns;
  const char* page;     // its own page, and the overview's link
  const char* caption;  // the overview's caption and its own page's title
  bool first, last;     // the first and last section of the overview
  std::vector<HeaderCell> headers;
  // Writes the cells of one row; colour holds the previous row's colour.
  std::function<void(const Row&, std::string& colour, PageLines&)> cells;
};

bool WriteSection(Varnel& ctx, OverviewPage* overview, int entries, const CellFont& font,
                  const Section& s) {
  const bool ok = Guarded(ctx, s.procedure, [&] {
    LogRows log;
    {
      Database db = OpenDatabase(ctx);
      log = ReadNewest(db, s.table, s.orderColumn, s.columns, entries);
    }
    PageLines own;
    PageLines& page = overview ? overview->lines : own;
    if (!overview)
      PageHead(page, s.caption);
    else {
      if (s.first) PageHead(page, "Varnel");
      NavigationTable(page, font, s.page, s.caption, log.any);
    }
    if (log.any) {
      DataTableStart(page, font, s.headers);
      std::string colour;  // the first row of an unknown kind has none
      for (const Row& row : log.rows) {
        RowStart(page);
        s.cells(row, colour, page);
        RowEnd(page);
      }
      TableEnd(page);
    }
    if (!overview)
      PageEnd(page), WritePage(ctx, s.page, page);
    else if (s.last) {
      PageEnd(page);
      if (overview->whole) WritePage(ctx, kWebPages[0], page);
    }
  });
  if (!ok && overview) overview->whole = false;
  return ok;
}

CellFont FontOf(const WebLayout& l) { return {l.FontName, l.FontSize}; }

WebLayout ReadWebLayout(Varnel& ctx) {
  Database db = OpenDatabase(ctx);
  Table t = db.Open("LogFiles_WebLayout");
  WebLayout l;
  l.EventEntriesFirst = t.Int16("EventEntriesFirst");
  l.AlarmEntriesFirst = t.Int16("AlarmEntriesFirst");
  l.ActionEntriesFirst = t.Int16("ActionEntriesFirst");
  l.EventEntriesLog = t.Int16("EventEntriesLog");
  l.AlarmEntriesLog = t.Int16("AlarmEntriesLog");
  l.ActionEntriesLog = t.Int16("ActionEntriesLog");
  l.FontName = t.Text("FontName");
  l.FontSize = t.Int16("FontSize");
  l.TimeWidth = t.Int16("TimeWidth");
  l.IdWidth = t.Int16("IdWidth");
  l.SourceWidth = t.Int16("SourceWidth");
  l.ReceiverWidth = t.Int16("ReceiverWidth");
  l.MessageWidth = t.Int16("MessageWidth");
  l.StatusWidth = t.Int16("StatusWidth");
  l.TimeFormat = t.Text("TimeFormat");
  l.IdMaxChar = t.Int16("IdMaxChar");
  l.SourceMaxChar = t.Int16("SourceMaxChar");
  l.ReceiverMaxChar = t.Int16("ReceiverMaxChar");
  l.MessageMaxChar = t.Int16("MessageMaxChar");
  l.StatusMaxChar = t.Int16("StatusMaxChar");
  return l;
}

void MakeWebDir(Varnel& ctx) {
  std::error_code ec;
  std::filesystem::create_directory(ctx.Path(kWebDir), ec);
  if (ec) throw FileError(ec.value(), ctx.Path(kWebDir));
}

}  // namespace

bool WebEventLog(Varnel& ctx, OverviewPage* overview, int entries, const WebLayout& l) {
  const CellFont font = FontOf(l);
  return WriteSection(
      ctx, overview, entries, font,
      {"WebEventLog",
       "LogFiles_Event",
       "Index",
       {"DateAndTime", "Priority", "NodeName", "Message"},
       "event.htm",
       "Event Log",
       true,
       false,
       {{"Time", l.TimeWidth}, {"Source", l.SourceWidth}, {"Message", l.MessageWidth}},
       [&](const Row& r, std::string& colour, PageLines& page) {
         colour = EventColour(r[1], colour);
         DataCell(page, font, l.TimeWidth, colour, TimeCell(r[0], l.TimeFormat), CellEnd::Blank);
         DataCell(page, font, l.SourceWidth, colour, Cut(r[2], l.SourceMaxChar), CellEnd::Plain);
         DataCell(page, font, l.MessageWidth, colour, Cut(r[3], l.MessageMaxChar), CellEnd::Plain);
       }});
}

bool WebAlarmLog(Varnel& ctx, OverviewPage* overview, int entries, const WebLayout& l) {
  const CellFont font = FontOf(l);
  return WriteSection(
      ctx, overview, entries, font,
      {"WebAlarmLog",
       "LogFiles_Alarm",
       "Index",
       {"DateAndTime", "Receiver", "Message", "SendStatusInt"},
       "alarm.htm",
       "Alarm Log",
       false,
       false,
       {{"Time", l.TimeWidth},
        {"ID", l.IdWidth},
        {"Receiver", l.ReceiverWidth},
        {"Message", l.MessageWidth}},
       [&](const Row& r, std::string& colour, PageLines& page) {
         colour = AlarmColour(Number(r[3]), colour);
         // "<ID=905> text": the identifier has its own column.
         const bool tagged = r[2].rfind("<ID=", 0) == 0;
         DataCell(page, font, l.TimeWidth, colour, TimeCell(r[0], l.TimeFormat), CellEnd::Blank);
         DataCell(page, font, l.IdWidth, colour,
                  tagged ? Cut(MidChars(r[2], 5, 3), l.IdMaxChar) : " ", CellEnd::Plain);
         DataCell(page, font, l.ReceiverWidth, colour, Cut(r[1], l.ReceiverMaxChar),
                  CellEnd::Plain);
         DataCell(page, font, l.MessageWidth, colour,
                  tagged ? MidChars(r[2], 10, std::max<int>(l.MessageMaxChar, 0))
                         : Cut(r[2], l.MessageMaxChar),
                  CellEnd::Plain);
       }});
}

bool WebActionLog(Varnel& ctx, OverviewPage* overview, int entries, const WebLayout& l) {
  const CellFont font = FontOf(l);
  return WriteSection(
      ctx, overview, entries, font,
      {"WebActionLog",
       "LogFiles_ReqAck",
       "Indexx",
       {"DateAndTime", "AlarmID", "Receiver", "AckStatus", "AckInfo"},
       "action.htm",
       "Action Log",
       false,
       true,
       {{"Time", l.TimeWidth},
        {"ID", l.IdWidth},
        {"Receiver", l.ReceiverWidth},
        {"Status", l.StatusWidth}},
       [&](const Row& r, std::string& colour, PageLines& page) {
         const long status = Number(r[3]);
         if (status >= 1 && status <= 3) colour = "Lime";
         // An acknowledgement without information text shows its status word.
         const bool noInfo = r[4] == " " || r[4].empty();
         DataCell(page, font, l.TimeWidth, colour, TimeCell(r[0], l.TimeFormat), CellEnd::Blank);
         DataCell(page, font, l.IdWidth, colour, r[1], CellEnd::Blank);
         DataCell(page, font, l.ReceiverWidth, colour, Cut(r[2], l.ReceiverMaxChar),
                  CellEnd::Plain);
         DataCell(page, font, l.StatusWidth, colour,
                  Cut(noInfo ? AckWord(status) : r[4], l.StatusMaxChar), CellEnd::Plain);
       }});
}

void WebLogs(Varnel& ctx) {
  Guarded(ctx, "WebLogs", [&] {
    const WebLayout l = ReadWebLayout(ctx);
    MakeWebDir(ctx);
    OverviewPage overview;
    WebEventLog(ctx, &overview, l.EventEntriesFirst, l);
    WebAlarmLog(ctx, &overview, l.AlarmEntriesFirst, l);
    WebActionLog(ctx, &overview, l.ActionEntriesFirst, l);
    WebEventLog(ctx, nullptr, l.EventEntriesLog, l);
    WebAlarmLog(ctx, nullptr, l.AlarmEntriesLog, l);
    WebActionLog(ctx, nullptr, l.ActionEntriesLog, l);
  });
}

}  // namespace varnel
