#include "host/service_control.h"

#include <gtest/gtest.h>

#include "host/service_open.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class ServiceControlTest : public testing::VarnelTest {};

const char* const kDropFiles[] = {"Event.log",           "SmtpMess.log",   "SnmpMess.log",
                                  "SmsCmd.log",          "Hold_Queue.log", "ReqAck.log",
                                  "Debug/Event_List.txt"};

TEST_F(ServiceControlTest, StartSequenceSetsUpTheServiceOnce) {
  Update("Settings_General", "DebugMode = 'Event Sources', Version = '4.2'");
  SetColumn("Event_CheckInterval", "CheckInterval", "20");
  for (const char* f : kDropFiles) AppendLines(File(f), {"left over"});
  Db().Exec(
      "INSERT INTO Receiver_Test (Name) VALUES ('x');"
      "INSERT INTO SuppGrp_SendMess (Message) VALUES ('y')");
  clock.Set("2026-06-26 14:07:00");
  ctx.ErrorCount = 3;
  dartSvc_State(ctx, kCodeStart);
  EXPECT_EQ(Entries(101).size(), 1u);
  EXPECT_TRUE(ctx.TimerEnabled);
  EXPECT_EQ(std::tuple(ctx.DebugMode, ctx.DbVersion, ctx.CheckInterval, ctx.Countdown),
            std::tuple("Event Sources", "4.2", 20, 20));
  EXPECT_EQ(std::tuple(ctx.LastHour, ctx.LastMinute, ctx.ErrorCount, ctx.ReqAckIdCounter),
            std::tuple(14, "14:07", 0, 900));
  EXPECT_EQ(ctx.LastErrorText, "No internal execution error.");
  EXPECT_EQ(ctx.ListenerStatus[kLsLogFile], ListenerStatusCode::Started);
  EXPECT_EQ(ctx.ListenerStatus[kLsSysLog1], ListenerStatusCode::NotStarted);
  for (const char* f : kDropFiles) EXPECT_FALSE(FileExists(File(f))) << f;
  Database db = Db();
  EXPECT_TRUE(db.Open("Receiver_Test").Eof());
  EXPECT_TRUE(db.Open("SuppGrp_SendMess").Eof());

  dartSvc_State(ctx, kCodeStop);
  dartSvc_State(ctx, kCodeStart);  // a second start in the same process does nothing
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
  Db().Exec("ALTER TABLE Event_CheckInterval DROP COLUMN CheckInterval");
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
  EXPECT_EQ(Entries(107),
            (std::vector<std::string>{"Pause is not implemented.", "Resume is not implemented."}));
  EXPECT_EQ(log.entries.back().type, evt::kWarning);
  EXPECT_EQ(ctx.ServiceState, ServiceStateCode::Running);
  EXPECT_EQ(ctx.StatusText, text);
}

TEST_F(ServiceControlTest, ListenersWithoutAServerStayNotStartedAndStopResetsStatusTexts) {
  Db().Exec("UPDATE Event_SMTP SET Enabled = 1; UPDATE Event_CommPort SET Enabled = 1");
  dartSvc_State(ctx, kCodeStart);
  EXPECT_EQ(ctx.ListenerStatus[kLsSmtpServer], ListenerStatusCode::NotStarted);
  EXPECT_EQ(ctx.ListenerStatus[kLsCommPort], ListenerStatusCode::NotStarted);
  Db().Exec("UPDATE Event_SMTP SET Status = 'Started'; UPDATE Event_CommPort SET Status = 'x'");
  dartSvc_State(ctx, kCodeStop);
  EXPECT_EQ(GetColumn("Event_SMTP", "Status"), "Not Started");
  EXPECT_EQ(GetColumn("Event_CommPort", "Status"), "Not Opened");
}

TEST_F(ServiceControlTest, BackupListenerDecidesTheRole) {
  SetColumn("Settings_General", "RemoteBackup", "1");
  const struct {
    const char* address;
    bool ini;  // an ini file's switch decides, not the machine's address
    bool primary;
  } cases[] = {{"127.0.0.1", false, false}, {"192.0.2.77", false, true}, {"127.0.0.1", true, true}};
  for (const auto& c : cases) {
    if (c.ini) AppendLines(File("Varnel.ini"), {"PRIMARYSYSTEM=false"});
    SetColumn("Settings_General", "BackupAddress", c.address);
    ctx.IsPrimary = true;  // as the ini reader leaves it without a file
    ServiceOpen(ctx, "backupServer");
    EXPECT_EQ(ctx.IsPrimary, c.primary) << c.address << c.ini;
    EXPECT_EQ(Entries(107).back(),
              c.primary ? "This is the Primary System." : "This is the Backup System.");
  }
}

TEST_F(ServiceControlTest, ListenerFailureEntriesAndStatus) {
  const struct {
    const char* name;
    int number;
    const char* entry;
    const char* reason;
    int ls;
  } cases[] = {
      {"snmpAgent", 10049, "SNMP Agent IP Address is not valid", "IP Address is not valid", 0},
      {"snmpManager", 10048, "SNMP Trap Port was in use", "Port was in use", kLsTrapServer},
      {"sysLog1", 10049, "Syslog1 IP Address is not valid", "", kLsSysLog1},
      {"sysLog2", 10048, "[10048] Address in use (Module: ServiceOpen)", "", kLsSysLog2},
      {"commPort", 8002, "Comm Port Error", "", kLsCommPort},
  };
  clock.Set("2026-06-26 08:09:10");
  for (const auto& c : cases) {
    std::string status = ListenerFailed(ctx, c.name, c.number, "Address in use");
    EXPECT_EQ(Entries(106).back(), c.entry) << c.name;
    EXPECT_EQ(status, std::string("2026-06-26 08:09:10\r\nFailed to Start\r\n") + c.reason);
    if (c.ls) {
      EXPECT_EQ(ctx.ListenerStatus[static_cast<std::size_t>(c.ls)], ListenerStatusCode::NotStarted);
    }
  }
  EXPECT_EQ(ctx.ErrorCount, 5);
  EXPECT_EQ(ctx.LastErrorText, "2026-06-26: Comm Port Error");
}

}  // namespace
}  // namespace varnel
