#include "delivery/req_ack.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>

#include "agent/send_status_trap.h"
#include "delivery/alarm_log.h"
#include "delivery/send_list.h"
#include "filter/group_text.h"
#include "platform/files.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "service/update_event_log.h"
#include "transports/exec_prog.h"

namespace varnel {
namespace {

constexpr long kReceiverChars = 100;
constexpr std::string_view kAckPrefixStart = "<ID=";
constexpr long kAckPrefixChars = 9;  // "<ID=", three digits and "> "
constexpr std::array<std::string_view, 7> kProgramExtensions = {".exe", ".com", ".bat", ".vbs",
                                                                ".sh",  ".py",  ".pl"};

// A whole decimal number (optional sign) within lo..hi; nothing otherwise.
std::optional<int> WholeNumber(std::string_view text, int lo, int hi) {
  std::string t = Trim(text);
  const char* first = t.data();
  if (!t.empty() && t[0] == '+') ++first;
  int n = 0;
  auto [end, ec] = std::from_chars(first, t.data() + t.size(), n);
  if (first == t.data() + t.size() || ec != std::errc() || end != t.data() + t.size() || n < lo ||
      n > hi)
    return std::nullopt;
  return n;
}

std::string NormalizedNumber(std::string_view number) {
  std::string n = Trim(number);
  if (!n.empty() && n[0] == '+') n.erase(0, 1);
  return n;
}

// Writes the lines back, or deletes the file when none is left.
void KeepLines(const std::string& path, const std::vector<std::string>& lines) {
  if (lines.empty())
    DeleteFile(path);
  else
    RewriteLines(path, lines);
}

// What a reminder needs of its group's row.
struct ReminderGroup {
  bool found = false;
  int waitMinutes = 0;
  bool noAck = false;
  std::string runProg;
};

// Puts the entry's group with the entry's text as the only matched group, so that the send
// list holds exactly its receivers.
ReminderGroup PrepareReminderGroup(Varnel& ctx, const ReqAckEntry& entry) {
  ReminderGroup g;
  for (SuppGroupEntry& e : ctx.filter.SuppGrp) e.Clear();
  Database db = OpenDatabase(ctx);
  for (Table t = db.Open("SuppGrp_Perm"); !t.Eof(); t.MoveNext()) {
    if (t.Text("Name") != entry.GroupName) continue;
    SuppGroupEntry& e = ctx.filter.SuppGrp[1];
    FillGroupEntry(e, t);
    e.Mess = entry.Text;
    g = {true, t.Int16("ReqAckWait"), t.Flag("ReqAckNoAck"), t.Text("ReqAckRunProg")};
    break;
  }
  return g;
}

// Runs ReqAckRunProg for one receiver of the last reminder and notes the outcome in the
// entry's result text.
void RunNoAckProgram(Varnel& ctx, const ReqAckEntry& entry, const std::string& runProg,
                     SendEntry& e) {
  ProgramCall call = SplitRunProg(runProg);
  const std::string message = e.RecvMess.starts_with(kAckPrefixStart)
                                  ? MidChars(e.RecvMess, kAckPrefixChars + 1)
                                  : e.RecvMess;
  const std::string parameters = ExpandRunProgParameters(
      call.parameters, e.RecvName, std::to_string(entry.AlarmId), e.RecvOper, message);
  const bool started = !call.program.empty() && RunExecProg(ctx, call.program, parameters);
  e.RecvSendStatus = started ? "RUNPROG: Program executed successfully."
                             : "RUNPROG: Error [0] when executing the program.";
}

// Sends one due entry again to its group's receivers and moves it to its next due time.
void SendReminder(Varnel& ctx, ReqAckEntry& entry, Transport deliver) {
  const ReminderGroup g = PrepareReminderGroup(ctx, entry);
  MakeSendList(ctx);
  for (SuppGroupEntry& e : ctx.filter.SuppGrp) e.Clear();
  auto& list = ctx.delivery.SendList;
  for (int i = 1; i <= kMaxSendList; ++i) {
    SendEntry& e = list[i];
    if (e.Free()) continue;
    deliver(ctx, e);
    UpdateAlarmLog(ctx, i, kSendList);
    if (entry.Reminders < 2 && g.noAck) {
      RunNoAckProgram(ctx, entry, g.runProg, e);
      UpdateAlarmLog(ctx, i, kSendList);
    }
  }
  for (SendEntry& e : list) e = SendEntry{};
  entry.Reminders -= 1;
  entry.DueTime = AddMinutes(ctx.clock.Now(), g.waitMinutes).Text();
}

void TraceReqAckEntries(Varnel& ctx, const std::vector<ReqAckEntry>& entries) {
  if (!TraceEnabled(ctx, TraceCategory::FilterProcess)) return;
  TraceLines t(ctx);
  t.DumpTitle("Acknowledgement Requests");
  for (const ReqAckEntry& e : entries) t.Line(ReqAckLine(e));
  t.Blank();
  WriteTrace(ctx, TraceCategory::FilterProcess, trace::kReqAck, t.Lines());
}

}  // namespace

bool ParseReqAckEntry(std::string_view line, ReqAckEntry& out) {
  std::array<std::string_view, 4> f;
  for (std::string_view& field : f) {
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return false;
    field = line.substr(0, tab);
    line.remove_prefix(tab + 1);
  }
  std::optional<int> id = WholeNumber(f[1], 0, 999);
  std::optional<int> reminders = WholeNumber(f[3], INT16_MIN, INT16_MAX);
  LocalTime due;
  if (!id || !reminders || !ParseTimeText(std::string(f[2]), due) || f[2].size() != 19)
    return false;
  out = {std::string(f[0]), *id, std::string(f[2]), *reminders, std::string(line)};
  return true;
}

std::string ReqAckLine(const ReqAckEntry& e) {
  return DropFileField(e.GroupName) + "\t" + std::to_string(e.AlarmId) + "\t" + e.DueTime + "\t" +
         std::to_string(e.Reminders) + "\t" + DropFileField(e.Text);
}

ProgramCall SplitRunProg(std::string_view text) {
  const std::string lower = ToLower(text);
  std::size_t cut = std::string::npos;
  for (std::string_view ext : kProgramExtensions) {
    for (std::size_t at = lower.find(ext); at != std::string::npos; at = lower.find(ext, at + 1)) {
      const std::size_t end = at + ext.size();
      if (end == lower.size() || lower[end] == ' ' || lower[end] == '\t' || lower[end] == '"') {
        cut = std::min(cut, end);
        break;
      }
    }
  }
  if (cut == std::string::npos) {
    // No known extension: the first word (a quoted path counts as one) is the program.
    bool quoted = false;
    for (cut = 0; cut < text.size(); ++cut) {
      if (text[cut] == '"') quoted = !quoted;
      if (!quoted && (text[cut] == ' ' || text[cut] == '\t')) break;
    }
  }
  std::string program = Trim(text.substr(0, cut));
  std::string parameters = Trim(text.substr(cut));
  // A quoted program path: its closing quote follows the extension.
  if (program.starts_with('"') && parameters.starts_with('"'))
    parameters = Trim(parameters.substr(1));
  std::erase(program, '"');
  return {Trim(program), parameters};
}

std::string ExpandRunProgParameters(std::string_view parameters, const std::string& name,
                                    const std::string& alarmId, const std::string& oper,
                                    const std::string& message) {
  std::string out;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const char next = i + 1 < parameters.size() ? parameters[i + 1] : '\0';
    const std::string* value = nullptr;
    if (parameters[i] == '$') {
      if (next == 'N') value = &name;
      if (next == 'A') value = &alarmId;
      if (next == 'O') value = &oper;
      if (next == 'M') value = &message;
    }
    if (value) {
      out += *value;
      ++i;
    } else {
      out += parameters[i];
    }
  }
  return out;
}

