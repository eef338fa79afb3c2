#include "platform/event_loop.h"

#include <asio/executor_work_guard.hpp>
#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

namespace varnel {

void Delay(asio::io_context& io, int ms) {
  // The guard keeps run_for waiting the whole slice even when no handler is queued.
  auto guard = asio::make_work_guard(io);
  for (int slice = 0; slice < ms / 20; ++slice) {
    if (io.stopped()) io.restart();
    io.run_for(std::chrono::milliseconds(20));
  }
}

void RunWhileServing(asio::io_context& io, const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::exception_ptr failure;
  {
    std::jthread helper([&] {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      done = true;
    });
    while (!done) Delay(io, 20);
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace varnel
