#include "admin/catalogue.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>

#include "admin/command.h"
#include "filter/hold_queue.h"
#include "intake/comm_port.h"
#include "intake/panel_parsers.h"
#include "intake/syslog.h"
#include "platform/snmp/service_trap.h"
#include "service/event_list.h"
#include "service/state/delivery_state.h"
#include "service/trace.h"
#include "transports/paging.h"
#include "transports/phone_mo.h"

namespace varnel {
extern const std::string_view kSchemaSql;
}

namespace varnel::admin {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

template <class Names>
std::string JoinNames(const Names& names) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : ", ") + std::string(n);
  return out;
}

// The schema marks each table "-- rows: one" or "-- rows: many" just before it is created.
bool SchemaSaysSingleRow(const std::string& table) {
  const std::string create = "CREATE TABLE \"" + table + "\"";
  std::size_t at = kSchemaSql.find(create);
  if (at == std::string_view::npos) return false;
  std::size_t mark = kSchemaSql.rfind("-- rows:", at);
  return mark != std::string_view::npos && kSchemaSql.substr(mark, 12) == "-- rows: one";
}

constexpr const char* kBoolColumns[] = {"BackupVarnel",
                                        "BufferAllMessOffDuty",
                                        "BufferMessages",
                                        "CaseSensitive",
                                        "ConfirmedDelivery",
                                        "Correlation",
                                        "Enabled",
                                        "Enabled1",
                                        "Enabled2",
                                        "EscalateWhenExp",
                                        "FilterCaseSensitive",
                                        "ForwardSendStatusAsTrap",
                                        "ForwardSysLogAsTrap",
                                        "LogEvent",
                                        "MessagePrefix",
                                        "MoCalling",
                                        "ModParse3164",
                                        "ModRemoveDAT",
                                        "NotifyDutyListOnOff",
                                        "OneMessOneEvent",
                                        "PagerNumMoCall",
                                        "PassiveTransfer",
                                        "PollMe",
                                        "RemindOnce",
                                        "RemoteBackup",
                                        "ReqAck",
                                        "ReqAckNoAck",
                                        "SIL",
                                        "SendDate",
                                        "SendMessFirstDown",
                                        "SendMessWhenExp",
                                        "SendMessWhenUp",
                                        "SendMessage",
                                        "SendNodeName",
                                        "SendPriority",
                                        "SendTime",
                                        "SendToAllGroups",
                                        "SendUpNotInQueue",
                                        "SkipDupEvent",
                                        "SkipTrapsNotDef",
                                        "TestUse",
                                        "TransferLogFiles",
                                        "UseAuth",
                                        "UseEventFilter",
                                        "UseHcodedPriority",
                                        "UseHcodedSource",
                                        "UseMailServer2",
                                        "WaitForReply"};
constexpr const char* kPortColumns[] = {
    "UdpPort", "TcpPort", "ListeningPort1", "ListeningPort2", "TrapUdpPort", "FtpPort", "MailPort"};
constexpr const char* kHourColumns[] = {"BackupHour", "TestSendTime"};
constexpr const char* kInt32Columns[] = {"Index", "Indexx", "CaseNr"};

template <class Names>
bool Among(const Names& names, const std::string& column) {
  return std::any_of(std::begin(names), std::end(names),
                     [&](const char* n) { return column == n; });
}

constexpr const char* kReceiverTypes[] = {kReceiverKinds[0].type, kReceiverKinds[1].type,
                                          kReceiverKinds[2].type, kReceiverKinds[3].type,
                                          kReceiverKinds[4].type, kReceiverKinds[5].type};
static_assert(std::size(kReceiverTypes) == std::size(kReceiverKinds));