std::optional<PhoneReceiver> FindPhoneReceiver(Varnel& ctx, const std::string& number) {
  const std::string wanted = NormalizedNumber(number);
  if (wanted.empty()) return std::nullopt;
  Database db = OpenDatabase(ctx);
  for (Table t = db.Open("Recv_Phone_MO"); !t.Eof(); t.MoveNext())
    if (NormalizedNumber(t.Text("PhoneNumber")) == wanted)
      return PhoneReceiver{t.Text("Name"), t.Text("PhoneNumber"), t.Text("Operator")};
  return std::nullopt;
}

void ProcessReqAckLog(Varnel& ctx, Transport deliver) {
  Guarded(ctx, "ProcessReqAckLog", [&] {
    const std::string path = ctx.Path(kReqAckFile);
    const std::vector<std::string> lines = ReadLines(path);
    const std::size_t taken = std::min(lines.size(), static_cast<std::size_t>(kMaxReqAckEntries));
    const std::string now = ctx.clock.Now().Text();
    std::vector<std::string> kept;
    std::vector<ReqAckEntry> entries;
    bool changed = false;
    for (std::size_t i = 0; i < taken; ++i) {
      ReqAckEntry e;
      if (!ParseReqAckEntry(FromWire(lines[i]), e)) {
        // A line the filter did not write would fail every cycle: it is reported once and
        // dropped.
        if (!Trim(lines[i]).empty())
          ReportError(ctx, "ProcessReqAckLog", err::kTypeMismatch,
                      "Malformed acknowledgement request dropped: " + FromWire(lines[i]));
        changed = true;
        continue;
      }
      if (e.DueTime < now) {
        changed = true;
        // No reminders left (ReqAckMaxRem 0): the request ends without one.
        if (e.Reminders >= 1) SendReminder(ctx, e, deliver);
      }
      entries.push_back(e);
      if (!e.GroupName.empty() && e.Reminders > 0)
        kept.push_back(ReqAckLine(e));
      else
        changed = true;
    }
    kept.insert(kept.end(), lines.begin() + static_cast<std::ptrdiff_t>(taken), lines.end());
    if (changed) KeepLines(path, kept);
    TraceReqAckEntries(ctx, entries);
  });
}

