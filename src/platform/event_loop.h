// The single event loop and the Delay wait that keeps it turning.
#pragma once
#include <asio/io_context.hpp>

namespace varnel {

// Waits ms / 20 slices of 20 ms; pending handlers (sockets, serial, timers) run during
// every slice. 0 to 19 ms wait nothing.
void Delay(asio::io_context& io, int ms);

}  // namespace varnel
