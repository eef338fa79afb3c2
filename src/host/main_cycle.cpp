#include "host/main_cycle.h"

#include "agent/snmp_agent.h"
#include "delivery/alarm_log.h"
#include "delivery/direct_messages.h"
#include "delivery/journal_and_buffer.h"
#include "delivery/process_send_list.h"
#include "delivery/read_sms.h"
#include "delivery/req_ack.h"
#include "delivery/send_list.h"
#include "delivery/sms_cmd.h"
#include "filter/group_text.h"
#include "filter/hold_queue.h"
#include "filter/supp_group.h"
#include "intake/comm_port.h"
#include "intake/event_log_file.h"
#include "intake/snmp_trap_events.h"
#include "intake/syslog.h"
#include "maintenance/backup_database.h"
#include "maintenance/backup_link.h"
#include "maintenance/delete_old_log_entries.h"
#include "platform/files.h"
#include "service/errors.h"
#include "service/settings.h"
#include "service/update_event_log.h"
#include "web/ftp_log_files.h"
#include "web/log_pages.h"

namespace varnel {
namespace {

void PollWatchdog(Varnel& ctx) {
  if (!ctx.PollMe || ctx.PollCountdown >= 1) return;
  if (ctx.IsPrimary) {
    WriteNmsPollAlarmToEventList(ctx);
    ctx.PollCountdown = static_cast<std::int32_t>(ctx.PollMeTimeout) * 10;
  } else {
    // The standby pauses when nobody polls it; the next Get wakes it again.
    ctx.ServiceState = ServiceStateCode::Paused;
  }
}

}  // namespace

void RunHourlyJobs(Varnel& ctx) {
  int hour = ctx.clock.Now().hour;
  if (hour == ctx.LastHour) return;
  ProcessJourList(ctx);
  ProcessBufferList(ctx);
  BackupDatabase(ctx);
  ProcessDailyTestMessage(ctx);
  // The network manager status import is not part of this server, so the hourly list has
  // no call for it. An hour below LastHour marks the first cycle of a new day, whose jobs
  // run here before LastHour moves on; until then the alarm log dates its rows to the day
  // before.
  if (hour < ctx.LastHour) DeleteOldLogEntries(ctx);
  ctx.LastHour = hour;
}

void RunCycle(Varnel& ctx) {
  ctx.LogChanged = false;
  if (ctx.IsPrimary && !ctx.DatabaseSent) SendMdbToBkSrv(ctx);
  if (ctx.UpdateRequest == UpdateRequestCode::Reread) {
    ReadDb_Updates(ctx);
    ctx.UpdateRequest = UpdateRequestCode::None;
    ProcessTestMessage(ctx);
  }
  if (FileExists(ctx.Path("SmtpMess.log"))) ProcessSmtpMessage(ctx);
  if (FileExists(ctx.Path("SnmpMess.log"))) ProcessSnmpMessage(ctx);
  if (ctx.SmsServerActive && ctx.clock.Now().HourMinute() != ctx.LastMinute) {
    ReadSms(ctx, false);
    ProcessSmsCmd(ctx);
    ctx.LastMinute = ctx.clock.Now().HourMinute();
  }
  if (ctx.ReadSmsCmd && ctx.clock.Now().HourMinute() != ctx.LastMinute) {
    ProcessSmsCmd(ctx);
    ctx.LastMinute = ctx.clock.Now().HourMinute();
  }
  if (FileExists(ctx.Path(kReqAckFile))) ProcessReqAckLog(ctx);
  SetStatus(ctx, StatusStepCode::Checking, kStatusChecking);
  ctx.events.Clear();
  PollWatchdog(ctx);
  if (ctx.listeners.trapLocalPort != 0) WriteSnmpTrapEventsToEventList(ctx);
  if (ctx.listeners.commPortIn) WriteCommPortEventsToEventList(ctx);
  if (FileExists(ctx.Path("Event.log"))) WriteEventLogEventsToEventList(ctx);
  if (ctx.listeners.sysLogBound[0] || ctx.listeners.sysLogBound[1])
    WriteSysLogEventsToEventList(ctx);
  RunHourlyJobs(ctx);
  if (ctx.events.Count() > 0) {
    UpdateEventLog(ctx);
    SuppGroupCheck(ctx);
    MakeSendList(ctx);
    ProcessSendList(ctx);
  }
  SuppGroupCheck_Hq(ctx);
  MakeSendList_Hq(ctx);
  ProcessSendList(ctx);
  WriteKeptLogRows(ctx);
  if (ctx.LogChanged) {
    WebLogs(ctx);
    FtpLogFiles(ctx);
  }
  ctx.Countdown = ctx.CheckInterval;
  ctx.events.SetCount(0);
  SetStatus(ctx, StatusStepCode::Countdown, kStatusCountdown);
}

void Timer1Tick(Varnel& ctx) {
  if (!ctx.TimerEnabled || ctx.CycleRunning) return;
  Guarded(ctx, "timer1_Timer", [&] {
    if (ctx.ServiceState == ServiceStateCode::Paused) {
      ctx.Countdown = ctx.CheckInterval;
      SetStatus(ctx, StatusStepCode::Paused, kStatusPaused);
      return;
    }
    ctx.PollCountdown -= kTickSeconds;
    ctx.Countdown = static_cast<std::int16_t>(ctx.Countdown - kTickSeconds);
    SetStatus(ctx, StatusStepCode::Countdown, kStatusCountdown);
    if (ctx.Countdown >= 1) {
      ctx.events.SetCount(0);
      return;
    }
    ctx.CycleRunning = true;
    struct Done {
      Varnel& c;
      ~Done() { c.CycleRunning = false; }
    } done{ctx};
    RunCycle(ctx);
  });
  // Agent requests that arrived during the cycle's waits take effect now that it has ended.
  ApplyAgentRequest(ctx);
}

}  // namespace varnel
