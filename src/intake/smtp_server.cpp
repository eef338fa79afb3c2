#include "intake/smtp_server.h"

#include <asio/write.hpp>
#include <chrono>

#include "intake/smtp_dialogue.h"
#include "platform/database.h"
#include "platform/event_loop.h"
#include "platform/udp_listener.h"
#include "service/listener_status.h"

namespace varnel {

class SmtpServer::Connection : public SmtpPeer, public std::enable_shared_from_this<Connection> {
 public:
  Connection(SmtpServer& server, asio::ip::tcp::socket socket, int n)
      : server_(server), socket_(std::move(socket)), n_(n), lastTick_(server.ctx_.clock.TickMs()) {}

  bool Connected() const override { return open_ && !closing_; }
  void Send(const std::string& text) override {
    outbox_ += text;
    Flush();
  }
  void Disconnect() override {
    closing_ = true;
    if (!writing_) Finish("Connection closed", true);
  }

  bool Open() const { return open_; }
  bool Idle(std::uint64_t now) const { return now - lastTick_ >= kSmtpIdleSeconds * 1000ULL; }

  void Read() {
    socket_.async_read_some(asio::buffer(buffer_),
                            [self = shared_from_this()](const std::error_code& ec, std::size_t n) {
                              self->Received(ec, n);
                            });
  }

  // Closes the socket, frees the number and traces the end (unless the server goes away).
  void Finish(const std::string& description, bool notify) {
    if (!open_) return;
    open_ = false;
    std::error_code ignored;
    socket_.shutdown(asio::socket_base::shutdown_both, ignored);
    socket_.close(ignored);
    auto& slot = server_.slots_[static_cast<std::size_t>(n_ - 1)];
    if (slot.get() == this) slot.reset();
    if (notify) smtpServer_Disconnected(server_.ctx_, n_, description);
  }

 private:
  void Received(const std::error_code& ec, std::size_t n) {
    if (!open_) return;
    if (ec) {
      Finish(ec == asio::error::eof ? "Connection closed by client" : ec.message(), true);
      return;
    }
    lastTick_ = server_.ctx_.clock.TickMs();
    reader_.Feed(buffer_.data(), n, [this](const std::string& line, bool overlong) {
      if (Connected()) smtpServer_DataIn(server_.ctx_, n_, *this, line, overlong);
    });
    if (!Connected()) return;  // what follows QUIT is not read
    if (outbox_.size() + inflight_.size() > kMaxPendingReplies)
      readPaused_ = true;  // resumed once the client has taken its replies
    else
      Read();
  }

  void Flush() {
    if (writing_ || outbox_.empty() || !open_) return;
    writing_ = true;
    inflight_.swap(outbox_);
    asio::async_write(
        socket_, asio::buffer(inflight_),
        [self = shared_from_this()](const std::error_code& ec, std::size_t) { self->Written(ec); });
  }

  void Written(const std::error_code& ec) {
    writing_ = false;
    inflight_.clear();
    if (!open_) return;
    if (ec) {
      Finish(ec.message(), true);
    } else if (!outbox_.empty()) {
      Flush();
    } else if (closing_) {
      Finish("Connection closed", true);
    } else if (readPaused_) {
      readPaused_ = false;
      Read();
    }
  }

  SmtpServer& server_;
  asio::ip::tcp::socket socket_;
  int n_;
  std::uint64_t lastTick_;
  bool open_ = true;
  bool closing_ = false;
  bool writing_ = false;
  bool readPaused_ = false;
  std::string outbox_, inflight_;
  SmtpLineReader reader_;
  std::array<char, 16384> buffer_{};
};

SmtpServer::SmtpServer(Varnel& ctx, const std::string& address, int port)
    : ctx_(ctx), acceptor_(ctx.io), idleTimer_(ctx.io), alive_(std::make_shared<bool>(true)) {
  asio::ip::tcp::endpoint ep(BindAddress(address), static_cast<unsigned short>(port));
  std::error_code ec;
  acceptor_.open(ep.protocol(), ec);
  if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor_.bind(ep, ec);
  if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) ThrowSocketError(ec);
  Accept();
  ScheduleIdleCheck();
}

SmtpServer::~SmtpServer() {
  *alive_ = false;
  std::error_code ignored;
  acceptor_.close(ignored);
  idleTimer_.cancel();
  for (auto c : slots_)
    if (c) c->Finish({}, false);
}

