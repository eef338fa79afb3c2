#include "host/service_control.h"

#include <iterator>

#include "host/main_cycle.h"
#include "host/service_open.h"
#include "intake/trap_definitions.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "service/clear_tables.h"
#include "service/errors.h"
#include "service/ini.h"
#include "service/trace.h"

namespace varnel {
namespace {

const char* const kOpenOrder[] = {"snmpAgent", "snmpManager", "commPort",  "sysLog1",
                                  "sysLog2",   "smtpServer",  "smsServer", "backupServer"};

void StartSequence(Varnel& ctx) {
  if (!ctx.ConnectionString.empty()) return;  // this process has started once already
  ctx.ConnectionString = ctx.DatabasePath();
  Database db = OpenDatabase(ctx);
  {
    Table g = db.Open("Settings_General");
    ctx.DateFormat = g.Text("UseDateFormat");
    ClearDebugDir(ctx);
    Varnel_ini(ctx);
    ctx.DebugMode = g.Text("DebugMode");
    ctx.DbVersion = g.Text("Version");
    ctx.BufferAllMessOffDuty = g.Flag("BufferAllMessOffDuty");
    ctx.NotifyDutyListOnOff = g.Flag("NotifyDutyListOnOff");
  }
  ctx.StartTime = ctx.clock.Now();
  // The drop files go before the listeners open: a mail or trap that a listener takes while
  // the next one starts must not be deleted after it was accepted.
  ResetDropFilesAndMessages(ctx);
  for (const char* name : kOpenOrder) ServiceOpen(ctx, name);
  {
    Table c = db.Open("Event_CheckInterval");
    ctx.CheckInterval = c.Int16("CheckInterval");
  }
  if (ctx.listeners.trapLocalPort != 0) {
    ReadDb_Trap(ctx);
    ctx.snmp.InTrapIndex = 1;
  }
  LocalTime now = ctx.clock.Now();
  ctx.ServiceState = ServiceStateCode::Running;
  ctx.Countdown = ctx.CheckInterval;
  SetStatus(ctx, StatusStepCode::Countdown, kStatusCountdown);
  ctx.UpdateRequest = UpdateRequestCode::None;
  ctx.ErrorCount = 0;
  ctx.LastErrorText = "No internal execution error.";
  ctx.LastHour = now.hour;
  ctx.LastMinute = now.HourMinute();
  ctx.PollCountdown = ctx.PollMeTimeout;
  ctx.TimerEnabled = true;
  ctx.eventLog.Write(evt::kInformation, evt::kStarted, "");
}

// The pause after each listener's close but the last, and after the timer stops, so that
// pending events still run.
constexpr int kStopPauseMs = 200;

void StopSequence(Varnel& ctx) {
  const char* const kCloseOrder[] = {"backupServer", "smsServer", "smtpServer",  "sysLog1",
                                     "sysLog2",      "commPort",  "snmpManager", "snmpAgent"};
  for (std::size_t i = 0; i < std::size(kCloseOrder); ++i) {
    ServiceClose(ctx, kCloseOrder[i]);
    if (i + 1 < std::size(kCloseOrder)) Delay(ctx.io, kStopPauseMs);
  }
  ctx.TimerEnabled = false;
  Delay(ctx.io, kStopPauseMs);
  ctx.eventLog.Write(evt::kInformation, evt::kStopped, "");
}

}  // namespace

void dartSvc_State(Varnel& ctx, int code) {
  Guarded(ctx, "dartSvc_State", [&] {
    switch (code) {
      case kCodeStop: StopSequence(ctx); break;
      case kCodePause: Notice(ctx, evt::kWarning, "Pause is not implemented."); break;
      case kCodeStart: StartSequence(ctx); break;
      case kCodeContinue: Notice(ctx, evt::kWarning, "Resume is not implemented."); break;
      default: break;
    }
  });
}

}  // namespace varnel
