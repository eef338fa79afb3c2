#include "platform/udp_listener.h"

#include <asio/socket_base.hpp>

#include "platform/error.h"

namespace varnel {

asio::ip::address BindAddress(const std::string& address) {
  if (address.empty()) return asio::ip::address_v4::any();
  std::error_code ec;
  auto a = asio::ip::make_address(address, ec);
  if (ec) throw VarnelError(err::kAddrNotAvail, "The address is not valid: " + address);
  return a;
}

VarnelError SocketErrorOf(const std::error_code& ec) {
  if (ec.category() == asio::system_category()) return SocketError(ec.value());
  return VarnelError(10000, ec.message());
}

void ThrowSocketError(const std::error_code& ec) { throw SocketErrorOf(ec); }

UdpListener::UdpListener(asio::io_context& io, const std::string& address, int port,
                         Handler handler)
    : handler_(std::move(handler)),
      reader_(
          io, kMaxDatagram, kGatherInterval,
          [this](std::string_view data, const asio::ip::udp::endpoint& from) { Deliver(data, from); },
          [this](const std::error_code& ec) { ReportError(ec); }),
      socket_(reader_.Socket()) {
  asio::ip::udp::endpoint ep(BindAddress(address), static_cast<unsigned short>(port));
  std::error_code ec;
  socket_.open(ep.protocol(), ec);
  if (!ec) {
    // A large receive buffer keeps bursts that arrive while the cycle writes the database.
    socket_.set_option(asio::socket_base::receive_buffer_size(4 << 20), ec);
    ec.clear();
    socket_.bind(ep, ec);
  }
  if (ec) ThrowSocketError(ec);
  reader_.Start();
}

UdpListener::~UdpListener() { Close(); }

void UdpListener::Close() {
  reader_.Stop();
  std::error_code ec;
  socket_.close(ec);
}

std::string UdpListener::LocalAddress() const {
  std::error_code ec;
  return socket_.local_endpoint(ec).address().to_string();
}

int UdpListener::LocalPort() const {
  std::error_code ec;
  return socket_.local_endpoint(ec).port();
}

void UdpListener::Deliver(std::string_view data, const asio::ip::udp::endpoint& from) {
  handler_(std::string(data), from.address().to_string());
}

void UdpListener::ReportError(const std::error_code& ec) {
  if (!onError_) return;
  VarnelError e = SocketErrorOf(ec);
  onError_(e.Number(), e.what());
}

}  // namespace varnel
