// A plain UDP socket on 127.0.0.1 for tests that talk to the service's SNMP sockets, and a
// helper that turns the service's event loop until something has happened.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
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
  UdpPeer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
      throw std::runtime_error("UdpPeer: cannot bind");
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~UdpPeer() { ::close(fd_); }
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  int Port() const { return port_; }

  void SendTo(int port, const std::string& data) const {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }

  // The next datagram, waiting up to ms while io turns; nothing when none came.
  std::optional<std::string> Receive(asio::io_context& io, int ms = 2000) {
    std::optional<std::string> got;
    PumpUntil(
        io,
        [&] {
          char buf[70000];
          ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
          if (n >= 0) got = std::string(buf, static_cast<std::size_t>(n));
          return got.has_value();
        },
        ms);
    return got;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace varnel::testing
