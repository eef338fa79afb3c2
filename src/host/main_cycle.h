// The timer tick, the countdown and the steps of one cycle.
#pragma once
#include "service/varnel.h"

namespace varnel {

inline constexpr const char* kStatusCountdown = "Countdown for next check ...";
inline constexpr const char* kStatusChecking = "Checking for new events ...";
inline constexpr const char* kStatusPaused = "Varnel is Paused";

// Seconds one tick stands for, whatever the real tick length.
constexpr int kTickSeconds = 5;

// One timer tick: pause handling, the countdown, and a cycle when it has run out. A tick
// that arrives while a cycle runs (inside a wait) is ignored. State changes that the agent
// was asked for during the cycle are applied after it.
void Timer1Tick(Varnel& ctx);

// Steps 4 to 23 of the cycle.
void RunCycle(Varnel& ctx);

// Step 19: runs the hourly jobs when the hour has changed and the new-day jobs when it went
// back (the first cycle of a new day); advances LastHour.
void RunHourlyJobs(Varnel& ctx);

}  // namespace varnel
