#include "delivery/sms_cmd.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <optional>

#include "delivery/alarm_log.h"
#include "delivery/req_ack.h"
#include "filter/group_text.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"
#include "service/update_event_log.h"
#include "transports/alarm_text.h"
#include "transports/exec_prog.h"
#include "transports/phone_mo.h"

namespace varnel {
namespace {

constexpr const char* kSmsCmdLog = "SmsCmd.log";
constexpr const char* kReplyFile = "ExecProg/reply.sms";
constexpr int kReplyDeletePauseMs = 500;

// The row of Event_SMS.
struct SmsCommandSettings {
  bool SIL = false;
  bool WaitForReply = false;
  int WaitForReplyTime = 0;  // seconds
  std::array<std::string, 5> ExecProg;
};

SmsCommandSettings ReadSmsCommandSettings(Varnel& ctx) {
  Database db = OpenDatabase(ctx);
  Table t = db.Open("Event_SMS");
  SmsCommandSettings s;
  s.SIL = t.Flag("SIL");
  s.WaitForReply = t.Flag("WaitForReply");
  s.WaitForReplyTime = t.Int16("WaitForReplyTime");
  for (std::size_t i = 0; i < s.ExecProg.size(); ++i)
    s.ExecProg[i] = t.Text("ExecProg" + std::to_string(i + 1));
  return s;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The program as a path that exists: as configured, else its file name under "ExecProg/";
// empty when neither exists.
std::string ResolveProgram(Varnel& ctx, const std::string& configured) {
  const std::string program = ReplaceAll(Trim(configured), "\\", "/");
  if (program.find('/') != std::string::npos && IsRegularFile(program)) return program;
  const std::string file = program.substr(program.rfind('/') + 1);
  if (!file.empty() && IsRegularFile(ctx.Path("ExecProg/" + file)))
    return ctx.Path("ExecProg/" + file);
  return "";
}

// Logs the line at once as one event of source "SMS".
void LogSmsEvent(Varnel& ctx, const SmsCommand& cmd) {
  ctx.events.Clear();
  ctx.events.Append(ctx.clock.Now().Text(), kNormal, cmd.sender, cmd.text, kSourceSms);
  UpdateEventLog(ctx);
}

// Hands the text to the support groups through "Event.log".
void WriteSmsEventLine(Varnel& ctx, const SmsCommand& cmd) {
  AppendLines(ctx.Path(kEventLogFile),
              {ctx.clock.Now().Text() + "\t" + kNormal + "\t" + DropFileField(cmd.sender) + "\t" +
               DropFileField(Trim(cmd.text))});
}

// Sends an answer to the requesting sender and records it as entry 1 of the send list.
void SendAnswer(Varnel& ctx, const SendEntry& to, const std::string& text) {
  SendEntry& e = ctx.delivery.SendList[1];
  e = to;
  e.RecvMess = text;
  SendToPhoneMO(ctx, e.RecvOper, e.RecvAddr, e.RecvName, e.RecvMess, e.RecvSendStatusInt,
                e.RecvSendStatus);
  UpdateAlarmLog(ctx, 1, kSendList);
  ctx.delivery.SendList[1] = SendEntry{};
}

// Runs the requested program; true when its reply was awaited.
bool RunSmsProgram(Varnel& ctx, const SmsCommandSettings& s, const SmsCommand& cmd) {
  std::optional<PhoneReceiver> r = FindPhoneReceiver(ctx, cmd.sender);
  if (s.SIL && !r) return false;  // only known receivers may run programs
  SendEntry to;
  to.RecvName = r ? r->Name : cmd.sender;
  to.RecvType = kPhoneMO;
  to.RecvAddr = r ? r->PhoneNumber : cmd.sender;
  to.RecvOper = r ? r->Operator : "";

  const std::string& configured = s.ExecProg[static_cast<std::size_t>(cmd.program - 1)];
  const std::string program = ResolveProgram(ctx, configured);
  if (program.empty()) {
    ctx.eventLog.Write(evt::kError, evt::kRuntimeError, "File Not Found: " + configured);
    return false;
  }
  const std::string reply = ctx.Path(kReplyFile);
  if (FileExists(reply)) {
    DeleteFile(reply);
    Delay(ctx.io, kReplyDeletePauseMs);
  }
  if (!RunExecProg(ctx, program, cmd.parameters)) {
    SendAnswer(ctx, to, "Error running: " + configured + " " + cmd.text);
    return false;
  }
  if (!s.WaitForReply) return false;
  Delay(ctx.io, ReplyWaitMs(s.WaitForReplyTime));
  std::string answer = "NoReply: reply.sms not found";
  if (FileExists(reply)) ProcessSmsReply(ctx, answer);
  SendAnswer(ctx, to, answer);
  return true;
}

// Acts on one command line; true when the rest of the file waits for the next call.
bool ProcessCommand(Varnel& ctx, const SmsCommandSettings& s, const SmsCommand& cmd) {
  if (cmd.kind == SmsCommandKind::Ack)
    ProcessReqAckClear(ctx, cmd.sender, cmd.alarmId, cmd.status, cmd.info);
  // An empty text is logged but gives no alarm; with SIL only known receivers raise events.
  if (cmd.kind == SmsCommandKind::Text && !Trim(cmd.text).empty() &&
      (!s.SIL || FindPhoneReceiver(ctx, cmd.sender)))
    WriteSmsEventLine(ctx, cmd);
  LogSmsEvent(ctx, cmd);
  return cmd.kind == SmsCommandKind::Program && RunSmsProgram(ctx, s, cmd);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

SmsCommand ParseSmsCommand(std::string_view line) {
  SmsCommand cmd;
  const std::size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return cmd;
  cmd.sender = Trim(line.substr(0, tab));
  cmd.text = std::string(line.substr(tab + 1));
  const std::string& t = cmd.text;
  cmd.kind = SmsCommandKind::Text;
  if (t.empty()) return cmd;

  if (t[0] >= '1' && t[0] <= '5') {
    cmd.kind = SmsCommandKind::Program;
    cmd.program = t[0] - '0';
    const std::size_t blank = t.find(' ', 1);
    if (blank != std::string::npos) cmd.parameters = Trim(t.substr(blank + 1));
    return cmd;
  }
  // An identifier is three digits; "9" followed by anything else is an ordinary text.
  if (t.size() >= 3 && t[0] == '9' && IsDigit(t[1]) && IsDigit(t[2])) {
    cmd.kind = SmsCommandKind::Ack;
    cmd.alarmId = std::stoi(t.substr(0, 3));
    cmd.status = "1";
    const std::size_t first = t.find(' ');
    if (first == std::string::npos) return cmd;
    const std::size_t second = t.find(' ', first + 1);
    if (second == std::string::npos) {
      cmd.status = t.substr(first + 1, 1);
    } else {
      cmd.status = t.substr(first + 1, second - first - 1);
      cmd.info = t.substr(second + 1);
    }
  }
  return cmd;
}

int ReplyWaitMs(int waitForReplyTime) {
  // Longer waits do not fit the millisecond count of a wait; they are held at the longest.
  return std::clamp(waitForReplyTime, 0, kMaxReplyWaitSeconds) * 1000;
}

void ProcessSmsCmd(Varnel& ctx) {
  Guarded(ctx, "ProcessSmsCmd", [&] {
    const std::string path = ctx.Path(kSmsCmdLog);
    if (!FileExists(path)) return;
    const SmsCommandSettings settings = ReadSmsCommandSettings(ctx);
    const std::vector<std::string> lines = ReadLines(path);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::vector<std::string> rest(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                    lines.end());
      if (rest.empty())
        DeleteFile(path);
      else
        RewriteLines(path, rest);
      const std::string line = FromWire(lines[i]);
      WriteTrace(ctx, TraceCategory::EventSources, trace::kSmsCmd, {line});
      SmsCommand cmd = ParseSmsCommand(line);
      if (cmd.kind == SmsCommandKind::None) continue;
      if (ProcessCommand(ctx, settings, cmd)) break;
    }
  });
}

void ProcessSmsReply(Varnel& ctx, std::string& reply) {
  Guarded(ctx, "ProcessSmsReply", [&] {
    std::ifstream in(ctx.Path(kReplyFile), std::ios::binary);
    if (!in) throw VarnelError(err::kFileNotFound, "File not found");
    std::string bytes(kReplyFileBytes, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    // The lines are joined without separator; other control bytes would not survive an SMS.
    std::erase_if(bytes, [](char c) { return c == '\r' || c == '\n'; });
    std::string text;
    for (char32_t cp : CodePoints(bytes))
      text += cp < 0x20 || (cp >= 0x7F && cp < 0xA0) ? std::string(" ") : Utf8Of(cp);
    text = Trim(text);
    reply = text.empty() ? "noReply" : LeftChars(text, kSmsReplyChars);
  });
}

}  // namespace varnel
