#include "intake/comm_port.h"

#include <asio/io_context.hpp>

#include "intake/panel_parsers.h"
#include "platform/database.h"
#include "platform/error.h"
#include "platform/event_loop.h"
#include "platform/posix_serial_port.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/listener_status.h"
#include "service/trace.h"

namespace varnel {
namespace {

constexpr std::size_t kStatusLength = 100;

int HandshakingMode(const std::string& word) {
  for (int mode = kNoHandshaking; mode <= kXonXoffRtsCts; ++mode)
    if (word == kHandshakingWords[mode]) return mode;
  return -1;
}

void SetListenerStatus(Varnel& ctx, ListenerStatusCode code) {
  ctx.ListenerStatus[static_cast<std::size_t>(kLsCommPort)] = code;
}

std::string OpenedStatus(const Varnel& ctx) {
  return LeftChars(StartedStatus(ctx, kCommPortOpened, ctx.intake.panel.details), kStatusLength);
}

void StoreStatus(Varnel& ctx, const std::string& status) {
  Database db = OpenDatabase(ctx);
  Table t = db.Open("Event_CommPort");
  t.Set("Status", status);
  t.Update();
}

// RTS on tells the panel that the port listens. A port whose RTS cannot be switched still
// receives, so it counts as opened.
void SwitchRtsOn(Varnel& ctx) {
  try {
    ctx.intake.panel.commPortIn->SetRts(true);
  } catch (const std::exception&) {
    ReportErrorText(ctx, "Comm Port Error", "Comm Port Error");
  }
}

// The device went away (unplugged, or the line's other end closed): the port is closed, and
// the status and the agent say so until a later cycle reopens it.
void CommPortLost(Varnel& ctx, const std::exception& e) {
  PanelIntake& p = ctx.intake.panel;
  p.commPortIn->Close();
  p.buffer.clear();
  SetListenerStatus(ctx, ListenerStatusCode::NotStarted);
  ReportError(ctx, "WriteCommPortEventsToEventList", ErrorNumberOf(e), e.what());
  std::string status = StatusTime(ctx) + "\r\nComm Port Lost\r\n";
  if (!p.details.empty()) status += p.details.front() + "\r\n";
  StoreStatus(ctx, LeftChars(status + e.what(), kStatusLength));
}

// Tries the lost device again; true when it is back.
bool ReopenCommPort(Varnel& ctx) {
  PanelIntake& p = ctx.intake.panel;
  try {
    p.commPortIn->Open();
  } catch (const std::exception&) {
    return false;  // still gone; said once when it went
  }
  SwitchRtsOn(ctx);
  SetListenerStatus(ctx, ListenerStatusCode::Started);
  Notice(ctx, evt::kInformation, "Comm Port Reopened");
  StoreStatus(ctx, OpenedStatus(ctx));
  return true;
}

// A panel that sends faster than its messages are taken loses the excess, and says so.
void ReportDropped(Varnel& ctx, std::size_t dropped) {
  if (dropped == 0) return;
  Notice(ctx, evt::kWarning,
         "Comm Port input buffer full: " + std::to_string(dropped) +
             " characters were dropped since the last check.");
}

}  // namespace

std::string OpenCommPort(Varnel& ctx, Table& t) {
  PanelIntake& p = ctx.intake.panel;
  if (!p.commPortIn) p.commPortIn = std::make_unique<PosixSerialPort>(ctx.io, ctx.ProgramDir);
  SerialPort& port = *p.commPortIn;
  if (port.IsOpen()) {
    port.Close();
    ctx.io.poll();
  }
  int number = t.Int16("CommPort");
  std::string settings = t.Text("Settings");
  std::string handshaking = t.Text("Handshaking");
  port.SetPortNumber(number);
  port.SetSettings(settings);
  if (int mode = HandshakingMode(handshaking); mode >= 0) port.SetHandshaking(mode);
  std::string system = t.Text("System");
  if (PanelBufferSize(system) > 0) p.PanelType = system;
  port.Open();
  p.buffer.clear();
  p.details = {"COM" + std::to_string(number), settings, handshaking};
  ctx.listeners.commPortIn = true;
  SwitchRtsOn(ctx);
  Delay(ctx.io, kListenerStartPauseMs);
  return OpenedStatus(ctx);
}

void CloseCommPort(Varnel& ctx) {
  PanelIntake& p = ctx.intake.panel;
  if (p.commPortIn) p.commPortIn->Close();
  p.buffer.clear();
  ctx.listeners.commPortIn = false;
}

void WriteCommPortEventsToEventList(Varnel& ctx) {
  Guarded(ctx, "WriteCommPortEventsToEventList", [&] {
    PanelIntake& p = ctx.intake.panel;
    if (!p.commPortIn) return;
    if (!p.commPortIn->IsOpen() && !ReopenCommPort(ctx)) return;
    std::string input;
    try {
      if (p.commPortIn->InputCount() > 0) input = p.commPortIn->ReadAll();
    } catch (const VarnelError& e) {
      CommPortLost(ctx, e);
      return;
    }
    ctx.io.poll();
    std::string now = ctx.clock.Now().Text();
    PanelRead r = ReadPanelOutput(p.PanelType, p.buffer, input, now);
    WriteTrace(ctx, TraceCategory::EventSources, trace::kCommPort, r.trace);
    ReportDropped(ctx, r.dropped);
    if (r.events.empty()) return;
    for (const PanelEvent& e : r.events)
      ctx.events.Append(now, e.priority, e.node, e.message, kSourceCommPort);
    ctx.events.RemoveDuplicates(kSourceCommPort);
    TraceEventList(ctx, kSourceCommPort, "Event List (from Comm Port)");
  });
}

}  // namespace varnel
