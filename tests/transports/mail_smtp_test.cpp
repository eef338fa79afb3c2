#include "transports/mail_smtp.h"

#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>
#include <map>

#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

LocalTime Noon() {
  LocalTime t;
  ParseTimeText("2026-06-26 12:00:00", t);
  return t;
}

std::string Header(const std::string& text, const std::string& name) {
  const std::string mail = "\r\n" + text;
  std::size_t at = mail.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "<none>";
  at += 4 + name.size();
  std::size_t end = at;
  // Continuation lines belong to the header.
  while ((end = mail.find("\r\n", end)) != std::string::npos && mail[end + 2] == ' ') end += 2;
  return mail.substr(at, end - at);
}

std::string Body(const std::string& mail) { return mail.substr(mail.find("\r\n\r\n") + 4); }

TEST(ComposeMail, NoTextCanBreakTheHeader) {
  MailMessage m{"a@b", "c@d", "Ops \"night\" desk", "Störung\r\nBcc: victim@example.org", "",
                "utf-8\r\nX-Evil: 1", "x"};
  std::string mail = ComposeMail(m, Noon(), "<x@y>");
  EXPECT_EQ(mail.find("\r\nBcc:"), std::string::npos);
  EXPECT_EQ(mail.find("\r\nX-Evil:"), std::string::npos);
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_EQ(Header(mail, "To"), "\"Ops \\\"night\\\" desk\" <c@d>");
  // "Störung  Bcc: victim@example.org" in UTF-8, as RFC 2047 words.
  EXPECT_EQ(Header(mail, "Subject"), "=?UTF-8?B?U3TDtnJ1bmcgIEJjYzogdmljdGltQGV4YW1wbGUub3Jn?=");
  m.recipientName = "Zoë";
  m.subject = "ASCII with CR\rand LF\nonly";
  mail = ComposeMail(m, Noon(), "<x@y>");
  EXPECT_EQ(Header(mail, "To"), "=?UTF-8?B?Wm/Dqw==?= <c@d>");
  EXPECT_EQ(Header(mail, "Subject"), "ASCII with CR and LF only");

  // Long texts become several words of at most 75 characters, none splitting a character.
  m.subject.clear();
  for (int i = 0; i < 60; ++i) m.subject += "äö";
  const std::string folded = Header(ComposeMail(m, Noon(), "<x@y>"), "Subject");
  std::size_t words = 0;
  for (std::size_t pos = 0, end = 0; end < folded.size(); pos = end + 3, ++words) {
    end = std::min(folded.find("\r\n ", pos), folded.size());
    EXPECT_TRUE(end - pos <= 75 && folded.compare(end - 2, 2, "?=") == 0) << folded;
  }
  EXPECT_EQ(words, 6u);  // 240 bytes, 44 per word
}

TEST(ComposeMail, BodyIsQuotedPrintableInTheMailsCharacterSet) {
  std::string text = "dot\r\n.\r\nnul:" + std::string(1, '\0') + " eq:= tail \r\n" +
                     std::string(100, 'a') + "\nlone LF\rlone CR";
  MailMessage m{"a@b", "c@d", "", "s", "", "", text};
  const std::string body = Body(ComposeMail(m, Noon(), "<x@y>"));
  EXPECT_EQ(body, "dot\r\n.\r\nnul:=00 eq:=3D tail=20\r\n" + std::string(75, 'a') + "=\r\n" +
                      std::string(25, 'a') + "\r\nlone LF\r\nlone CR\r\n");

  m.body = "Tür €5 ✓";
  m.charset = "ISO-8859-1";  // what Latin-1 lacks is transliterated or "?"
  std::string mail = ComposeMail(m, Noon(), "<x@y>");
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=ISO-8859-1");
  EXPECT_EQ(Body(mail), "T=FCr EUR5 ?\r\n");
  m.charset = "no-such-charset";
  mail = ComposeMail(m, Noon(), "<x@y>");
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_EQ(Body(mail), "T=C3=BCr =E2=82=AC5 =E2=9C=93\r\n");
}

// An SMTP relay on loopback that keeps the mails it accepts. It answers on the test's
// io_context, so only while the code under test lets pending handlers run.
class SmtpSink {
 public:
  explicit SmtpSink(asio::io_context& io)
      : acceptor_(io, {asio::ip::make_address("127.0.0.1"), 0}) {
    Accept();
  }
  int Port() const { return acceptor_.local_endpoint().port(); }
  std::vector<std::string> mails;  // the data of every mail, dot-unstuffed

