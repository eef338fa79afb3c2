#include "transports/mail_smtp.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/files.h"
#include "service/errors.h"
#include "smtp_sink.h"
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

// Quoted-printable back to bytes.
std::string DecodeQp(const std::string& qp) {
  std::string out;
  for (std::size_t i = 0; i < qp.size(); ++i) {
    if (qp[i] != '=') {
      out += qp[i];
    } else if (qp.compare(i + 1, 2, "\r\n") == 0) {
      i += 2;
    } else {
      out += static_cast<char>(std::stoi(qp.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
  }
  return out;
}

TEST(ComposeMail, HeadersOfAPlainMail) {
  MailMessage m{"varnel@example.org", "ops@example.org", "Ops \"night\" desk", "Node down",
                "1", "", "Node down\r\nPort 3"};
  const std::string mail = ComposeMail(m, Noon(), "<id.1@example.org>");
  EXPECT_EQ(mail.substr(0, 6), "Date: ");
  EXPECT_NE(Header(mail, "Date").find("Fri, 26 Jun 2026 12:00:00 "), std::string::npos);
  EXPECT_EQ(Header(mail, "From"), "varnel@example.org");
  EXPECT_EQ(Header(mail, "To"), "\"Ops \\\"night\\\" desk\" <ops@example.org>");
  EXPECT_EQ(Header(mail, "Subject"), "Node down");
  EXPECT_EQ(Header(mail, "Message-ID"), "<id.1@example.org>");
  EXPECT_EQ(Header(mail, "X-Priority"), "1");
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_EQ(Header(mail, "Content-Transfer-Encoding"), "quoted-printable");
  EXPECT_EQ(Body(mail), "Node down\r\nPort 3\r\n");

  m.priority = "";
  EXPECT_EQ(Header(ComposeMail(m, Noon(), "<x@y>"), "X-Priority"), "<none>");
}

TEST(ComposeMail, SubjectsCannotBreakTheHeader) {
  MailMessage m{"a@b", "c@d", "Zoë", "Störung\r\nBcc: victim@example.org", "", "", "x"};
  const std::string mail = ComposeMail(m, Noon(), "<x@y>");
  EXPECT_EQ(mail.find("\r\nBcc:"), std::string::npos);
  // "Störung  Bcc: victim@example.org" in UTF-8, as RFC 2047 words.
  EXPECT_EQ(Header(mail, "Subject"), "=?UTF-8?B?U3TDtnJ1bmcgIEJjYzogdmljdGltQGV4YW1wbGUub3Jn?=");
  EXPECT_EQ(Header(mail, "To"), "=?UTF-8?B?Wm/Dqw==?= <c@d>");

  m.subject = "ASCII with CR\rand LF\nonly";
  EXPECT_EQ(Header(ComposeMail(m, Noon(), "<x@y>"), "Subject"), "ASCII with CR and LF only");

  // Long texts become several words of at most 75 characters, none splitting a character.
  std::string longSubject;
  for (int i = 0; i < 60; ++i) longSubject += "äö";
  m.subject = longSubject;
  const std::string folded = Header(ComposeMail(m, Noon(), "<x@y>"), "Subject");
  std::size_t words = 0;
  for (std::size_t pos = 0, end; pos < folded.size(); pos = end + 3, ++words) {
    end = folded.find("\r\n ", pos);
    if (end == std::string::npos) end = folded.size();
    EXPECT_LE(end - pos, 75u);
    EXPECT_EQ(folded.substr(end - 2, 2), "?=");
  }
  EXPECT_EQ(words, 6u);  // 240 bytes, 44 per word
}

TEST(ComposeMail, BodyIsQuotedPrintable) {
  std::string text = "dot\r\n.\r\nnul:" + std::string(1, '\0') + " eq:= tail \r\n" +
                     std::string(100, 'a') + "\nlone LF\rlone CR";
  MailMessage m{"a@b", "c@d", "", "s", "", "", text};
  const std::string body = Body(ComposeMail(m, Noon(), "<x@y>"));
  EXPECT_EQ(body, "dot\r\n.\r\nnul:=00 eq:=3D tail=20\r\n" + std::string(75, 'a') + "=\r\n" +
                      std::string(25, 'a') + "\r\nlone LF\r\nlone CR\r\n");
  for (std::size_t pos = 0, end; (end = body.find("\r\n", pos)) != std::string::npos;
       pos = end + 2)
    EXPECT_LE(end - pos, 76u);
}

TEST(ComposeMail, CharacterSets) {
  MailMessage m{"a@b", "c@d", "", "s", "", "ISO-8859-1", "Tür €5 ✓"};
  std::string mail = ComposeMail(m, Noon(), "<x@y>");
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=ISO-8859-1");
  EXPECT_EQ(Body(mail), "T=FCr EUR5 ?\r\n");  // what Latin-1 lacks is transliterated or "?"

  m.charset = "no-such-charset";
  mail = ComposeMail(m, Noon(), "<x@y>");
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_EQ(Body(mail), "T=C3=BCr =E2=82=AC5 =E2=9C=93\r\n");
  m.charset = "utf-8\r\nX-Evil: 1";
  EXPECT_EQ(Header(ComposeMail(m, Noon(), "<x@y>"), "Content-Type"), "text/plain; charset=utf-8");
}

class SendMailTest : public testing::VarnelTest {
 protected:
  void AddServer(const std::string& name, const std::string& host, const std::string& maxChar,
                 const std::string& retries = "0", const std::map<std::string, std::string>& more = {}) {
    Database db = Db();
    Table t = db.Open("Settings_Mail_SMTP");
    t.AddNew();
    t.Set("Name", name);
    t.Set("HostAddress", host);
    t.Set("MailPort", "25");
    t.Set("SenderAddress", "varnel@example.org");
    t.Set("MailSubject", "Alarm");
    t.Set("MaxChar", maxChar);
    t.Set("Retries", retries);
    t.Set("TimeOut", "3");
    for (const auto& [k, v] : more) t.Set(k, v);
    t.Update();
  }
  std::int16_t status = 0;
  std::string text;
};

TEST_F(SendMailTest, HostsAndAddressesThatCannotStandInTheSessionAreRefused) {
  ctx.DebugMode = "Debug All";
  AddServer("Bad", "mail host;rm", "100", "2");
  std::string message = "a>>b";
  SendMailSMTP(ctx, "Bad", "ops", "ops@example.org", message, status, text);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "SMTP: Error when sending message. Error: 3");
  EXPECT_EQ(message, "a\r\nb");
  AddServer("Good", "127.0.0.1", "100");
  SendMailSMTP(ctx, "Good", "ops", "ops@example.org>\r\nRCPT TO:<x@y", message, status, text);
  EXPECT_EQ(text, "SMTP: Error when sending message. Error: 3");
  // Three attempts of the first mail (Retries 2), one of the second, none connected.
  std::size_t refused = 0;
  for (const std::string& l : ReadLines(File("Debug/SendMailSMTP.txt"))) {
    refused += l.find("Not sent: invalid relay host, port or address") != std::string::npos;
    EXPECT_EQ(l.find("Connecting"), std::string::npos);
  }
  EXPECT_EQ(refused, 4u);
}

// The sink answers on the service's own io_context, so these mails only go through when the
// listeners are served while the session runs.
TEST_F(SendMailTest, AHundredKibOfLineBreaksAndNulsArrivesWhole) {
  testing::SmtpSink sink(io);
  AddServer("Sink", "127.0.0.1", "200000", "0",
            {{"MailPort", std::to_string(sink.Port())}, {"Importance", "Low"},
             {"MailSubject", kSubjectFromMessage}});
  std::string message;
  for (int i = 0; message.size() < 100 * 1024; ++i)
    message += "event " + std::to_string(i) + " down" + std::string(1, '\0') + "\r\n.dot>>";
  std::string expected = message;
  for (std::size_t p; (p = expected.find(">>")) != std::string::npos;) expected.replace(p, 2, "\r\n");

  SendMailSMTP(ctx, "Sink", "Ops", "ops@example.org", message, status, text);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(text, "SMTP: Message sent successfully.");
  EXPECT_EQ(message, expected);
  ASSERT_EQ(sink.mails.size(), 1u);
  const std::string& mail = sink.mails[0];
  EXPECT_EQ(DecodeQp(Body(mail)), expected + "\r\n");
  EXPECT_EQ(Header(mail, "X-Priority"), "4");
  // The first 100 characters, on one line: NUL, CR and LF as blanks.
  EXPECT_EQ(Header(mail, "Subject").substr(0, 22), "event 0 down   .dot>>e");
  EXPECT_EQ(std::find(sink.commands.begin(), sink.commands.end(), "RCPT TO:<ops@example.org>") !=
                sink.commands.end(), true);
}

TEST_F(SendMailTest, BodyCutToMaxCharAndTheSecondRelay) {
  // The sink listens on 127.0.0.1 only; the primary relay on 127.0.0.2 refuses.
  testing::SmtpSink sink(io);
  AddServer("Primary", "127.0.0.2", "12", "0",
            {{"MailPort", std::to_string(sink.Port())}, {"Importance", "Urgent"}});
  AddServer("Secondary", "127.0.0.1", "-5");  // only its host is used
  std::string message = "Node down>>Port 3 down>>more";
  ctx.DebugMode = "Debug All";
  SendMailSMTP(ctx, "Primary;Secondary", "Ops", "ops@example.org", message, status, text);
  EXPECT_EQ(status, 1);
  ASSERT_EQ(sink.mails.size(), 1u);
  EXPECT_EQ(DecodeQp(Body(sink.mails[0])), "Node down\r\nP\r\n");
  EXPECT_EQ(Header(sink.mails[0], "X-Priority"), "<none>");
  EXPECT_EQ(Header(sink.mails[0], "Subject"), "Alarm");

  // MaxChar 0: the mail goes out with an empty body.
  AddServer("Empty", "127.0.0.1", "0", "0", {{"MailPort", std::to_string(sink.Port())}});
  SendMailSMTP(ctx, "Empty", "Ops", "ops@example.org", message, status, text);
  EXPECT_EQ(status, 1);
  ASSERT_EQ(sink.mails.size(), 2u);
  EXPECT_EQ(Body(sink.mails[1]), "\r\n");
}

}  // namespace
}  // namespace varnel
