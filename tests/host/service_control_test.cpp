#include "host/service_control.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "host/service_open.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class ServiceControlTest : public testing::VarnelTest {};

TEST_F(ServiceControlTest, StartSequenceSetsUpTheService) {
  SetColumn("Settings_General", "DebugMode", "Event Sources");
  SetColumn("Settings_General", "Version", "4.2");
  SetColumn("Event_CheckInterval", "CheckInterval", "20");
  for (const char* f : {"Event.log", "SmtpMess.log", "SnmpMess.log", "SmsCmd.log",
                        "Hold_Queue.log", "ReqAck.log", "Debug/Event_List.txt"})
    AppendLines(File(f), {"left over"});
  {
    Database db = Db();
    Table t = db.Open("Receiver_Test");
    t.AddNew();
    t.Set("Name", "x");
    t.Update();
    Table m = db.Open("SuppGrp_SendMess");
    m.AddNew();
    m.Set("Message", "y");
    m.Update();
  }
  clock.Set("2026-06-26 14:07:00");
  ctx.ErrorCount = 3;
  dartSvc_State(ctx, kCodeStart);
  EXPECT_EQ(Entries(101).size(), 1u);
  EXPECT_TRUE(ctx.TimerEnabled);
  EXPECT_EQ(ctx.DebugMode, "Event Sources");
  EXPECT_EQ(ctx.DbVersion, "4.2");
  EXPECT_EQ(ctx.CheckInterval, 20);
  EXPECT_EQ(ctx.Countdown, 20);
  EXPECT_EQ(ctx.LastHour, 14);
  EXPECT_EQ(ctx.LastMinute, "14:07");
  EXPECT_EQ(ctx.ErrorCount, 0);
  EXPECT_EQ(ctx.LastErrorText, "No internal execution error.");
  EXPECT_EQ(ctx.ReqAckIdCounter, 900);
  EXPECT_EQ(ctx.ListenerStatus[kLsLogFile], ListenerStatusCode::Started);
  EXPECT_EQ(ctx.ListenerStatus[kLsSysLog1], ListenerStatusCode::NotStarted);
  for (const char* f : {"Event.log", "SmtpMess.log", "SnmpMess.log", "SmsCmd.log",
                        "Hold_Queue.log", "ReqAck.log", "Debug/Event_List.txt"})
    EXPECT_FALSE(FileExists(File(f))) << f;
  Database db = Db();
  EXPECT_TRUE(db.Open("Receiver_Test").Eof());
  EXPECT_TRUE(db.Open("SuppGrp_SendMess").Eof());
}

TEST_F(ServiceControlTest, SecondStartInTheSameProcessDoesNothing) {
  dartSvc_State(ctx, kCodeStart);
  dartSvc_State(ctx, kCodeStop);
  dartSvc_State(ctx, kCodeStart);
  EXPECT_EQ(Entries(101).size(), 1u);
  EXPECT_EQ(Entries(102).size(), 1u);
  EXPECT_FALSE(ctx.TimerEnabled);
}

TEST_F(ServiceControlTest, MissingGeneralSettingsRowStopsTheStart) {
  {
    Database db = Db();
    db.Exec("DELETE FROM Settings_General");
  }
  AppendLines(File("Event.log"), {"kept"});
  dartSvc_State(ctx, kCodeStart);
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_NE(Entries(106)[0].find("(Module: dartSvc_State)"), std::string::npos);
  EXPECT_TRUE(Entries(101).empty());
  EXPECT_FALSE(ctx.TimerEnabled);
  EXPECT_TRUE(FileExists(File("Event.log")));  // nothing after the failing step ran
  EXPECT_EQ(GetColumn("Event_SysLog", "Status1"), "Not Started");
}

TEST_F(ServiceControlTest, MissingColumnOrDatabaseIsReportedNotFatal) {
  {
    Database db = Db();
    db.Exec("ALTER TABLE Event_CheckInterval DROP COLUMN CheckInterval");
  }
  dartSvc_State(ctx, kCodeStart);
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_NE(Entries(106)[0].find("[3265]"), std::string::npos);
  EXPECT_FALSE(ctx.TimerEnabled);

  std::remove(ctx.DatabasePath().c_str());
  Varnel other(io, clock, log, ctx.ProgramDir);
  dartSvc_State(other, kCodeStart);
  EXPECT_NE(Entries(106).back().find("[3014]"), std::string::npos);
}

