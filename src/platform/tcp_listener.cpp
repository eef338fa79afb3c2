#include "platform/tcp_listener.h"

#include <array>

namespace varnel {

// ---------------------------------------------------------------- MessageFramer

void MessageFramer::Emit(const std::function<void(std::string)>& emit) {
  std::string msg;
  msg.swap(current_);
  truncated_ = false;
  counting_ = false;
  atStart_ = true;
  lengthDigits_.clear();
  if (!msg.empty() && msg.back() == '\r') msg.pop_back();
  if (!msg.empty()) emit(std::move(msg));
}

void MessageFramer::Feed(const char* data, std::size_t n,
                         const std::function<void(std::string)>& emit) {
  for (std::size_t i = 0; i < n; ++i) {
    char c = data[i];
    if (atStart_) {
      // A frame that starts with a non-zero digit and a length field is octet-counted.
      if (c >= '0' && c <= '9' && (!lengthDigits_.empty() || c != '0')) {
        lengthDigits_ += c;
        if (lengthDigits_.size() > 6) {  // not a length: take the digits as text
          current_ = lengthDigits_;
          lengthDigits_.clear();
          atStart_ = false;
        }
        continue;
      }
      if (c == ' ' && !lengthDigits_.empty()) {
        remaining_ = std::stoul(lengthDigits_);
        lengthDigits_.clear();
        counting_ = true;
        atStart_ = false;
        continue;
      }
      if ((c == '\n' || c == '\0') && lengthDigits_.empty()) continue;  // empty line
      current_ = lengthDigits_;
      lengthDigits_.clear();
      atStart_ = false;
    }
    if (counting_) {
      if (current_.size() < kMaxTcpMessage) current_ += c;
      if (--remaining_ == 0) Emit(emit);
      continue;
    }
    if (c == '\n' || c == '\0') {
      Emit(emit);
      continue;
    }
    if (current_.size() < kMaxTcpMessage)
      current_ += c;
    else
      truncated_ = true;
  }
}

void MessageFramer::Finish(const std::function<void(std::string)>& emit) {
  if (atStart_ && !lengthDigits_.empty()) current_ = lengthDigits_;
  Emit(emit);
}

// ---------------------------------------------------------------- TcpListener

struct TcpListener::Connection {
  explicit Connection(asio::io_context& io) : socket(io) {}
  asio::ip::tcp::socket socket;
  std::string peer;
  MessageFramer framer;
  std::array<char, 16384> buffer{};
};

void ListenOn(asio::ip::tcp::acceptor& acceptor, const asio::ip::tcp::endpoint& ep) {
  std::error_code ec;
  acceptor.open(ep.protocol(), ec);
  if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor.bind(ep, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) ThrowSocketError(ec);
}

TcpListener::TcpListener(asio::io_context& io, const std::string& address, int port,
                         Handler handler)
    : io_(io), acceptor_(io), handler_(std::move(handler)), alive_(std::make_shared<bool>(true)) {
  asio::ip::tcp::endpoint ep(BindAddress(address), static_cast<unsigned short>(port));
  ListenOn(acceptor_, ep);
  Accept();
}

TcpListener::~TcpListener() {
  *alive_ = false;
  Close();
}

void TcpListener::Close() {
  std::error_code ec;
  acceptor_.close(ec);
  for (auto& c : connections_) c->socket.close(ec);
  connections_.clear();
}

std::string TcpListener::LocalAddress() const {
  std::error_code ec;
  return acceptor_.local_endpoint(ec).address().to_string();
}

int TcpListener::LocalPort() const {
  std::error_code ec;
  return acceptor_.local_endpoint(ec).port();
}

void TcpListener::Accept() {
  auto c = std::make_shared<Connection>(io_);
  acceptor_.async_accept(c->socket, [this, c, alive = alive_](const std::error_code& ec) {
    if (!*alive || ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
    if (ec) {
      ReportError(ec);
    } else {
      if (connections_.size() >= kMaxTcpConnections) {
        std::error_code ignored;
        c->socket.close(ignored);  // the senders already connected stay served
      } else {
        std::error_code e;
        c->peer = c->socket.remote_endpoint(e).address().to_string();
        connections_.push_back(c);
        Read(c);
      }
    }
    Accept();
  });
}

void TcpListener::Read(const std::shared_ptr<Connection>& c) {
  c->socket.async_read_some(
      asio::buffer(c->buffer), [this, c, alive = alive_](const std::error_code& ec, std::size_t n) {
        if (!*alive) return;
        auto emit = [&](std::string msg) { handler_(std::move(msg), c->peer); };
        if (ec) {
          if (ec != asio::error::operation_aborted) c->framer.Finish(emit);
          if (ec != asio::error::operation_aborted && ec != asio::error::eof) ReportError(ec);
          Drop(c);
          return;
        }
        c->framer.Feed(c->buffer.data(), n, emit);
        Read(c);
      });
}

void TcpListener::ReportError(const std::error_code& ec) {
  if (!onError_) return;
  VarnelError e = SocketErrorOf(ec);
  onError_(e.Number(), e.what());
}

void TcpListener::Drop(const std::shared_ptr<Connection>& c) {
  std::error_code ec;
  c->socket.close(ec);
  connections_.remove(c);
}

}  // namespace varnel
