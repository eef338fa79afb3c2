// A UDP socket that hands every datagram (cut to 64 KiB) and its sender to a callback.
#pragma once
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <functional>
#include <string>

#include "platform/datagram_reader.h"
#include "platform/error.h"

namespace varnel {

constexpr std::size_t kMaxDatagram = 65536;

// A receive error of a listener socket: the Winsock-style number and a description.
using SocketErrorHandler = std::function<void(int number, const std::string& description)>;

class UdpListener {
 public:
  using Handler = std::function<void(std::string data, std::string senderIp)>;
  // Binds to address:port ("0.0.0.0" or "" for all); raises 10048/10049 style errors.
  UdpListener(asio::io_context& io, const std::string& address, int port, Handler handler);
  ~UdpListener();
  std::string LocalAddress() const;
  int LocalPort() const;
  void Close();
  // Datagrams the kernel dropped for a full receive buffer since the last call.
  std::uint64_t TakeKernelDrops() { return reader_.TakeKernelDrops(); }
  // Called for a failed receive; the socket goes on receiving.
  void OnError(SocketErrorHandler handler) { onError_ = std::move(handler); }

 private:
  void Deliver(std::string_view data, const asio::ip::udp::endpoint& from);
  void ReportError(const std::error_code& ec);
  Handler handler_;
  SocketErrorHandler onError_;
  DatagramReader reader_;
  asio::ip::udp::socket& socket_;  // the reader's
};

// Parses a bind address; "" and "0.0.0.0" mean every IPv4 address. Raises 10049 when the
// text is not an address.
asio::ip::address BindAddress(const std::string& address);
// The VarnelError of a socket error code, with its Winsock-style number.
VarnelError SocketErrorOf(const std::error_code& ec);
[[noreturn]] void ThrowSocketError(const std::error_code& ec);

}  // namespace varnel
