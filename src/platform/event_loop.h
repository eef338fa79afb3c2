// The single event loop and the Delay wait that keeps it turning.
#pragma once
#include <asio/io_context.hpp>
#include <functional>

namespace varnel {

// Waits ms / 20 slices of 20 ms; pending handlers (sockets, serial, timers) run during
// every slice. 0 to 19 ms wait nothing.
void Delay(asio::io_context& io, int ms);

// Runs a blocking call (a network session) on a helper thread while this thread waits in
// Delay slices, so the listeners stay served; returns when work has returned and rethrows
// what it threw. work must not touch the loop nor the service's state.
void RunWhileServing(asio::io_context& io, const std::function<void()>& work);

}  // namespace varnel
