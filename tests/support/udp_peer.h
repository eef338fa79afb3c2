// A UDP socket on 127.0.0.1 for tests that talk to the service's SNMP sockets, and a helper
// that turns the service's event loop until something has happened.
#pragma once
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace varnel::testing {

// Runs io in short slices until done() holds or ms have passed; returns done().
inline bool PumpUntil(asio::io_context& io, const std::function<bool()>& done, int ms = 2000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done() && std::chrono::steady_clock::now() < end) {
    if (io.stopped()) io.restart();
    io.run_for(std::chrono::milliseconds(5));
  }
  return done();
}

class UdpPeer {
 public:
  explicit UdpPeer(asio::io_context& io) : io_(io), socket_(io, {Loopback(), 0}) {
    socket_.non_blocking(true);
  }
  int Port() const { return socket_.local_endpoint().port(); }
  void SendTo(int port, const std::string& data) {
    socket_.send_to(asio::buffer(data), {Loopback(), static_cast<unsigned short>(port)});
  }
  // The next datagram, waiting up to ms while io turns; nothing when none came.
  std::optional<std::string> Receive(int ms = 2000) {
    std::string buf(70000, '\0');
    std::optional<std::string> got;
    PumpUntil(io_, [&] {
      asio::error_code ec;
      std::size_t n = socket_.receive(asio::buffer(buf), 0, ec);
      if (!ec) got = buf.substr(0, n);
      return got.has_value();
    }, ms);
    return got;
  }

 private:
  static asio::ip::address Loopback() { return asio::ip::address_v4::loopback(); }
  asio::io_context& io_;
  asio::ip::udp::socket socket_;
};

}  // namespace varnel::testing
