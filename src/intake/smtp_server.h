// The SMTP listener: an Asio TCP acceptor with numbered connections 1..9 (the lowest free
// number), each fed line by line to the dialogue of smtp_dialogue.h.
#pragma once
#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <memory>
#include <string>

#include "service/varnel.h"

namespace varnel {

class Table;

// A connection that sends nothing for this long is closed, so silent clients cannot hold
// every number.
constexpr int kSmtpIdleSeconds = 300;
// Replies not yet taken by the client beyond which its input is no longer read.
constexpr std::size_t kMaxPendingReplies = 256 * 1024;

class SmtpServer {
 public:
  SmtpServer(Varnel& ctx, const std::string& address, int port);
  ~SmtpServer();
  SmtpServer(const SmtpServer&) = delete;
  SmtpServer& operator=(const SmtpServer&) = delete;

  std::string LocalAddress() const;
  int LocalPort() const;
  std::size_t Connections() const;
  // Closes the connections that have been silent for kSmtpIdleSeconds (by the clock's tick
  // count); a timer calls it every few seconds.
  void CloseIdleConnections();
  // Stops listening and ends every connection.
  void Close();

 private:
  class Connection;
  void Accept();
  void Refuse(asio::ip::tcp::socket& socket);
  void ScheduleIdleCheck();

  Varnel& ctx_;
  asio::ip::tcp::acceptor acceptor_;
  asio::steady_timer idleTimer_;
  std::array<std::shared_ptr<Connection>, kSmtpConnections> slots_;
  std::shared_ptr<bool> alive_;
};

// Opens the listener from the Event_SMTP row and loads the settings of its handlers; returns
// the started status text.
std::string StartSmtpServer(Varnel& ctx, Table& settings);
void StopSmtpServer(Varnel& ctx);

}  // namespace varnel
