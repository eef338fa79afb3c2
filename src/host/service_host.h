// Runs the service in the foreground: state events from signals, the tick timer.
#pragma once
#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>

#include "service/varnel.h"

namespace varnel {

// SIGTERM/SIGINT stop, SIGUSR1 pause request, SIGUSR2 continue request. Each tick of
// tickLength counts as five seconds of the cycle.
class ServiceHost {
 public:
  ServiceHost(Varnel& ctx, std::chrono::milliseconds tickLength);
  // Delivers the start event and runs until a stop request has been handled.
  void Run();

 private:
  void ArmTimer();
  void WaitSignal();
  void OnSignal(int signo);
  void Stop();
  // Inside the start sequence or a cycle: a stop request waits until that is done.
  bool Busy() const { return starting_ || ctx_.CycleRunning; }

  Varnel& ctx_;
  std::chrono::milliseconds tick_;
  asio::steady_timer timer_;
  asio::signal_set signals_;
  bool starting_ = false;
  bool stopPending_ = false;
  bool stopped_ = false;
};

// VARNEL_TICK_MS, or 5000 when unset or not a positive number.
std::chrono::milliseconds TickLengthFromEnvironment();

}  // namespace varnel
