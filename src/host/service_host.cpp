#include "host/service_host.h"

#include <csignal>
#include <cstdlib>

#include "host/main_cycle.h"
#include "host/service_control.h"

namespace varnel {

ServiceHost::ServiceHost(Varnel& ctx, std::chrono::milliseconds tickLength)
    : ctx_(ctx), tick_(tickLength), timer_(ctx.io), signals_(ctx.io) {
  signals_.add(SIGTERM);
  signals_.add(SIGINT);
  signals_.add(SIGUSR1);
  signals_.add(SIGUSR2);
}

void ServiceHost::Run() {
  WaitSignal();
  ArmTimer();
  starting_ = true;
  dartSvc_State(ctx_, kCodeStart);
  starting_ = false;
  if (stopPending_) {
    Stop();
    return;
  }
  ctx_.io.restart();
  ctx_.io.run();
}

void ServiceHost::ArmTimer() {
  timer_.expires_after(tick_);
  timer_.async_wait([this](const std::error_code& ec) {
    if (ec || stopped_) return;
    ArmTimer();  // re-armed first, so a long cycle does not shift the ticks after it
    Timer1Tick(ctx_);
    if (stopPending_ && !Busy()) Stop();
  });
}

void ServiceHost::WaitSignal() {
  signals_.async_wait([this](const std::error_code& ec, int signo) {
    if (ec || stopped_) return;
    WaitSignal();
    OnSignal(signo);
  });
}

void ServiceHost::OnSignal(int signo) {
  switch (signo) {
    case SIGUSR1: dartSvc_State(ctx_, kCodePause); break;
    case SIGUSR2: dartSvc_State(ctx_, kCodeContinue); break;
    default:
      // A stop that arrives inside the start or a cycle's wait is carried out once that
      // is done.
      if (Busy())
        stopPending_ = true;
      else
        Stop();
      break;
  }
}

void ServiceHost::Stop() {
  if (stopped_) return;
  stopped_ = true;
  dartSvc_State(ctx_, kCodeStop);
  timer_.cancel();
  signals_.cancel();
  ctx_.io.stop();
}

std::chrono::milliseconds TickLengthFromEnvironment() {
  const char* v = std::getenv("VARNEL_TICK_MS");
  if (v) {
    char* end = nullptr;
    long ms = std::strtol(v, &end, 10);
    if (end != v && *end == '\0' && ms > 0) return std::chrono::milliseconds(ms);
  }
  return std::chrono::milliseconds(5000);
}

}  // namespace varnel