std::string SmtpServer::LocalAddress() const {
  std::error_code ec;
  return acceptor_.local_endpoint(ec).address().to_string();
}

int SmtpServer::LocalPort() const {
  std::error_code ec;
  return acceptor_.local_endpoint(ec).port();
}

std::size_t SmtpServer::Connections() const {
  std::size_t n = 0;
  for (const auto& c : slots_) n += c ? 1 : 0;
  return n;
}

void SmtpServer::Close() {
  std::error_code ignored;
  acceptor_.close(ignored);
  idleTimer_.cancel();
  for (auto c : slots_)  // a copy: Finish empties the slot
    if (c) c->Finish("Listener closed", true);
}

void SmtpServer::CloseIdleConnections() {
  std::uint64_t now = ctx_.clock.TickMs();
  for (auto c : slots_)
    if (c && c->Idle(now))
      c->Finish("Connection idle for " + std::to_string(kSmtpIdleSeconds) + " seconds", true);
}

void SmtpServer::ScheduleIdleCheck() {
  idleTimer_.expires_after(std::chrono::seconds(5));
  idleTimer_.async_wait([this, alive = alive_](const std::error_code& ec) {
    if (ec || !*alive) return;
    CloseIdleConnections();
    ScheduleIdleCheck();
  });
}

void SmtpServer::Accept() {
  acceptor_.async_accept(
      [this, alive = alive_](const std::error_code& ec, asio::ip::tcp::socket socket) {
        if (!*alive || ec == asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (ec) {
          VarnelError e = SocketErrorOf(ec);
          smtpServer_Error(ctx_, e.Number(), e.what());
          Accept();
          return;
        }
        std::size_t free = 0;
        while (free < slots_.size() && slots_[free]) ++free;
        if (free == slots_.size()) {
          Refuse(socket);
        } else {
          std::error_code e;
          std::string host = socket.remote_endpoint(e).address().to_string();
          int n = static_cast<int>(free) + 1;
          auto c = std::make_shared<Connection>(*this, std::move(socket), n);
          slots_[free] = c;
          smtpServer_Connected(ctx_, n, *c, host);
          if (c->Open()) c->Read();
        }
        Accept();
      });
}

// Every number is taken: this client alone is turned away; the nine stay served.
void SmtpServer::Refuse(asio::ip::tcp::socket& socket) {
  TraceSmtp(ctx_, kSmtpConnections + 1,
            "Refused: " + std::to_string(kSmtpConnections) + " connections are open");
  std::error_code ignored;
  socket.non_blocking(true, ignored);
  std::string reply = std::string(kSmtpBusy) + "\r\n";
  socket.write_some(asio::buffer(reply), ignored);
  socket.shutdown(asio::socket_base::shutdown_both, ignored);
  socket.close(ignored);
}

std::string StartSmtpServer(Varnel& ctx, Table& settings) {
  // The handlers' settings come first, so that no client is served without its access lists.
  SmtpSettings& s = ctx.intake.smtp.settings;
  s.SendingSystem = settings.Text("SendingSystem");
  s.PhoneMoOper = settings.Text("PhoneMoOper");
  s.UseEventFilter = settings.Flag("UseEventFilter");
  s.UseHcodedSource = settings.Flag("UseHcodedSource");
  s.HcodedSource = settings.Text("HcodedSource");
  s.UseHcodedPriority = settings.Flag("UseHcodedPriority");
  s.HcodedPriority = settings.Text("HcodedPriority");
  s.AccessListIp = settings.Text("AccessListIp");
  s.AccessListFrom = settings.Text("AccessListFrom");
  std::string address = ctx.SmtpMultiHomed ? settings.Text("IpAddress") : "";
  auto server = std::make_shared<SmtpServer>(ctx, address, settings.Int32("TcpPort"));
  ctx.intake.smtp.server = server;
  Delay(ctx.io, kListenerStartPauseMs);
  return StartedStatus(
      ctx, kSmtpServerStarted,
      {"IP=" + server->LocalAddress(), "Port=" + std::to_string(server->LocalPort())});
}

void StopSmtpServer(Varnel& ctx) {
  if (!ctx.intake.smtp.server) return;
  ctx.intake.smtp.server->Close();
  ctx.intake.smtp.server.reset();
}

}  // namespace varnel
