#include "host/main_cycle.h"

#include <gtest/gtest.h>

#include "host/service_control.h"
#include "support/test_support.h"

namespace varnel {
namespace {

class MainCycleTest : public testing::VarnelTest {
 protected:
  void Start(int checkInterval) {
    SetColumn("Event_CheckInterval", "CheckInterval", std::to_string(checkInterval));
    dartSvc_State(ctx, kCodeStart);
    ASSERT_TRUE(ctx.TimerEnabled);
  }
  // Numbers (1-based) of the ticks among the first n that ran a cycle.
  std::vector<int> CycleTicks(int n) {
    std::vector<int> ticks;
    for (int i = 1; i <= n; ++i) {
      int before = cycles;
      Tick();
      if (cycles != before) ticks.push_back(i);
    }
    return ticks;
  }
  void Tick() {
    std::int16_t before = ctx.Countdown;
    Timer1Tick(ctx);
    // A cycle resets the countdown to the interval; a plain tick lowers it by five.
    if (ctx.Countdown == ctx.CheckInterval && before - 5 < 1 && ctx.ServiceState == ServiceStateCode::Running) ++cycles;
  }
  int cycles = 0;
};

TEST_F(MainCycleTest, CountdownRoundsUpToWholeTicks) {
  Start(7);
  EXPECT_EQ(CycleTicks(6), (std::vector<int>{2, 4, 6}));  // 7 -> 2 -> -3 runs
}

TEST_F(MainCycleTest, ZeroIntervalRunsEveryTickAndThirtyEverySixth) {
  Start(0);
  EXPECT_EQ(CycleTicks(3), (std::vector<int>{1, 2, 3}));
  ctx.CheckInterval = 30;
  ctx.Countdown = 30;
  EXPECT_EQ(CycleTicks(12), (std::vector<int>{6, 12}));
}

TEST_F(MainCycleTest, PauseHoldsTheCountdown) {
  Start(30);
  Timer1Tick(ctx);
  ctx.ServiceState = ServiceStateCode::Paused;
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.Countdown, 30);
  EXPECT_EQ(ctx.StatusStep, StatusStepCode::Paused);
  EXPECT_EQ(ctx.StatusText, "Varnel is Paused");
  ctx.ServiceState = ServiceStateCode::Running;
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.Countdown, 25);
  EXPECT_EQ(ctx.StatusText, "Countdown for next check ...");
}

TEST_F(MainCycleTest, TickDuringACycleIsIgnored) {
  Start(5);
  ctx.CycleRunning = true;
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.Countdown, 5);
  ctx.CycleRunning = false;
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.Countdown, 5);  // ran a cycle and reset
  EXPECT_EQ(ctx.StatusStep, StatusStepCode::Countdown);
}

TEST_F(MainCycleTest, HourlyStepFollowsTheHourAcrossMidnight) {
  clock.Set("2026-06-26 23:59:00");
  Start(30);
  clock.Set("2026-06-27 00:00:05");
  RunHourlyJobs(ctx);
  EXPECT_EQ(ctx.LastHour, 0);
}

TEST_F(MainCycleTest, UpdateRequestRereadsSettingsInTheNextCycle) {
  Start(0);
  SetColumn("Settings_General", "DebugMode", "Debug All");
  SetColumn("Settings_General", "UseDateFormat", "DD.MM.YYYY");
  SetColumn("Event_CheckInterval", "CheckInterval", "60");
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.DebugMode, "No Debug");  // no request yet
  ctx.UpdateRequest = UpdateRequestCode::Reread;
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.DebugMode, "Debug All");
  EXPECT_EQ(ctx.CheckInterval, 60);
  EXPECT_EQ(ctx.DateFormat, "YYYY-MM-DD");  // taken only at start
  EXPECT_EQ(ctx.UpdateRequest, UpdateRequestCode::None);
}

TEST_F(MainCycleTest, PollWatchdogPausesTheStandbyAndReloadsOnThePrimary) {
  Start(0);
  ctx.PollMe = true;
  ctx.PollMeTimeout = 10;
  ctx.PollCountdown = 10;
  ctx.IsPrimary = true;
  Timer1Tick(ctx);  // 5 left
  Timer1Tick(ctx);  // 0 left: fires
  EXPECT_EQ(ctx.PollCountdown, 100);
  ctx.IsPrimary = false;
  ctx.PollCountdown = 5;
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.ServiceState, ServiceStateCode::Paused);
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.StatusText, "Varnel is Paused");
}

TEST_F(MainCycleTest, EventsReachTheEventLogOnlyWhenThereAreAny) {
  Start(0);
  {
    Database db = Db();
    db.Exec("DROP TABLE LogFiles_Event");  // would fail loudly if the cycle touched it
  }
  Timer1Tick(ctx);
  EXPECT_TRUE(Entries(106).empty());
  EXPECT_EQ(ctx.events.Count(), 0);
}

}  // namespace
}  // namespace varnel
