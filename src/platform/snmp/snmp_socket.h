// The UDP side of the SNMP component: a trap receiver (manager) and an agent that answers
// requests and sends traps. Both run on the service's io_context; received datagrams are
// decoded and handed to one callback each; malformed ones are dropped and counted.
#pragma once
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/datagram_reader.h"
#include "platform/snmp/snmp_message.h"

namespace varnel::snmp {

// The largest UDP payload over IPv4.
constexpr std::size_t kMaxDatagram = 65507;

class SnmpEndpoint {
 public:
  using MessageHandler = std::function<void(Message&)>;
  // A socket error while receiving or sending: the Winsock-style number and a description.
  using ErrorHandler = std::function<void(int number, const std::string& description)>;

  // A gathering interval above zero reads datagrams in batches under load (DatagramReader).
  SnmpEndpoint(asio::io_context& io, std::vector<int> acceptedPduTypes,
               std::chrono::milliseconds gatherInterval);
  virtual ~SnmpEndpoint();
  SnmpEndpoint(const SnmpEndpoint&) = delete;
  SnmpEndpoint& operator=(const SnmpEndpoint&) = delete;

  // Binds to port on address ("" or "0.0.0.0" for every local address) and starts
  // receiving. Raises VarnelError 10048 when the port is in use, 10049 when the address is
  // not one of this machine's.
  void Listen(int port, const std::string& address);
  void Stop();
  bool Listening() const { return socket_.is_open(); }
  std::string LocalAddress() const;
  int LocalPort() const;

  void OnError(ErrorHandler handler) { onError_ = std::move(handler); }

  // Datagrams dropped because they did not decode, or carried a PDU type this endpoint does
  // not take.
  std::uint64_t Malformed() const { return malformed_; }
  std::uint64_t Ignored() const { return ignored_; }
  // Datagrams the kernel dropped for a full receive buffer since the last call.
  std::uint64_t TakeKernelDrops() { return reader_.TakeKernelDrops(); }

 protected:
  // Encodes message and sends it to its sender address and port.
  void SendBack(const Message& message);
  virtual void Deliver(Message& message) = 0;
  asio::io_context& io_;

 private:
  void Receive(std::string_view data, const asio::ip::udp::endpoint& from);
  const std::string& SenderText(const asio::ip::address& address);
  void ReportError(const std::error_code& ec);

  DatagramReader reader_;
  asio::ip::udp::socket& socket_;  // the reader's
  std::vector<int> accepted_;
  ErrorHandler onError_;
  std::uint64_t malformed_ = 0;
  std::uint64_t ignored_ = 0;
  Message received_;
  bool receiving_ = false;
  asio::ip::address lastSender_;
  std::string lastSenderText_;
};

// Receives v1 traps, v2c traps and informs; each is delivered once.
class SnmpManager : public SnmpEndpoint {
 public:
  explicit SnmpManager(asio::io_context& io);
  void OnTrap(MessageHandler handler) { onTrap_ = std::move(handler); }
  // Sends message back to its sender (the answer to an inform, PDU type 66). An inform that
  // the sender repeats because the answer was lost is answered again but not delivered twice.
  void Respond(const Message& message);

 private:
  void Deliver(Message& message) override;
  struct Answered {
    std::string address;
    std::uint16_t port;
    std::int32_t requestId;
    std::string community;
  };
  MessageHandler onTrap_;
  std::deque<Answered> answered_;
};

// Answers Get, GetNext and Set requests and sends traps.
class SnmpAgent : public SnmpEndpoint {
 public:
  explicit SnmpAgent(asio::io_context& io);
  void OnRequest(MessageHandler handler) { onRequest_ = std::move(handler); }
  // Sends the response to the requester (message.senderAddress/senderPort).
  void Send(const Message& message) { SendBack(message); }
  // Sends a trap to destination "address:port" (a host name is resolved); no answer is
  // awaited. Raises VarnelError for a destination that cannot be resolved or reached.
  void SendTrap(const std::string& destination, const Message& message);
  // The local address this machine uses to reach destination ("0.0.0.0" when unknown).
  std::string SourceAddressFor(const std::string& destination);
  // Request ids for traps this agent originates.
  std::int32_t NextRequestId();

 private:
  void Deliver(Message& message) override;
  asio::ip::udp::endpoint Resolve(const std::string& destination);
  MessageHandler onRequest_;
  asio::ip::udp::socket trapSocket_;
  std::int32_t nextRequestId_;
};

}  // namespace varnel::snmp
