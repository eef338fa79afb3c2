#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/main_cycle.h"
#include "host/service_control.h"
#include "host/service_open.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ServiceControlTest = testing::VarnelTest;

const char* const kDropFiles[] = {"Event.log",           "SmtpMess.log",   "SnmpMess.log",
                                  "SmsCmd.log",          "Hold_Queue.log", "ReqAck.log",
                                  "Debug/Event_List.txt"};

TEST_F(ServiceControlTest, StartSequenceSetsUpTheServiceOnce) {
  Update("Settings_General", "DebugMode = 'Event Sources', Version = '4.2'");
  Update("Event_CheckInterval", "CheckInterval = 20");
  for (const char* f : kDropFiles) AppendLines(File(f), {"left over"});
  Db().Exec(
      "INSERT INTO Receiver_Test (Name) VALUES ('x');"
      "INSERT INTO SuppGrp_SendMess (Message) VALUES ('y')");
  clock.Set("2026-06-26 14:07:00");
  ctx.ErrorCount = 3;
  dartSvc_State(ctx, kCodeStart);
  EXPECT_EQ(std::tuple(Entries(101).size(), ctx.TimerEnabled, ctx.DebugMode, ctx.DbVersion),
            std::tuple(1u, true, "Event Sources", "4.2"));
  EXPECT_EQ(std::tuple(ctx.CheckInterval, ctx.Countdown, ctx.LastHour, ctx.LastMinute),
            std::tuple(20, 20, 14, "14:07"));
  EXPECT_EQ(std::tuple(ctx.ErrorCount, ctx.ReqAckIdCounter, ctx.LastErrorText),
            std::tuple(0, 900, "No internal execution error."));
  EXPECT_EQ(std::tuple(ctx.ListenerStatus[kLsLogFile], ctx.ListenerStatus[kLsSysLog1]),
            std::tuple(ListenerStatusCode::Started, ListenerStatusCode::NotStarted));
  for (const char* f : kDropFiles) EXPECT_FALSE(FileExists(File(f))) << f;
  Database db = Db();
  EXPECT_TRUE(db.Open("Receiver_Test").Eof() && db.Open("SuppGrp_SendMess").Eof());

  dartSvc_State(ctx, kCodeStop);
  dartSvc_State(ctx, kCodeStart);  // a second start in the same process does nothing
  EXPECT_EQ(std::tuple(Entries(101).size(), Entries(102).size(), ctx.TimerEnabled),
            std::tuple(1u, 1u, false));
}

TEST_F(ServiceControlTest, MissingGeneralSettingsRowStopsTheStart) {
  Db().Exec("DELETE FROM Settings_General");
  AppendLines(File("Event.log"), {"kept"});
  dartSvc_State(ctx, kCodeStart);
  EXPECT_THAT(Entries(106), ElementsAre(HasSubstr("(Module: dartSvc_State)")));
  EXPECT_FALSE(!Entries(101).empty() || ctx.TimerEnabled);
  EXPECT_TRUE(FileExists(File("Event.log")));  // nothing after the failing step ran
  EXPECT_EQ(GetColumn("Event_SysLog", "Status1"), "Not Started");
}

TEST_F(ServiceControlTest, MissingColumnOrDatabaseIsReportedNotFatal) {
  Db().Exec("ALTER TABLE Event_CheckInterval DROP COLUMN CheckInterval");
  dartSvc_State(ctx, kCodeStart);
  EXPECT_THAT(Entries(106), ElementsAre(HasSubstr("[3265]")));
  EXPECT_FALSE(ctx.TimerEnabled);

  std::remove(ctx.DatabasePath().c_str());
  Varnel other(io, clock, log, ctx.ProgramDir);
  dartSvc_State(other, kCodeStart);
  EXPECT_THAT(Entries(106).back(), HasSubstr("[3014]"));
}