 private:
  struct Session : std::enable_shared_from_this<Session> {
    Session(asio::ip::tcp::socket s, SmtpSink& k) : socket(std::move(s)), sink(k) {}
    void Reply(const std::string& text) {
      auto out = std::make_shared<std::string>(text);
      auto then = [self = shared_from_this(), out](auto ec, auto) {
        if (!ec && out->rfind("221", 0) != 0) self->ReadLine();
      };
      asio::async_write(socket, asio::buffer(*out), then);
    }
    void ReadLine() {
      auto then = [self = shared_from_this()](auto ec, std::size_t n) {
        if (ec) return;
        std::string line(static_cast<const char*>(self->in.data().data()), n - 2);
        self->in.consume(n);
        self->Handle(line);
      };
      asio::async_read_until(socket, in, "\r\n", then);
    }
    void Handle(const std::string& line) {
      if (inData && line != ".") {
        data += (line.rfind('.', 0) == 0 ? line.substr(1) : line) + "\r\n";
        return ReadLine();
      }
      if (inData) sink.mails.push_back(data);
      inData = line == "DATA";
      data.clear();
      Reply(inData ? "354 go ahead\r\n" : line == "QUIT" ? "221 bye\r\n" : "250 OK\r\n");
    }
    asio::ip::tcp::socket socket;
    SmtpSink& sink;
    asio::streambuf in;
    bool inData = false;
    std::string data;
  };

  void Accept() {
    acceptor_.async_accept([this](std::error_code ec, asio::ip::tcp::socket s) {
      if (ec) return;
      std::make_shared<Session>(std::move(s), *this)->Reply("220 sink ESMTP\r\n");
      Accept();
    });
  }
  asio::ip::tcp::acceptor acceptor_;
};

class SendMailTest : public testing::VarnelTest {
 protected:
  void AddServer(const std::string& name, const std::string& host,
                 const std::map<std::string, std::string>& more = {}) {
    std::map<std::string, std::string> cols = {
        {"Name", name},          {"HostAddress", host}, {"MailPort", "25"},
        {"SenderAddress", "varnel@example.org"}, {"MailSubject", "Alarm"},
        {"MaxChar", "100"},      {"Retries", "0"},      {"TimeOut", "3"}};
    for (const auto& [k, v] : more) cols[k] = v;
    Database db = Db();
    Table t = db.Open("Settings_Mail_SMTP");
    t.AddNew();
    for (const auto& [k, v] : cols) t.Set(k, v);
    t.Update();
  }
  std::int16_t status = 0;
  std::string text;
};

TEST_F(SendMailTest, AnAddressThatWouldAddCommandsToTheSessionIsRefused) {
  SmtpSink sink(io);
  AddServer("Sink", "127.0.0.1", {{"MailPort", std::to_string(sink.Port())}});
  std::string message = "x";
  SendMailSMTP(ctx, "Sink", "ops", "ops@example.org>\r\nRCPT TO:<x@y", message, status, text);
  EXPECT_EQ(text, "SMTP: Error when sending message. Error: 3");
  EXPECT_TRUE(sink.mails.empty());
}

// The sink answers on the service's own io_context, so the mail only goes through when the
// listeners are served while the session runs.
TEST_F(SendMailTest, AHundredKibOfLineBreaksAndNulsArrivesCutToMaxCharWhileTheLoopIsServed) {
  SmtpSink sink(io);
  AddServer("Sink", "127.0.0.1", {{"MailPort", std::to_string(sink.Port())},
                                  {"MailSubject", kSubjectFromMessage}, {"MaxChar", "100000"}});
  std::string message;
  for (int i = 0; message.size() < 110 * 1024; ++i)
    message += "event " + std::to_string(i) + " down" + std::string(1, '\0') + "\r\n.dot>>";
  std::string expected = message;
  for (std::size_t p; (p = expected.find(">>")) != std::string::npos;)
    expected.replace(p, 2, "\r\n");

  SendMailSMTP(ctx, "Sink", "Ops", "ops@example.org", message, status, text);
  EXPECT_EQ(text, "SMTP: Message sent successfully.");
  EXPECT_EQ(message, expected);
  ASSERT_EQ(sink.mails.size(), 1u);
  MailMessage sent{"", "", "", "", "", "", expected.substr(0, 100000)};
  EXPECT_EQ(Body(sink.mails[0]), Body(ComposeMail(sent, Noon(), "<x@y>")));
  // The first 100 characters, on one line: NUL, CR and LF as blanks.
  EXPECT_EQ(Header(sink.mails[0], "Subject").substr(0, 22), "event 0 down   .dot>>e");
}

}  // namespace
}  // namespace varnel