TEST_F(ServiceControlTest, PauseAndContinueOnlyWarn) {
  dartSvc_State(ctx, kCodeStart);
  std::string text = ctx.StatusText;
  dartSvc_State(ctx, kCodePause);
  dartSvc_State(ctx, kCodeContinue);
  dartSvc_State(ctx, 9);
  EXPECT_EQ(Entries(107), (std::vector<std::string>{"Pause is not implemented.",
                                                    "Resume is not implemented."}));
  EXPECT_EQ(log.entries[log.entries.size() - 1].type, evt::kWarning);
  EXPECT_EQ(ctx.ServiceState, ServiceStateCode::Running);
  EXPECT_EQ(ctx.StatusText, text);
}

TEST_F(ServiceControlTest, EnabledListenersWithoutAServerStayNotStarted) {
  SetColumn("Event_SMTP", "Enabled", "1");
  SetColumn("Event_CommPort", "Enabled", "1");
  dartSvc_State(ctx, kCodeStart);
  EXPECT_EQ(GetColumn("Event_SMTP", "Status"), "Not Started");
  EXPECT_EQ(GetColumn("Event_CommPort", "Status"), "Not Opened");
  EXPECT_EQ(ctx.ListenerStatus[kLsSmtpServer], ListenerStatusCode::NotStarted);
  EXPECT_EQ(ctx.ListenerStatus[kLsCommPort], ListenerStatusCode::NotStarted);
}

TEST_F(ServiceControlTest, StopResetsStartedStatusTexts) {
  SetColumn("Event_SMTP", "Status", "2026-06-26 10:00:00\r\nSMTP Server Started\r\nIP=x\r\nPort=25");
  dartSvc_State(ctx, kCodeStop);
  EXPECT_EQ(GetColumn("Event_SMTP", "Status"), "Not Started");
  EXPECT_EQ(GetColumn("Event_CommPort", "Status"), "Not Opened");
  EXPECT_EQ(Entries(102).size(), 1u);
}

TEST_F(ServiceControlTest, BackupListenerDecidesTheRole) {
  SetColumn("Settings_General", "RemoteBackup", "1");
  SetColumn("Settings_General", "BackupAddress", "127.0.0.1");
  ServiceOpen(ctx, "backupServer");  // no ini: the machine's address decides
  EXPECT_FALSE(ctx.IsPrimary);
  EXPECT_EQ(Entries(107).back(), "This is the Backup System.");

  SetColumn("Settings_General", "BackupAddress", "192.0.2.77");
  ServiceOpen(ctx, "backupServer");
  EXPECT_TRUE(ctx.IsPrimary);
  EXPECT_EQ(Entries(107).back(), "This is the Primary System.");

  AppendLines(File("Varnel.ini"), {"PRIMARYSYSTEM=false"});
  SetColumn("Settings_General", "BackupAddress", "127.0.0.1");
  ctx.IsPrimary = true;  // as the ini reader left it
  ServiceOpen(ctx, "backupServer");  // an ini file: its switch decides
  EXPECT_TRUE(ctx.IsPrimary);
  EXPECT_EQ(Entries(107).back(), "This is the Primary System.");
}

TEST_F(ServiceControlTest, ListenerFailureEntriesAndStatus) {
  struct Case {
    const char* name;
    int number;
    const char* entry;
    const char* reason;
    int ls;
  } cases[] = {
      {"snmpAgent", 10048, "SNMP Agent Port was in use", "Port was in use", 0},
      {"snmpAgent", 10049, "SNMP Agent IP Address is not valid", "IP Address is not valid", 0},
      {"snmpManager", 10048, "SNMP Trap Port was in use", "Port was in use", kLsTrapServer},
      {"sysLog1", 10049, "Syslog1 IP Address is not valid", "", kLsSysLog1},
      {"sysLog2", 10048, "[10048] Address in use (Module: ServiceOpen)", "", kLsSysLog2},
      {"smtpServer", 10049, "SMTP Server IP Address is not valid", "", kLsSmtpServer},
      {"smsServer", 10049, "[10049] Address in use (Module: ServiceOpen)", "", kLsSmsServer},
      {"commPort", 8002, "Comm Port Error", "", kLsCommPort},
  };
  clock.Set("2026-06-26 08:09:10");
  for (const auto& c : cases) {
    std::string status = ListenerFailed(ctx, c.name, c.number, "Address in use");
    EXPECT_EQ(Entries(106).back(), c.entry) << c.name;
    EXPECT_EQ(status, std::string("2026-06-26 08:09:10\r\nFailed to Start\r\n") + c.reason);
    if (c.ls) {
      EXPECT_EQ(ctx.ListenerStatus[static_cast<std::size_t>(c.ls)], ListenerStatusCode::NotStarted) << c.name;
    }
  }
  EXPECT_EQ(ctx.ErrorCount, 8);
  EXPECT_EQ(ctx.LastErrorText, "2026-06-26: Comm Port Error");
}

}  // namespace
}  // namespace varnel
