#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utmpx.h>

#include <cstring>
#include <fstream>
#include <gmime/gmime.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

#include "support/test_support.h"
#include "transports/exec_prog.h"
#include "transports/gsm_charset.h"
#include "transports/mail_smtp.h"
#include "transports/modem.h"
#include "transports/modem_fixture.h"
#include "transports/net_send.h"
#include "transports/phone_mo.h"

namespace varnel {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using testing::ModemTest;

const std::string kHelloPdu = "010005916407F000000AE8329BFD4697D9EC37";

// The dialogue of every protocol, its failures at a step, a missing or vanishing device and
// no retries run against the pty terminal end to end; these are the edges left over.
class PhoneMO : public ModemTest {
 protected:
  void AddOperator(const std::map<std::string, std::string>& overrides = {}) {
    std::map<std::string, std::string> cols = {
        {"Name", "Alpha"},          {"Protocol", "ETSI 07.05-PDU"}, {"TerminalNumber", "+4670000"},
        {"ModemInitString", "ATZ"}, {"ModemSpeed", "9600"},         {"ModemSettings", "n,8,1"},
        {"MaxChar", "160"},         {"CharSet", "GSM 3.38 Default"}};
    for (const auto& [k, v] : overrides) cols[k] = v;
    AddRow("Settings_Oper_Phone_MO", cols);
  }
  void Send(const std::string& phone, const std::string& message,
            const std::string& oper = "Alpha") {
    SendToPhoneMO(ctx, oper, phone, "Ops", message, status, text);
  }
  std::string Format(const std::string& protocol, const std::string& charSet, int maxChar,
                     const std::string& prefix, const std::string& message) {
    OperSettingsMO op{
        protocol,        "",    "", "", "", static_cast<std::int16_t>(maxChar), charSet,
        !prefix.empty(), prefix};
    std::string coded;
    FormatMessageMO(ctx, op, "1", message, coded);
    return coded;
  }
  std::int16_t status = 0;
  std::string text = "preset";
};

TEST_F(PhoneMO, ServiceCentreFieldTextPhonePlusRuleAndTetraCut) {
  EXPECT_EQ(SmscField("+4670000"), "0591640700F0");
  EXPECT_EQ(SmscField("46705008999"), "07916407058099F9");

  AddOperator({{"Name", "Text"}, {"Protocol", "ETSI 07.05-TEXT"}});
  Send("+4670123", "Alarm", "Text");  // already international: sent unchanged
  EXPECT_THAT(term->commands, Contains("AT+CMGS=\"+4670123\""));

  AddOperator({{"Name", "Tetra"},
               {"Protocol", "TETRA SDS4-TEXT"},
               {"CharSet", "TETRA 8859-1"},
               {"MaxChar", "300"}});
  Send("4670123", std::string(200, 'x'), "Tetra");
  EXPECT_EQ(term->commands.back(), std::string(140, 'x'));
}

TEST_F(PhoneMO, RefusedMessageIsSentAgainWithoutNewCommandThenFailsWithPortClosed) {
  AddOperator();
  term->bodyErrors = 2;
  Send("46700", "hellohello");
  // The dialogue up to the send command is seen end to end.
  EXPECT_THAT(std::vector(term->commands.end() - 3, term->commands.end()),
              ElementsAre("AT+CMGS=19", kHelloPdu, kHelloPdu));
  EXPECT_EQ(status, kSendFailed);
  EXPECT_EQ(text, "MO-SMS[SS=17]: Error when sending message to MS.");
  EXPECT_FALSE(term->IsOpen() || term->Dtr());
}

TEST_F(PhoneMO, UnknownProtocolKeepsTheStatusAndUnknownOperatorLeavesThePortAlone) {
  AddOperator({{"Protocol", "ETSI 07.05-PDU "}});
  Send("46700", "hello");  // initialises the terminal and sends nothing
  EXPECT_EQ(std::tuple(status, text), std::tuple(0, "preset"));
  EXPECT_THAT(term->commands, ElementsAre("ATZ"));
  EXPECT_FALSE(term->IsOpen());
  Send("46700", "hello", "alpha");  // names match exactly
  EXPECT_EQ(text, "OPERATOR: alpha not found in database.");
  EXPECT_EQ(term->opens, 1);
}

TEST_F(PhoneMO, FormattingFollowsTheCharacterSetForLineEndsCutsAndThePrefix) {
  const std::string text = "ETSI 07.05-TEXT", gsm = "GSM 3.38 Default";
  EXPECT_EQ(Format(text, gsm, 160, "", "a\r\nb"), "a\nb");
  EXPECT_EQ(Format("TETRA SDS4-TEXT", "TETRA PCCP437", 160, "", "a\r\nb"), "ab");
  EXPECT_EQ(Format(text, "GSM 3.38 Other", 160, "", "a"), "");
  EXPECT_EQ(Format("Other", gsm, 160, "", "a"), "");
  // MaxChar cuts the text before conversion and, for Extended, the converted septets again.
  EXPECT_EQ(Format(text, "GSM 3.38 Extended", 4, "", "[x]"), "\x1B<x\x1B");
  // The prefix is added after conversion.
  EXPECT_EQ(Format(text, gsm, 160, "Ä:", "Ä_b"),
            "Ä:\x5B\x11"
            "b");
  // UCS-2 is cut to 70 characters, prefix included, whatever MaxChar says.
  std::string pdu =
      Format("ETSI 07.05-PDU", "GSM 3.38 UniCode", 160, "ALARM: ", std::string(100, 'x'));
  // DCS 08, UDL 140 octets, "ALARM: " first.
  EXPECT_EQ(std::tuple(pdu.substr(12, 4), pdu.substr(16, 28), pdu.size()),
            std::tuple("088C", "0041004C00410052004D003A0020", 16u + 280u));
}

const std::string kT = "2026-06-26 10:15:00";

using ModemPrimitives = ModemTest;

TEST_F(ModemPrimitives, SignalStrengthIsTheNumberBeforeTheCommaOfTheCsqReply) {
  ASSERT_TRUE(OpenModemPort(ctx, "9600", "n,8,1", 1));
  // No ":", no "," after it, nothing before the ",", and a time-out give "--".
  // clang-format off
  for (auto [reply, signal] : std::vector<std::pair<std::string, std::string>>{
           {"+CSQ: 5,99", "5"}, {"+CSQ:   17,99", "17"}, {"+CSQ 17 99", "--"},
           {"+CSQ: 17", "--"}, {"+CSQ: ,99", "--"}, {"", "--"}}) {  // clang-format on
    term->replyTo["AT+CSQ"] = reply.empty() ? "" : "\r\n" + reply + "\r\n\r\nOK\r\n";
    bool ok = false;
    std::string got = "x";
    SendATtoModem(ctx, "AT+CSQ");
    WaitForResponseSS(ctx, "OK\r", 1, ok, got);
    EXPECT_EQ(got, signal) << reply;
  }
}

// Once a session has taken the line, every way out of it, a run-time error included, closes
// the port and drops DTR; before that the port is left as it is.
TEST_F(ModemPrimitives, ASessionReleasesTheLineOnEveryWayOutOnceItTookIt) {
  struct Case {
    bool takesLine, fails;
    bool done, openAfter;
  } cases[] = {{true, false, true, false},
               {true, true, false, false},
               {false, true, false, true},
               {false, false, true, true}};
  for (const Case& c : cases) {
    ASSERT_TRUE(OpenModemPort(ctx, "9600", "n,8,1", 1));
    const bool done = RunModemSession(ctx, "Session", [&](bool& started) {
      started = c.takesLine;
      if (c.fails) throw VarnelError(serr::kPortNotOpen, "The device is not open");
    });
    EXPECT_EQ(done, c.done) << c.takesLine << c.fails;
    EXPECT_EQ(term->IsOpen(), c.openAfter) << c.takesLine << c.fails;
    EXPECT_EQ(term->Dtr(), c.openAfter) << c.takesLine << c.fails;
  }
}

// The trace lines of a session's steps are followed end to end; these are the failures.
TEST_F(ModemPrimitives, FailingPrimitivesTraceErrorsAndReportTheirModule) {
  ctx.DebugMode = "Modem Communication";
  EXPECT_EQ(TranslateControlCodes(std::string("\0\x1F ~\x7Fä", 7)), "<NUL><US> ~\x7Fä");
  PortSettings(ctx, "9600", "x,8,1", 1);
  term->openFails = true;
  bool opened = true;
  PortOpen(ctx, opened);
  EXPECT_FALSE(opened);
  SendATtoModem(ctx, "AT");  // the port is not open
  EXPECT_THAT(
      ReadLines(File("Debug/Modem_Communication.txt")),
      ElementsAre(kT + "    PortSettings: 9600,x,8,1 --> Error.", kT + "    Open Port --> Error.",
                  "", kT + "    Sending:  AT<CR> --> Error."));
  EXPECT_THAT(Entries(evt::kRuntimeError),
              ElementsAre("[380] Invalid property value (Module: PortSettings)",
                          "[8002] Invalid port number (Module: PortOpen)",
                          "[8012] The device is not open (Module: SendATtoModem)"));
}

// Which GSM characters texts become, and the PDUs of both codings, are checked against an
// independent codec end to end; these are the inputs that check does not produce.
TEST(GsmCoding, EdgesTheIndependentCodecDoesNotReach) {
  // Bytes that are not UTF-8 count as Windows-1252: 0xC4 is Ä, GSM 91.
  EXPECT_EQ(GSM338Default7Bit("\xC4"), "\x5B");
  // A leading "+" is the number's type, not a digit.
  EXPECT_EQ(CodeMessageToEtsiPduMode("a", "+4670123"), CodeMessageToEtsiPduMode("a", "4670123"));
  // Outside the BMP: a surrogate pair.
  EXPECT_EQ(CodeMessageToUniCodePduMode("😀", "1").substr(14), "04D83DDE00");
  // Received text: ESC pairs outside the outgoing table, and the characters only read.
  EXPECT_EQ(IA5defIncom("\x1B\x65\x1B\x0A\x60\x1B\x41"), "€\f¨\x1B\x41");
}

std::string Compose(const MailMessage& m) {
  return ComposeMail(m, {2026, 6, 26, 12, 0, 0, 5}, "<x@y>");
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

// An RFC 2047 header text as a reader sees it.
std::string Decoded(const std::string& header) {
  g_autofree char* text = g_mime_utils_header_decode_text(nullptr, header.c_str());
  return text;
}

std::string Body(const std::string& mail) { return mail.substr(mail.find("\r\n\r\n") + 4); }

TEST(ComposeMail, NoTextCanBreakTheHeaderAndTheBodyIsQuotedPrintableInTheMailsCharset) {
  // clang-format off
  MailMessage m{"a@b", "c@d", "Ops \"night\" desk", "Störung\r\nBcc: victim@example.org", "",
                "utf-8\r\nX-Evil: 1", "x"};  // clang-format on
  std::string mail = Compose(m);
  EXPECT_EQ(mail.find("\r\nBcc:"), std::string::npos);
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_EQ(Header(mail, "To"), "\"Ops \\\"night\\\" desk\" <c@d>");
  // Texts that are not plain ASCII go as RFC 2047 words, folded, and read back as they were.
  EXPECT_EQ(Decoded(Header(mail, "Subject")), "Störung  Bcc: victim@example.org");
  m.recipientName = "Zoë";
  m.subject = "ASCII with CR\rand LF\nonly";
  mail = Compose(m);
  EXPECT_EQ(Header(mail, "To"), "=?UTF-8?b?Wm/Dqw==?= <c@d>");
  EXPECT_EQ(Header(mail, "Subject"), "ASCII with CR and LF only");
  m.subject.clear();
  for (int i = 0; i < 60; ++i) m.subject += "äö";
  EXPECT_EQ(Decoded(Header(Compose(m), "Subject")), m.subject);

  m = {
      "a@b", "c@d", "", "s", "", "", "dot\r\n.\r\nnul:" + std::string(1, '\0') + " eq:= tail \r\n"};
  m.body += std::string(100, 'a') + "\nlone LF\rlone CR";
  EXPECT_EQ(Body(Compose(m)), "dot\r\n.\r\nnul:=00 eq:=3D tail=20\r\n" + std::string(75, 'a') +
                                  "=\r\n" + std::string(25, 'a') + "\r\nlone LF\r\nlone CR\r\n");

  m.body = "Tür €5 ✓";
  m.charset = "ISO-8859-1";  // what Latin-1 lacks is transliterated or "?"
  mail = Compose(m);
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=ISO-8859-1");
  EXPECT_EQ(Body(mail), "T=FCr EUR5 ?\r\n");
  m.charset = "no-such-charset";
  mail = Compose(m);
  EXPECT_EQ(Header(mail, "Content-Type"), "text/plain; charset=utf-8");
  EXPECT_EQ(Body(mail), "T=C3=BCr =E2=82=AC5 =E2=9C=93\r\n");
}

using SendMailTest = testing::VarnelTest;

// Port 1 refuses connections (error 7): an address that would add commands to the session is
// refused before any connection is tried (error 3).
TEST_F(SendMailTest, AnAddressThatWouldAddCommandsToTheSessionIsRefused) {
  // clang-format off
  AddRow("Settings_Mail_SMTP", {{"Name", "Closed"}, {"HostAddress", "127.0.0.1"}, {"MailPort", "1"},
      {"SenderAddress", "varnel@example.org"}, {"MaxChar", "100"}, {"TimeOut", "3"}});
  // clang-format on
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
