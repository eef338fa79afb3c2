// A small SMTP server on loopback for tests: one mail per session, kept with the commands
// that brought it. It runs on the test's io_context, so it answers only while the code under
// test lets pending handlers run.
#pragma once
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>
#include <memory>
#include <string>
#include <vector>

namespace varnel::testing {

class SmtpSink {
 public:
  explicit SmtpSink(asio::io_context& io, const std::string& address = "127.0.0.1")
      : acceptor_(io, {asio::ip::make_address(address), 0}) {
    Accept();
  }
  int Port() const { return acceptor_.local_endpoint().port(); }

  int sessions = 0;
  std::vector<std::string> commands;  // every command line, without CR LF
  std::vector<std::string> mails;     // the DATA of every mail, dot-unstuffed

 private:
  struct Session : std::enable_shared_from_this<Session> {
    Session(asio::ip::tcp::socket s, SmtpSink& sink) : socket(std::move(s)), sink(sink) {}

    void Reply(const std::string& text, bool thenRead = true) {
      auto self = shared_from_this();
      auto out = std::make_shared<std::string>(text);
      asio::async_write(socket, asio::buffer(*out), [self, out, thenRead](auto ec, std::size_t) {
        if (!ec && thenRead) self->ReadLine();
      });
    }
    void ReadLine() {
      auto self = shared_from_this();
      asio::async_read_until(socket, buffer, "\r\n", [self](auto ec, std::size_t n) {
        if (ec) return;
        std::string line(asio::buffers_begin(self->buffer.data()),
                         asio::buffers_begin(self->buffer.data()) + static_cast<long>(n));
        self->buffer.consume(n);
        self->Handle(line.substr(0, line.size() - 2));
      });
    }
    void Handle(const std::string& line) {
      if (inData) {
        if (line == ".") {
          inData = false;
          sink.mails.push_back(data);
          Reply("250 2.0.0 queued\r\n");
        } else {
          data += (line.rfind('.', 0) == 0 ? line.substr(1) : line) + "\r\n";
          ReadLine();
        }
        return;
      }
      sink.commands.push_back(line);
      std::string verb = line.substr(0, 4);
      for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (verb == "EHLO") {
        Reply("250-sink\r\n250 8BITMIME\r\n");
      } else if (verb == "DATA") {
        inData = true;
        data.clear();
        Reply("354 go ahead\r\n");
      } else if (verb == "QUIT") {
        Reply("221 bye\r\n", false);
      } else {
        Reply("250 OK\r\n");
      }
    }

    asio::ip::tcp::socket socket;
    SmtpSink& sink;
    asio::streambuf buffer;
    bool inData = false;
    std::string data;
  };

  void Accept() {
    acceptor_.async_accept([this](std::error_code ec, asio::ip::tcp::socket s) {
      if (ec) return;
      ++sessions;
      std::make_shared<Session>(std::move(s), *this)->Reply("220 sink ESMTP\r\n");
      Accept();
    });
  }

  asio::ip::tcp::acceptor acceptor_;
};

}  // namespace varnel::testing
