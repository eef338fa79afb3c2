#include "transports/mail_smtp.h"

#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace varnel {
namespace {

LocalTime Noon() { return {2026, 6, 26, 12, 0, 0, 5}; }

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

// An RFC 2047 header text as a reader sees it.
std::string Decoded(const std::string& header) {
  g_autofree char* text = g_mime_utils_header_decode_text(nullptr, header.c_str());
  return text;
}

std::string Body(const std::string& mail) { return mail.substr(mail.find("\r\n\r\n") + 4); }

TEST(ComposeMail, NoTextCanBreakTheHeader) {
  // clang-format off
  MailMessage m{"a@b", "c@d", "Ops \"night\" desk", "Störung\r\nBcc: victim@example.org", "",
                "utf-8\r\nX-Evil: 1", "x"};
  // clang-format on
  std::string mail = ComposeMail(m, Noon(), "<x@y>");
  EXPECT_EQ(mail.find("\r\nBcc:"), std::string::npos);
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_EQ(Header(mail, "To"), "\"Ops \\\"night\\\" desk\" <c@d>");
  // Texts that are not plain ASCII go as RFC 2047 words, folded, and read back as they were.
  EXPECT_EQ(Decoded(Header(mail, "Subject")), "Störung  Bcc: victim@example.org");
  m.recipientName = "Zoë";
  m.subject = "ASCII with CR\rand LF\nonly";
  mail = ComposeMail(m, Noon(), "<x@y>");
  EXPECT_EQ(Header(mail, "To"), "=?UTF-8?b?Wm/Dqw==?= <c@d>");
  EXPECT_EQ(Header(mail, "Subject"), "ASCII with CR and LF only");
  m.subject.clear();
  for (int i = 0; i < 60; ++i) m.subject += "äö";
  EXPECT_EQ(Decoded(Header(ComposeMail(m, Noon(), "<x@y>"), "Subject")), m.subject);
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

using SendMailTest = testing::VarnelTest;

// Port 1 refuses connections (error 7): an address that would add commands to the session is
// refused before any connection is tried (error 3).
TEST_F(SendMailTest, AnAddressThatWouldAddCommandsToTheSessionIsRefused) {
  AddRow("Settings_Mail_SMTP", {{"Name", "Closed"},
                                {"HostAddress", "127.0.0.1"},
                                {"MailPort", "1"},
                                {"SenderAddress", "varnel@example.org"},
                                {"MaxChar", "100"},
                                {"TimeOut", "3"}});
  std::string message = "x", text;
  std::int16_t status = kNotSent;
  SendMailSMTP(ctx, "Closed", "ops", "ops@example.org", message, status, text);
  EXPECT_EQ(text, "SMTP: Error when sending message. Error: 7");
  SendMailSMTP(ctx, "Closed", "ops", "ops@example.org>\r\nRCPT TO:<x@y", message, status, text);
  EXPECT_EQ(text, "SMTP: Error when sending message. Error: 3");
  EXPECT_EQ(status, kSendFailed);
}

}  // namespace
}  // namespace varnel