void ProcessReqAckLog(Varnel& ctx) { ProcessReqAckLog(ctx, DeliverSendEntry); }

void ProcessReqAckClear(Varnel& ctx, const std::string& sender, int alarmId,
                        const std::string& status, const std::string& info) {
  std::string receiver;
  int ackStatus = 1;
  bool done = Guarded(ctx, "ProcessReqAckClear", [&] {
    const std::string path = ctx.Path(kReqAckFile);
    if (FileExists(path)) {
      std::vector<std::string> lines = ReadLines(path);
      const std::size_t before = lines.size();
      std::erase_if(lines, [&](const std::string& line) {
        ReqAckEntry e;
        return ParseReqAckEntry(FromWire(line), e) && e.AlarmId == alarmId;
      });
      if (lines.size() != before) KeepLines(path, lines);
    }
    std::optional<PhoneReceiver> r = FindPhoneReceiver(ctx, sender);
    receiver = r ? r->Name : sender;
    ackStatus = WholeNumber(status, INT16_MIN, INT16_MAX).value_or(1);
  });
  if (!done) return;
  const std::string ackInfo = info.empty() ? " " : info;
  UpdateReqAckLog(ctx, alarmId, receiver, ackStatus, ackInfo);
  ForwardReqAckStatus(ctx, alarmId, receiver, ackStatus, ackInfo);
}

void UpdateReqAckLog(Varnel& ctx, int alarmId, const std::string& receiver, int ackStatus,
                     const std::string& ackInfo) {
  Guarded(ctx, "UpdateReqAckLog", [&] {
    Database db = OpenDatabase(ctx);
    db.Begin();
    const LocalTime now = ctx.clock.Now();
    const std::optional<std::int64_t> logIndex = TakeDailyLogIndex(ctx, db, "LogIndexReqAck", now);
    if (!logIndex) return;
    Table t = db.Open("LogFiles_ReqAck");
    t.AddNew();
    t.Set("Indexx", *logIndex);
    t.Set("DateAndTime", now.Text());
    t.Set("AlarmID", alarmId);
    t.Set("Receiver", LeftChars(receiver, kReceiverChars));
    t.Set("AckStatus", ackStatus);
    t.Set("AckInfo", LeftChars(ackInfo, kAckInfoChars));
    t.Update();
    db.Commit();
    ctx.LogChanged = true;
  });
}

}  // namespace varnel
