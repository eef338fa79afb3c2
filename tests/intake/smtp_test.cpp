#include <asio/ip/tcp.hpp>
#include <asio/read.hpp>
#include <gtest/gtest.h>

#include "intake/smtp_dialogue.h"
#include "intake/smtp_mail.h"
#include "intake/smtp_mime.h"
#include "intake/smtp_server.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using testing::Texts;

class SmtpMailTest : public testing::VarnelTest {
 protected:
  // One mail through the scan and both processing points of connection 1.
  void Mail(const std::string& from, const std::string& to, const std::string& mail) {
    SmtpConnection& rec = ctx.intake.smtp.connections[1];
    rec = SmtpConnection{};
    rec.From = from;
    rec.To = to;
    rec.Mail = mail;
    ScanSmtpMail(ctx, rec);
    ProcessSmtpMailAtEnd(ctx, 1);
    ProcessSmtpMailAtQuit(ctx, 1);
  }
};

TEST_F(SmtpMailTest, SmsSystemsWriteDirectRequestLines) {
  const std::string cp = "Check Point Mobile Access", body = "SMS Gateway - Body",
                    subject = "SMS Gateway - Subject";
  // system, event filter, recipients, mail; lines after "2026-06-26 10:15:00\tPhoneMO\tTelia\t"
  // clang-format off
  const std::tuple<std::string, bool, std::string, std::string, Texts> cases[] = {
      {cp, false, ";+4670123@sms.example;+4670999@sms.example",
       "Subject: OTP\r\n\r\nDear user\r\nyour mobile access dynamicid: 4711\r\nBye\r\n",
       {"4670123\tops@example.org\tyour mobile access dynamicid: 4711"}},
      {cp, false, ";4670123@sms.example", "\r\nno subject\r\n", {}},
      {"SafeWord", false, ";4670123@sms.example",
       "Subject: token\r\n\r\nHello\r\nPassword: 9876\r\n",
       {"4670123\tops@example.org\tPassword: 9876"}},
      {"SafeWord", false, ";4670123@sms.example", "Subject: token\r\n\r\nno marker\r\n",
       {"4670123\tops@example.org\tno marker"}},
      {body, false, ";+4670111@sms.example; nobody ;+4670222@sms.example",
       "Subject: s\r\n\r\nignored <SMS>Pump\t3\r\nfailed</sms> ignored\r\n",
       {"+4670111\tops@example.org\tPump 3 failed", "+4670222\tops@example.org\tPump 3 failed"}},
      {body, false, ";+4670111@sms.example", "Subject: only a subject\r\n\r\n", {}},
      {subject, false, ";+4670111@sms.example", "Subject: disk\tfull\r\n\r\nx\r\n",
       {"+4670111\tops@example.org\tdisk full"}},
      {subject, true, ";+4670111@sms.example", "Subject: disk full\r\n\r\n", {}},
  };  // clang-format on
  ctx.intake.smtp.settings.PhoneMoOper = "Telia";
  for (const auto& [system, eventFilter, to, mail, lines] : cases) {
    ctx.intake.smtp.settings.SendingSystem = system;
    ctx.intake.smtp.settings.UseEventFilter = eventFilter;
    DeleteFile(File("SmtpMess.log"));
    Mail("ops@example.org", to, mail);
    Texts expected;
    for (const auto& l : lines) expected.push_back("2026-06-26 10:15:00\tPhoneMO\tTelia\t" + l);
    EXPECT_EQ(Lines("SmtpMess.log"), expected) << system << " " << mail;
    EXPECT_EQ(ctx.intake.smtp.connections[1].OK, !lines.empty() || eventFilter) << mail;
  }
}

TEST_F(SmtpMailTest, HcodedSourceComposesTheEventText) {
  SmtpConnection rec;
  rec.From = "bms@site.example";
  rec.To = ";duty@sms.example;other@sms.example";
  rec.Subject = "chiller \"2\"";
  rec.Text = "line one\r\nline\ttwo " + std::string(100, 'x');
  SmtpSettings s;
  const std::tuple<const char*, bool, const char*, std::string> cases[] = {
      {"$F/$T", false, "", "\"bms/duty\" 1 msg"},
      {"[$S]", true, "3 - Minor", "\"[chiller 2]\" 3 msg"},
      {"$B", true, "", "\"line one line two " + std::string(81, 'x') + "\"  msg"},
      {"lit\"eral $X $", false, "", "\"literal $X $\" 1 msg"},
  };
  for (const auto& [source, usePriority, priority, expected] : cases) {
    s.HcodedSource = source;
    s.UseHcodedPriority = usePriority;
    s.HcodedPriority = priority;
    EXPECT_EQ(HcodedEventText(s, rec, "msg"), expected) << source;
  }
}

TEST(SmtpRulesTest, MailsWithoutMimeHeadersKeepTheirText) {
  const std::pair<const char*, const char*> cases[] = {
      {"router1 2 link down\r\n", "router1 2 link down\r\n"},
      {"Subject: s\r\n\r\nline 1\nline 2\rline 3", "line 1\r\nline 2\r\nline 3"},
      {"Subject: s\r\n\r\nV\xE4rme\r\n", "V\xC3\xA4rme\r\n"},  // 8-bit Latin-1 read as such
  };
  for (auto [mail, text] : cases) EXPECT_EQ(DecodeMime(mail).text, text) << mail;
}

TEST_F(SmtpMailTest, ASilentConnectionIsClosedAfterTheIdleTime) {
  ctx.intake.smtp.server = std::make_shared<SmtpServer>(ctx, "127.0.0.1", 0);
  SmtpServer& server = *ctx.intake.smtp.server;
  asio::ip::tcp::socket client(io);
  client.connect(
      {asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(server.LocalPort())});
  ASSERT_TRUE(testing::PumpUntil(io, [&] { return server.Connections() == 1; }));
  clock.AdvanceMs(kSmtpIdleSeconds * 1000 - 1);
  server.CloseIdleConnections();
  EXPECT_EQ(server.Connections(), 1u);
  clock.AdvanceMs(1);
  server.CloseIdleConnections();
  EXPECT_EQ(server.Connections(), 0u);
  // The client reads the greeting, then the end of the connection.
  std::string got;
  bool ended = false;
  asio::async_read(client, asio::dynamic_buffer(got), [&](std::error_code, std::size_t) {
    ended = true;
  });
  EXPECT_TRUE(testing::PumpUntil(io, [&] { return ended; }));
  EXPECT_EQ(got, "220 Varnel SMTP Server ready\r\n");
}

}  // namespace
}  // namespace varnel
