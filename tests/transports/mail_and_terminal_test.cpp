#include "transports/mail_smtp.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utmpx.h>

#include <cstring>
#include <fstream>
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "transports/exec_prog.h"
#include "transports/net_send.h"

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

// Messages to users' terminals and the external programs that RunProg receivers start.
using NetSendTest = testing::VarnelTest;

// A pseudo terminal stands for a logged-in user's terminal, listed in a utmp file of the
// test's own.
TEST_F(NetSendTest, TextReachesEveryTerminalOfTheUserOrAResultNumberSaysWhyNot) {
  struct Pty {
    int master = -1, slave = -1;
    ~Pty() { ::close(master), ::close(slave); }
  } pty;
  ASSERT_EQ(::openpty(&pty.master, &pty.slave, nullptr, nullptr, nullptr), 0);
  termios raw{};
  ::tcgetattr(pty.slave, &raw);
  ::cfmakeraw(&raw);  // bytes arrive as written
  ::tcsetattr(pty.slave, TCSANOW, &raw);
  ::fcntl(pty.master, F_SETFL, O_NONBLOCK);
  const std::string tty = ::ttyname(pty.slave), utmp = dir + "/utmp";
  ::chmod(tty.c_str(), 0620);
  std::ofstream(utmp).flush();
  int id = 0;
  auto login = [&](const char* user, const std::string& line, short type = USER_PROCESS) {
    utmpx u{};
    u.ut_type = type;
    u.ut_pid = ::getpid();
    std::strncpy(u.ut_user, user, sizeof u.ut_user);
    std::strncpy(u.ut_line, line.c_str(), sizeof u.ut_line);
    std::strncpy(u.ut_id, std::to_string(++id).c_str(), sizeof u.ut_id);  // ids replace
    ASSERT_EQ(::utmpxname(utmp.c_str()), 0);
    ::setutxent();
    ASSERT_NE(::pututxline(&u), nullptr);
    ::endutxent();
  };
  auto received = [&] {
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = ::read(pty.master, buf, sizeof buf)) > 0;)
      out.append(buf, static_cast<std::size_t>(n));
    return out;
  };
  login("operator", tty.substr(5));  // without "/dev/"
  login("operator", "pts/no-such-terminal");
  login("other", tty.substr(5), DEAD_PROCESS);
  login("sneaky", "../etc/passwd");
  EXPECT_EQ(SendToUserTerminals(utmp, "operator", "Node down\r\nPort\x1b[2J 3\n\x07!"), 0);
  EXPECT_EQ(received(), "Node down\r\nPort^[[2J 3\r\n^G!");

  for (const char* name : {"", "PC-01\\user", "-rf"})
    EXPECT_EQ(SendToUserTerminals(utmp, name, "x"), kNetSendInvalidName) << name;
  for (const char* name : {"nobody-here", "sneaky", "other"})
    EXPECT_EQ(SendToUserTerminals(utmp, name, "x"), kNetSendNoSuchUser) << name;
  EXPECT_EQ(SendToUserTerminals(dir + "/absent-utmp", "operator", "x"), kNetSendNoSuchUser);
  ::chmod(tty.c_str(), 0600);  // mesg n
  EXPECT_EQ(SendToUserTerminals(utmp, "operator", "x"), kNetSendWriteFailed);
  EXPECT_EQ(received(), "");
}

TEST(SplitParameters, BlanksSeparateAndQuotesGroup) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitParameters("\"two words\"\tx\"y z\" \"\""), (V{"two words", "xy z", ""}));
  EXPECT_EQ(SplitParameters(std::string("a\0b", 3)), (V{"a", "b"}));
}

}  // namespace
}  // namespace varnel