TEST_F(ServiceControlTest, BackupListenerDecidesTheRole) {
  SetColumn("Settings_General", "RemoteBackup", "1");
  // With ini, an ini file's switch decides, not the machine's address.
  // clang-format off
  const struct { const char* address; bool ini, primary; } cases[] = {
      {"127.0.0.1", false, false}, {"192.0.2.77", false, true}, {"127.0.0.1", true, true}};
  // clang-format on
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
  // clang-format off
  const struct { const char *name; int number; const char *entry, *reason; int ls; } cases[] = {
      {"sysLog2", 10048, "[10048] Address in use (Module: ServiceOpen)", "", kLsSysLog2},
      {"snmpManager", 10048, "SNMP Trap Port was in use", "Port was in use", kLsTrapServer}};
  // clang-format on
  clock.Set("2026-06-26 08:09:10");
  for (const auto& c : cases) {
    std::string status = ListenerFailed(ctx, c.name, c.number, "Address in use");
    EXPECT_EQ(Entries(106).back(), c.entry) << c.name;
    EXPECT_EQ(status, std::string("2026-06-26 08:09:10\r\nFailed to Start\r\n") + c.reason);
    if (c.ls) {
      EXPECT_EQ(ctx.ListenerStatus[static_cast<std::size_t>(c.ls)], ListenerStatusCode::NotStarted);
    }
  }
  EXPECT_EQ(std::tuple(ctx.ErrorCount, ctx.LastErrorText),
            std::tuple(2, std::string("2026-06-26: SNMP Trap Port was in use")));
}

class MainCycleTest : public testing::VarnelTest {
 protected:
  void Start(int checkInterval) {
    SetColumn("Event_CheckInterval", "CheckInterval", std::to_string(checkInterval));
    dartSvc_State(ctx, kCodeStart);
    ASSERT_TRUE(ctx.TimerEnabled);
  }
};

TEST_F(MainCycleTest, CountdownRunsACycleAfterWholeFiveSecondTicks) {
  // cycles: the ticks (from 1) that ran a cycle.
  // clang-format off
  const struct { int interval, ticks; std::vector<int> cycles; } cases[] = {
      {7, 6, {2, 4, 6}}, {6, 4, {2, 4}}, {0, 3, {1, 2, 3}}, {30, 12, {6, 12}}};
  // clang-format on
  Start(0);
  for (const auto& c : cases) {
    ctx.CheckInterval = ctx.Countdown = static_cast<std::int16_t>(c.interval);
    std::vector<int> ran;
    for (int i = 1; i <= c.ticks; ++i) {
      int before = ctx.Countdown;
      Timer1Tick(ctx);
      if (ctx.Countdown >= before) ran.push_back(i);  // a plain tick lowers it by five
    }
    EXPECT_EQ(ran, c.cycles) << c.interval;
  }
}

TEST_F(MainCycleTest, PauseResetsAndARunningCycleHoldsTheCountdown) {
  Start(30);
  Timer1Tick(ctx);
  ctx.ServiceState = ServiceStateCode::Paused;
  Timer1Tick(ctx);
  EXPECT_EQ(std::tuple(ctx.Countdown, ctx.StatusStep, ctx.StatusText),
            std::tuple(30, StatusStepCode::Paused, "Varnel is Paused"));
  ctx.ServiceState = ServiceStateCode::Running;
  ctx.CycleRunning = true;  // a tick while a cycle runs is ignored
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.Countdown, 30);
  ctx.CycleRunning = false;
  Timer1Tick(ctx);
  EXPECT_EQ(std::tuple(ctx.Countdown, ctx.StatusStep, ctx.StatusText),
            std::tuple(25, StatusStepCode::Countdown, "Countdown for next check ..."));
}

TEST_F(MainCycleTest, UpdateRequestRereadsSettingsInTheNextCycle) {
  Start(0);
  Update("Settings_General", "DebugMode = 'Debug All', UseDateFormat = 'DD.MM.YYYY'");
  SetColumn("Event_CheckInterval", "CheckInterval", "60");
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.DebugMode, "No Debug");  // no request yet
  ctx.UpdateRequest = UpdateRequestCode::Reread;
  Timer1Tick(ctx);
  // The date format is taken only at start.
  EXPECT_EQ(std::tuple(ctx.DebugMode, ctx.CheckInterval, ctx.DateFormat, ctx.UpdateRequest),
            std::tuple("Debug All", 60, "YYYY-MM-DD", UpdateRequestCode::None));
}

TEST_F(MainCycleTest, PollWatchdogReloadsOnThePrimaryAndPausesTheStandby) {
  Start(0);
  ctx.PollMe = ctx.IsPrimary = true;
  ctx.PollMeTimeout = ctx.PollCountdown = 10;
  Timer1Tick(ctx);  // 5 left
  Timer1Tick(ctx);  // 0 left: fires
  EXPECT_EQ(std::tuple(ctx.PollCountdown, ctx.ServiceState),
            std::tuple(100, ServiceStateCode::Running));
  ctx.IsPrimary = false;
  ctx.PollCountdown = 5;
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.ServiceState, ServiceStateCode::Paused);
}

}  // namespace
}  // namespace varnel