// The value lists of the text columns that take one word of a list.
std::span<const char* const> WordsOf(const std::string& table, const std::string& c) {
  if (c == "DebugMode") return kDebugModes;
  if (c.starts_with("RecvType") || (table == "Receiver_Test" && c == "Type")) return kReceiverTypes;
  if (c == "TrapProtocol") return snmp::kTrapProtocols;
  if (c == "CriteriaDupEvent" || c == "MessageUp") return kMessageCriteria;
  if (table == "SuppGrp_Perm") {
    if (c == "Priority" || c == "PriorityUp" || c == "NewPriority") return kSeverityWords;
    if (c == "PrioritySearch" || c == "PrioritySearchUp") return kOrderSearchWords;
    if (c == "NodeNameSearch" || c == "MessageSearch") return kPatternSearchWords;
  }
  if (c == "TestSeverity" || c == "PollMeSeverity") return kSeverityWords;
  if (table == "Event_SysLog") {
    if (c == "Protocol1" || c == "Protocol2") return kSyslogProtocols;
    if (c == "FilterPriority" || c == "ModDefPriority") return kSeverityNames;
    if (c == "FilterFacility" || c == "ModDefFacility") return kFacilityNames;
    if (c == "FilterPriSearch" || c == "FilterFacSearch") return kOrderSearchWords;
    if (c == "FilterIpAddrSearch" || c == "FilterMessSearch") return kPatternSearchWords;
    if (c == "LogMessageAs") return kMessageLayouts;
  }
  if (table == "Settings_Oper_Phone_MO") {
    if (c == "Protocol") return kPhoneMoProtocols;
    if (c == "CharSet") return kPhoneMoCharSets;
  }
  if (table == "Settings_Oper_Phone_Dialup" || table == "Settings_Oper_Pager_Alfa") {
    if (c == "Protocol") return kPagingProtocols;
    if (c == "CharSet") return kPagingCharSets;
  }
  if (table == "Event_SMS" && c == "Protocol") return kSmsReaderProtocols;
  if (table == "Event_CommPort") {
    if (c == "Handshaking") return kHandshakingWords;
    if (c == "System") return kPanelTypes;
  }
  return {};
}

bool ParseInt(const std::string& text, std::int64_t& out) {
  const char* b = text.data();
  const char* e = b + text.size();
  if (b != e && *b == '+') ++b;
  auto [p, ec] = std::from_chars(b, e, out);
  return ec == std::errc() && p == e && b != e;
}

struct Range {
  std::int64_t lo, hi;
  const char* what;
};

Range RangeOf(ValueKind kind) {
  switch (kind) {
    case ValueKind::Int16: return {-32768, 32767, "a whole number from -32768 to 32767"};
    case ValueKind::Port: return {0, 65535, "a port number from 0 (not set) to 65535"};
    case ValueKind::Hour: return {0, 23, "an hour from 0 to 23"};
    case ValueKind::DutyMask:
      return {0, 16777215, "an hour mask from 0 to 16777215 (bit n = hour n)"};
    default:
      return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(),
              "a 32-bit whole number"};
  }
}

bool ParseBool(const std::string& text, bool& out) {
  static const char* const kTrue[] = {"1", "-1", "true", "yes", "on"};
  static const char* const kFalse[] = {"0", "false", "no", "off"};
  for (const char* w : kTrue)
    if (SameName(text, w)) return out = true, true;
  for (const char* w : kFalse)
    if (SameName(text, w)) return out = false, true;
  return false;
}

}  // namespace

