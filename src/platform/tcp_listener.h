// A TCP listener for line-oriented senders: every connection stays open and each message on
// it (LF- or NUL-terminated, or octet-counted "LEN SP MSG") goes to a callback; text left
// when the peer closes is one message. Messages are cut to 64 KiB; connections are bounded.
#pragma once
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <functional>
#include <list>
#include <memory>
#include <string>

#include "platform/udp_listener.h"

namespace varnel {

constexpr std::size_t kMaxTcpMessage = 65536;
constexpr std::size_t kMaxTcpConnections = 64;

// Splits a byte stream into messages. Pure, so the framing is testable without sockets.
class MessageFramer {
 public:
  // Adds bytes; calls emit for every complete message.
  void Feed(const char* data, std::size_t n, const std::function<void(std::string)>& emit);
  // The peer closed: what is left is one message.
  void Finish(const std::function<void(std::string)>& emit);

 private:
  void Emit(const std::function<void(std::string)>& emit);
  std::string current_;
  bool truncated_ = false;
  bool counting_ = false;      // octet-counted frame in progress
  std::size_t remaining_ = 0;  // bytes still expected in it
  std::string lengthDigits_;
  bool atStart_ = true;
};

// Opens, binds (reusing the address) and starts the acceptor listening on ep; raises the
// socket error of the step that fails.
void ListenOn(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp::endpoint& ep);

class TcpListener {
 public:
  using Handler = std::function<void(std::string data, std::string senderIp)>;
  TcpListener(asio::io_context& io, const std::string& address, int port, Handler handler);
  ~TcpListener();
  std::string LocalAddress() const;
  int LocalPort() const;
  std::size_t Connections() const { return connections_.size(); }
  void Close();
  // Called for a failed accept or a connection that fails other than by the peer's close;
  // the listener goes on accepting.
  void OnError(SocketErrorHandler handler) { onError_ = std::move(handler); }

 private:
  struct Connection;
  void Accept();
  void Read(const std::shared_ptr<Connection>& c);
  void Drop(const std::shared_ptr<Connection>& c);
  void ReportError(const std::error_code& ec);

  asio::io_context& io_;
  asio::ip::tcp::acceptor acceptor_;
  Handler handler_;
  SocketErrorHandler onError_;
  std::list<std::shared_ptr<Connection>> connections_;
  std::shared_ptr<bool> alive_;
};

}  // namespace varnel
