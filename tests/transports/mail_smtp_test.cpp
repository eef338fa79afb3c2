#include "transports/mail_smtp.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "service/errors.h"
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
                 const std::string& retries = "0") {
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
    t.Set("TimeOut", "5");
    t.Update();
  }
  std::int16_t status = 0;
  std::string text;
};

TEST_F(SendMailTest, RelaySettingsThatCannotWork) {
  AddServer("Relay1", "mail.example.org", "100");
  std::string message = "a>>b";
  SendMailSMTP(ctx, "Relay2", "ops", "ops@example.org", message, status, text);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "MailServer not found in database.");
  EXPECT_EQ(message, "a>>b");  // untouched: the row was never found
  EXPECT_EQ(ctx.StatusText, "Connecting to Mail Server");

  // A host or an address that cannot stand in the session is refused before connecting.
  ctx.DebugMode = "Debug All";
  AddServer("Bad", "mail host;rm", "100", "2");
  SendMailSMTP(ctx, "Bad", "ops", "ops@example.org", message, status, text);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "SMTP: Error when sending message. Error: 3");
  EXPECT_EQ(message, "a\r\nb");
  EXPECT_EQ(ctx.StatusText, "Sending mail to ops");
  AddServer("Good", "127.0.0.1", "100");
  SendMailSMTP(ctx, "Good", "ops", "ops@example.org>\r\nRCPT TO:<x@y", message, status, text);
  EXPECT_EQ(text, "SMTP: Error when sending message. Error: 3");
  // Three attempts of the first mail, one of the second, in the session log.
  std::size_t refused = 0;
  for (const std::string& l : ReadLines(File("Debug/SendMailSMTP.txt")))
    refused += l.find("Not sent: invalid relay host, port or address") != std::string::npos;
  EXPECT_EQ(refused, 4u);

  AddServer("Negative", "127.0.0.1", "-1");
  SendMailSMTP(ctx, "Negative", "ops", "ops@example.org", message, status, text);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(text, "ERROR: Module SendMailSMTP");
  ASSERT_EQ(Entries(evt::kRuntimeError).size(), 1u);
  EXPECT_EQ(Entries(evt::kRuntimeError)[0],
            "[5] Invalid procedure call or argument (MaxChar) (Module: SendMailSMTP)");
}

}  // namespace
}  // namespace varnel