std::vector<TableInfo> ReadCatalogue(Database& db) {
  std::vector<TableInfo> tables;
  sqlite3_stmt* list = nullptr;
  if (sqlite3_prepare_v2(db.Handle(),
                         "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE "
                         "'sqlite_%' ORDER BY rowid",
                         -1, &list, nullptr) != SQLITE_OK)
    db.Fail(sqlite3_errcode(db.Handle()));
  while (sqlite3_step(list) == SQLITE_ROW)
    tables.push_back({reinterpret_cast<const char*>(sqlite3_column_text(list, 0)), false, {}, {}});
  sqlite3_finalize(list);
  for (TableInfo& t : tables) {
    t.singleRow = SchemaSaysSingleRow(t.name);
    sqlite3_stmt* info = nullptr;
    std::string sql = "SELECT name, type FROM pragma_table_info(?1)";
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &info, nullptr) != SQLITE_OK)
      db.Fail(sqlite3_errcode(db.Handle()));
    sqlite3_bind_text(info, 1, t.name.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(info) == SQLITE_ROW) {
      t.columns.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(info, 0)));
      t.integer.push_back(
          SameName(reinterpret_cast<const char*>(sqlite3_column_text(info, 1)), "INTEGER"));
    }
    sqlite3_finalize(info);
  }
  return tables;
}

const TableInfo& FindTable(const std::vector<TableInfo>& tables, const std::string& name) {
  for (const TableInfo& t : tables)
    if (SameName(t.name, name)) return t;
  std::vector<std::string> names;
  for (const TableInfo& t : tables) names.push_back(t.name);
  throw BadInput("unknown table \"" + name + "\"; the tables are: " + JoinNames(names));
}

std::size_t FindColumn(const TableInfo& table, const std::string& name) {
  for (std::size_t i = 0; i < table.columns.size(); ++i)
    if (SameName(table.columns[i], name)) return i;
  throw BadInput("table " + table.name + " has no column \"" + name +
                 "\"; its columns are: " + JoinNames(table.columns));
}

ColumnRule RuleOf(const std::string& table, const std::string& column, bool integer) {
  ColumnRule rule;
  if (Among(kBoolColumns, column)) {
    rule.kind = ValueKind::Bool;
  } else if (Among(kPortColumns, column)) {
    rule.kind = ValueKind::Port;
  } else if (Among(kHourColumns, column)) {
    rule.kind = ValueKind::Hour;
  } else if (column.starts_with("DutyTime")) {
    rule.kind = ValueKind::DutyMask;
  } else if (Among(kInt32Columns, column) ||
             (table == "Settings_Mail_SMTP" && (column == "TimeOut" || column == "MaxChar"))) {
    rule.kind = ValueKind::Int32;
  } else if (integer) {
    rule.kind = ValueKind::Int16;
  } else {
    rule.words = WordsOf(table, column);
  }
  return rule;
}

StoredValue CheckValue(const TableInfo& table, std::size_t column, const std::string& text) {
  const ColumnRule rule = RuleOf(table.name, table.columns[column], table.integer[column]);
  const std::string where = table.name + "." + table.columns[column];
  StoredValue v;
  if (rule.kind == ValueKind::Bool) {
    bool b = false;
    if (!ParseBool(text, b))
      throw BadInput(where + " takes 1 or 0 (true/false, yes/no, on/off), not \"" + text + "\"");
    v.isInt = true;
    v.i = b ? 1 : 0;
    return v;
  }
  if (rule.kind != ValueKind::Text) {
    const Range r = RangeOf(rule.kind);
    if (!ParseInt(text, v.i) || v.i < r.lo || v.i > r.hi)
      throw BadInput(where + " takes " + r.what + ", not \"" + text + "\"");
    v.isInt = true;
    return v;
  }
  v.s = text;
  if (rule.words.empty() || text.empty()) return v;
  for (const char* w : rule.words)
    if (text == w) return v;
  std::vector<std::string> quoted;
  for (const char* w : rule.words) quoted.push_back("\"" + std::string(w) + "\"");
  throw BadInput(where + " takes one of: " + JoinNames(quoted) + " (or nothing); not \"" + text +
                 "\"");
}

std::pair<std::string, std::string> SplitAssignment(const std::string& word) {
  std::size_t eq = word.find('=');
  if (eq == std::string::npos || eq == 0) throw BadInput("\"" + word + "\" is not COLUMN=VALUE");
  return {word.substr(0, eq), word.substr(eq + 1)};
}

}  // namespace varnel::admin
