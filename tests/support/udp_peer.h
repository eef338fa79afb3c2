// A UDP socket on 127.0.0.1 for tests that talk to the service's SNMP sockets while the
// service's event loop turns.
#pragma once
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <optional>
#include <string>

namespace varnel::testing {

class UdpPeer {
 public:
  explicit UdpPeer(asio::io_context& io) : io_(io), socket_(io, {Loopback(), 0}) {
    socket_.non_blocking(true);
  }
  int Port() const { return socket_.local_endpoint().port(); }
  void SendTo(int port, const std::string& data) {
    socket_.send_to(asio::buffer(data), {Loopback(), static_cast<unsigned short>(port)});
  }
  // The next datagram, turning io in short slices for up to ms; nothing when none came.
  std::optional<std::string> Receive(int ms = 2000) {
    std::string buf(70000, '\0');
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      asio::error_code ec;
      std::size_t n = socket_.receive(asio::buffer(buf), 0, ec);
      if (!ec) return buf.substr(0, n);
      if (io_.stopped()) io_.restart();
      io_.run_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
  }

 private:
  static asio::ip::address Loopback() { return asio::ip::address_v4::loopback(); }
  asio::io_context& io_;
  asio::ip::udp::socket socket_;
};

}  // namespace varnel::testing
