// A UDP socket that hands every datagram (cut to 64 KiB) and its sender to a callback.
#pragma once
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <functional>
#include <string>
#include <vector>

namespace varnel {

constexpr std::size_t kMaxDatagram = 65536;

class UdpListener {
 public:
  using Handler = std::function<void(std::string data, std::string senderIp)>;
  // Binds to address:port ("0.0.0.0" or "" for all); raises 10048/10049 style errors.
  UdpListener(asio::io_context& io, const std::string& address, int port, Handler handler);
  ~UdpListener();
  std::string LocalAddress() const;
  int LocalPort() const;
  void Close();

 private:
  void Receive();
  asio::ip::udp::socket socket_;
  asio::ip::udp::endpoint sender_;
  std::vector<char> buffer_;
  Handler handler_;
};

// Parses a bind address; "" and "0.0.0.0" mean every IPv4 address. Raises 10049 when the
// text is not an address.
asio::ip::address BindAddress(const std::string& address);
// Turns a socket error code into the VarnelError of its Winsock-style number.
[[noreturn]] void ThrowSocketError(const std::error_code& ec);

}  // namespace varnel
