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
};

TEST_F(MainCycleTest, CountdownRunsACycleAfterWholeFiveSecondTicks) {
  const struct {
    int interval, ticks;
    std::vector<int> cycles;  // the ticks (from 1) that ran a cycle
  } cases[] = {{7, 6, {2, 4, 6}}, {6, 4, {2, 4}}, {0, 3, {1, 2, 3}}, {30, 12, {6, 12}}};
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
  EXPECT_EQ(ctx.Countdown, 30);
  EXPECT_EQ(ctx.StatusStep, StatusStepCode::Paused);
  EXPECT_EQ(ctx.StatusText, "Varnel is Paused");
  ctx.ServiceState = ServiceStateCode::Running;
  ctx.CycleRunning = true;  // a tick while a cycle runs is ignored
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.Countdown, 30);
  ctx.CycleRunning = false;
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.Countdown, 25);
  EXPECT_EQ(ctx.StatusStep, StatusStepCode::Countdown);
  EXPECT_EQ(ctx.StatusText, "Countdown for next check ...");
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
  Update("Settings_General", "DebugMode = 'Debug All', UseDateFormat = 'DD.MM.YYYY'");
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

TEST_F(MainCycleTest, PollWatchdogReloadsOnThePrimaryAndPausesTheStandby) {
  Start(0);
  ctx.PollMe = true;
  ctx.PollMeTimeout = 10;
  ctx.PollCountdown = 10;
  ctx.IsPrimary = true;
  Timer1Tick(ctx);  // 5 left
  Timer1Tick(ctx);  // 0 left: fires
  EXPECT_EQ(ctx.PollCountdown, 100);
  EXPECT_EQ(ctx.ServiceState, ServiceStateCode::Running);
  ctx.IsPrimary = false;
  ctx.PollCountdown = 5;
  Timer1Tick(ctx);
  EXPECT_EQ(ctx.ServiceState, ServiceStateCode::Paused);
}

}  // namespace
}  // namespace varnel
