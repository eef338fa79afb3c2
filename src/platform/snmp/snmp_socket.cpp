#include "platform/snmp/snmp_socket.h"

#include <algorithm>
#include <asio/ip/address.hpp>
#include <asio/socket_base.hpp>
#include <charconv>
#include <optional>
#include <random>

#include "platform/error.h"

namespace varnel::snmp {
namespace {

using asio::ip::udp;

constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;
constexpr std::size_t kAnsweredInforms = 64;

VarnelError ToVarnelError(const std::error_code& ec) {
  if (ec.category() == asio::system_category()) return SocketError(ec.value());
  return VarnelError(10000 + ec.value(), ec.message());
}

}  // namespace

SnmpEndpoint::SnmpEndpoint(asio::io_context& io, std::vector<int> acceptedPduTypes,
                           std::chrono::milliseconds gatherInterval)
    : io_(io),
      // One byte over the largest payload, so that a longer datagram shows as too long.
      reader_(
          io, kMaxDatagram + 1, gatherInterval,
          [this](std::string_view data, const asio::ip::udp::endpoint& from) { Receive(data, from); },
          [this](const std::error_code& ec) { ReportError(ec); }),
      socket_(reader_.Socket()),
      accepted_(std::move(acceptedPduTypes)) {}

SnmpEndpoint::~SnmpEndpoint() = default;

void SnmpEndpoint::Listen(int port, const std::string& address) {
  Stop();
  asio::ip::address bindAddress = asio::ip::address_v4::any();
  if (!address.empty() && address != "0.0.0.0") {
    std::error_code ec;
    bindAddress = asio::ip::make_address(address, ec);
    if (ec) throw VarnelError(err::kAddrNotAvail, "Address not available: " + address);
  }
  if (port < 0 || port > 65535) throw VarnelError(err::kAddrNotAvail, "Port out of range");
  udp::endpoint local(bindAddress, static_cast<unsigned short>(port));
  std::error_code ec;
  socket_.open(local.protocol(), ec);
  if (ec) throw ToVarnelError(ec);
  // A burst that arrives while the cycle writes the database waits in the kernel; the kernel
  // cuts the size to what it allows.
  socket_.set_option(asio::socket_base::receive_buffer_size(kReceiveBufferBytes), ec);
  socket_.bind(local, ec);
  if (ec) {
    std::error_code ignored;
    socket_.close(ignored);
    throw ToVarnelError(ec);
  }
  reader_.Start();
}

void SnmpEndpoint::Stop() {
  reader_.Stop();
  std::error_code ec;
  if (socket_.is_open()) socket_.close(ec);
}

std::string SnmpEndpoint::LocalAddress() const {
  std::error_code ec;
  auto ep = socket_.local_endpoint(ec);
  return ec ? std::string() : ep.address().to_string();
}

int SnmpEndpoint::LocalPort() const {
  std::error_code ec;
  auto ep = socket_.local_endpoint(ec);
  return ec ? 0 : ep.port();
}

void SnmpEndpoint::Receive(std::string_view data, const asio::ip::udp::endpoint& from) {
  if (data.size() > kMaxDatagram) {
    ++malformed_;
    return;
  }
  // Messages are decoded into one kept message, so a busy receiver does not allocate per
  // datagram. A handler that lets the loop run may come back here meanwhile: that datagram
  // gets a message of its own.
  std::optional<Message> nested;
  Message& message = receiving_ ? nested.emplace() : received_;
  if (!DecodeInto(data, message)) {
    ++malformed_;
    return;
  }
  if (std::find(accepted_.begin(), accepted_.end(), message.pduType) == accepted_.end()) {
    ++ignored_;
    return;
  }
  message.senderAddress = SenderText(from.address());
  message.senderPort = from.port();
  const bool outer = !receiving_;
  receiving_ = true;
  try {
    Deliver(message);
  } catch (const std::exception& e) {
    // The handlers guard their own work; this keeps a stray error off the loop.
    if (onError_) onError_(5, e.what());
  }
  if (outer) receiving_ = false;
}

const std::string& SnmpEndpoint::SenderText(const asio::ip::address& address) {
  // Most datagrams come from the sender of the one before.
  if (address != lastSender_ || lastSenderText_.empty()) {
    lastSender_ = address;
    lastSenderText_ = address.to_string();
  }
  return lastSenderText_;
}

void SnmpEndpoint::ReportError(const std::error_code& ec) {
  if (!onError_) return;
  VarnelError e = ToVarnelError(ec);
  onError_(e.Number(), e.what());
}

void SnmpEndpoint::SendBack(const Message& message) {
  std::string data = Encode(message);
  std::error_code ec;
  auto address = asio::ip::make_address(message.senderAddress, ec);
  if (ec) throw VarnelError(err::kAddrNotAvail, "Address not available: " + message.senderAddress);
  if (data.size() > kMaxDatagram) throw VarnelError(10040, "Message too long");
  socket_.send_to(asio::buffer(data), udp::endpoint(address, message.senderPort), 0, ec);
  if (ec) throw ToVarnelError(ec);
}

SnmpManager::SnmpManager(asio::io_context& io)
    : SnmpEndpoint(io, {pdu::kTrapV1, pdu::kInform, pdu::kTrapV2}, kGatherInterval) {}

void SnmpManager::Deliver(Message& message) {
  if (message.pduType == pdu::kInform) {
    for (const auto& a : answered_) {
      if (a.requestId == message.requestId && a.port == message.senderPort &&
          a.address == message.senderAddress && a.community == message.community) {
        // A repeat of an inform already delivered: the answer was lost, so answer again.
        message.pduType = pdu::kResponse;
        try {
          SendBack(message);
        } catch (const VarnelError&) {
        }
        return;
      }
    }
  }
  if (onTrap_) onTrap_(message);
}

void SnmpManager::Respond(const Message& message) {
  SendBack(message);
  answered_.push_back(
      {message.senderAddress, message.senderPort, message.requestId, message.community});
  if (answered_.size() > kAnsweredInforms) answered_.pop_front();
}

SnmpAgent::SnmpAgent(asio::io_context& io)
    : SnmpEndpoint(
          io, {pdu::kGetV1, pdu::kGetNextV1, pdu::kSetV1, pdu::kGet, pdu::kGetNext, pdu::kSet},
          std::chrono::milliseconds(0)),
      trapSocket_(io),
      nextRequestId_(static_cast<std::int32_t>(std::random_device{}() & 0x3FFFFFFF) + 1) {}

void SnmpAgent::Deliver(Message& message) {
  if (onRequest_) onRequest_(message);
}

std::int32_t SnmpAgent::NextRequestId() {
  std::int32_t id = nextRequestId_;
  nextRequestId_ = nextRequestId_ >= 0x7FFFFFFE ? 1 : nextRequestId_ + 1;
  return id;
}

udp::endpoint SnmpAgent::Resolve(const std::string& destination) {
  auto colon = destination.rfind(':');
  if (colon == std::string::npos)
    throw VarnelError(err::kHostNotFound, "No port in destination: " + destination);
  std::string host = destination.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  unsigned port = 0;
  const char* first = destination.data() + colon + 1;
  const char* last = destination.data() + destination.size();
  auto r = std::from_chars(first, last, port);
  if (first == last || r.ec != std::errc() || r.ptr != last || port == 0 || port > 65535)
    throw VarnelError(err::kHostNotFound, "Bad port in destination: " + destination);
  std::error_code ec;
  auto address = asio::ip::make_address(host, ec);
  if (!ec) return udp::endpoint(address, static_cast<unsigned short>(port));
  udp::resolver resolver(io_);
  auto results = resolver.resolve(udp::v4(), host, std::to_string(port), ec);
  if (ec || results.empty()) throw VarnelError(err::kHostNotFound, "Host not found: " + host);
  return *results.begin();
}

void SnmpAgent::SendTrap(const std::string& destination, const Message& message) {
  std::string data = Encode(message);
  if (data.size() > kMaxDatagram) throw VarnelError(10040, "Message too long");
  udp::endpoint to = Resolve(destination);
  std::error_code ec;
  if (trapSocket_.is_open() && trapSocket_.local_endpoint(ec).protocol() != to.protocol())
    trapSocket_.close(ec);
  if (!trapSocket_.is_open()) {
    trapSocket_.open(to.protocol(), ec);
    if (ec) throw ToVarnelError(ec);
  }
  trapSocket_.send_to(asio::buffer(data), to, 0, ec);
  if (ec) throw ToVarnelError(ec);
}

std::string SnmpAgent::SourceAddressFor(const std::string& destination) {
  try {
    udp::endpoint to = Resolve(destination);
    udp::socket probe(io_);
    std::error_code ec;
    probe.open(to.protocol(), ec);
    if (!ec) probe.connect(to, ec);  // a UDP connect only chooses the route
    if (!ec) {
      auto local = probe.local_endpoint(ec);
      if (!ec && local.address().is_v4()) return local.address().to_string();
    }
  } catch (const VarnelError&) {
  }
  return "0.0.0.0";
}

}  // namespace varnel::snmp
