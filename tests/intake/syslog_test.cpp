#include "intake/syslog.h"

#include <gtest/gtest.h>

#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <asio/write.hpp>

#include "platform/event_loop.h"
#include "platform/tcp_listener.h"
#include "platform/udp_listener.h"
#include "service/service_open.h"
#include "support/test_support.h"

namespace varnel {
namespace {

SyslogSettings Parsing(bool parse3164, bool removeDat, int maxLen = 250) {
  SyslogSettings s;
  s.ModParse3164 = parse3164;
  s.ModRemoveDAT = removeDat;
  s.ModMaxLen = maxLen;
  s.ModDefFacility = "1 - User";
  s.ModDefPriority = "5 - Notice";
  return s;
}

TEST(SyslogParse, Rfc3164HeaderWithAndWithoutRemoval) {
  const std::string raw = "<34>Oct 11 22:14:15 mymachine su: 'su root' failed";
  auto kept = ParseSyslogMessage(Parsing(true, false), "t", "10.0.0.1", raw);
  EXPECT_EQ(kept.facility, "4 - Auth");
  EXPECT_EQ(kept.severity, "2 - Critical");
  EXPECT_EQ(SyslogSeverityToPriority(kept.severity), "2 - Major");
  EXPECT_EQ(kept.hostName, "mymachine");
  EXPECT_EQ(kept.text, "Oct 11 22:14:15 su: 'su root' failed");
  auto removed = ParseSyslogMessage(Parsing(true, true), "t", "10.0.0.1", raw);
  EXPECT_EQ(removed.text, "su: 'su root' failed");
  auto unparsed = ParseSyslogMessage(Parsing(false, true), "t", "10.0.0.1", raw);
  EXPECT_EQ(unparsed.hostName, "");
  EXPECT_EQ(unparsed.text, "Oct 11 22:14:15 mymachine su: 'su root' failed");
  // A single-digit day is written with two blanks and parses the same way.
  auto day = ParseSyslogMessage(Parsing(true, true), "t", "s", "<13>Oct  1 09:00:00 host1 up");
  EXPECT_EQ(day.hostName, "host1");
  EXPECT_EQ(day.text, "up");
  // A header without an end of the host name.
  auto nohost = ParseSyslogMessage(Parsing(true, true), "t", "s", "<13>Oct  1 09:00:00 host1");
  EXPECT_EQ(nohost.hostName, "");
  EXPECT_EQ(nohost.text, "host1");
  auto nohostKept = ParseSyslogMessage(Parsing(true, false), "t", "s", "<13>Oct  1 09:00:00 host1");
  EXPECT_EQ(nohostKept.text, "Oct  1 09:00:00 host1");
}

TEST(SyslogParse, PriEdgeCases) {
  struct Case {
    const char* raw;
    const char* facility;
    const char* severity;
    const char* text;
  } cases[] = {
      {"<192>text", "1 - User", "5 - Notice", "<192>text"},
      {"<1234>text", "1 - User", "5 - Notice", "<1234>text"},
      {"<-3>text", "1 - User", "5 - Notice", "<-3>text"},
      {"no pri at all", "1 - User", "5 - Notice", "no pri at all"},
      {"<>empty pri", "0 - Kernel", "0 - Emergency", "empty pri"},
      {"<abc>letters", "0 - Kernel", "0 - Emergency", "letters"},
      {"<191>  last  ", "23 - Local7", "7 - Debug", "last"},
      {"<0>", "0 - Kernel", "0 - Emergency", ""},
      {"", "1 - User", "5 - Notice", ""},
  };
  for (const auto& c : cases) {
    auto w = ParseSyslogMessage(Parsing(false, false), "t", "s", c.raw);
    EXPECT_EQ(w.facility, c.facility) << c.raw;
    EXPECT_EQ(w.severity, c.severity) << c.raw;
    EXPECT_EQ(w.text, c.text) << c.raw;
  }
  EXPECT_EQ(SyslogSeverityToPriority("0 - Emergency"), "1 - Critical");
  EXPECT_EQ(SyslogSeverityToPriority("1 - Alert"), "1 - Critical");
  EXPECT_EQ(SyslogSeverityToPriority("3 - Error"), "3 - Minor");
  EXPECT_EQ(SyslogSeverityToPriority("4 - Warning"), "4 - Warning");
  EXPECT_EQ(SyslogSeverityToPriority("6 - Informational"), "5 - Normal");
}

TEST(SyslogParse, LengthLimitAndDevicePrefix) {
  EXPECT_EQ(ParseSyslogMessage(Parsing(false, false, 0), "t", "s", "<13>abc").text, "");
  EXPECT_EQ(ParseSyslogMessage(Parsing(false, false, 4), "t", "s", "<13>  abcdef").text, "ab");
  EXPECT_EQ(ParseSyslogMessage(Parsing(false, false, -1), "t", "s", "<13>abc").text, "");
  const std::string cisco = "<190>123: %SYS-5-CONFIG_I: Configured from console";
  EXPECT_EQ(ParseSyslogMessage(Parsing(false, true), "t", "s", cisco).text,
            "Configured from console");
  EXPECT_EQ(ParseSyslogMessage(Parsing(false, false), "t", "s", cisco).text,
            "123: %SYS-5-CONFIG_I: Configured from console");
  // Only Local6 and Local7 devices carry the prefix.
  EXPECT_EQ(ParseSyslogMessage(Parsing(false, true), "t", "s", "<13>1: %X-1: y").text, "1: %X-1: y");
  // Too far into the text to be a device prefix.
  EXPECT_EQ(ParseSyslogMessage(Parsing(false, true), "t", "s", "<190>a long text before it: %X y").text,
            "a long text before it: %X y");
}

TEST(MessageFramer, LinesOctetCountsAndLeftovers) {
  std::vector<std::string> out;
  auto emit = [&](std::string m) { out.push_back(std::move(m)); };
  MessageFramer f;
  std::string stream = std::string("<13>one\n<13>two\r\n\n9 <13>three") + '\0' + "<13>four";
  for (char c : stream) f.Feed(&c, 1, emit);  // byte by byte: framing must not care
  EXPECT_EQ(out, (std::vector<std::string>{"<13>one", "<13>two", "<13>three"}));
  f.Finish(emit);
  EXPECT_EQ(out.back(), "<13>four");
  EXPECT_EQ(out.size(), 4u);
  std::string big(100000, 'x');
  f.Feed(big.data(), big.size(), emit);
  f.Finish(emit);
  EXPECT_EQ(out.back().size(), kMaxTcpMessage);
}

class SyslogTest : public testing::VarnelTest {
 protected:
  void Queue(const std::string& text, const std::string& ip = "10.1.1.1") {
    SysLogDataArrival(ctx, 1, text, ip);
  }
  void Drain() {
    ctx.events.Clear();
    WriteSysLogEventsToEventList(ctx);
  }
};

TEST_F(SyslogTest, DrainAppliesFiltersInOrder) {
  SetColumn("Event_SysLog", "FilterIpAddress", "10.1.* <or> 10.2.2.2");
  SetColumn("Event_SysLog", "FilterPriority", "4 - Warning");
  SetColumn("Event_SysLog", "FilterFacility", "16 - Local0");
  SetColumn("Event_SysLog", "FilterFacSearch", ">=");
  SetColumn("Event_SysLog", "FilterMessage", "*LINK*<OR>*fan*");
  Queue("<131>link down");                 // local0.err: passes (message case-insensitive)
  Queue("<134>link down again");           // local0.info: severity 6 > 4
  Queue("<11>link down user");             // user.err: facility 1 < 16
  Queue("<131>fan failed", "10.2.2.2");    // second address pattern
  Queue("<131>link down", "10.3.3.3");     // address fails
  Queue("<131>disk full");                 // message fails
  Drain();
  ASSERT_EQ(ctx.events.Count(), 2);
  EXPECT_EQ(ctx.events[1].Message, "link down");
  EXPECT_EQ(ctx.events[1].Priority, "3 - Minor");
  EXPECT_EQ(ctx.events[1].Name, "10.1.1.1");
  EXPECT_EQ(ctx.events[1].EventSource, "Syslog");
  EXPECT_EQ(ctx.events[2].Name, "10.2.2.2");
  EXPECT_EQ(ctx.intake.syslog.InSysLogIndex, 1);
}

TEST_F(SyslogTest, FilterModesAndEmptyLists) {
  SetColumn("Event_SysLog", "FilterMessSearch", "!=");
  SetColumn("Event_SysLog", "FilterMessage", "*debug*<AND>*noise*");
  SetColumn("Event_SysLog", "FilterCaseSensitive", "1");
  Queue("<13>some noise");
  Queue("<13>Some Noise");  // case-sensitive: does not match the exclusion
  Queue("<13>real problem");
  Drain();
  ASSERT_EQ(ctx.events.Count(), 2);
  EXPECT_EQ(ctx.events[1].Message, "Some Noise");
  SetColumn("Event_SysLog", "FilterMessage", "");
  for (const char* mode : {"=", "!="}) {
    SetColumn("Event_SysLog", "FilterMessSearch", mode);
    Queue("<13>anything");
    Drain();
    EXPECT_EQ(ctx.events.Count(), 0) << mode;  // an empty list rejects every message
  }
  SetColumn("Event_SysLog", "FilterMessSearch", "=");
  SetColumn("Event_SysLog", "FilterMessage", "*");
  SetColumn("Event_SysLog", "FilterPriSearch", "<>");
  Queue("<13>anything");
  Drain();
  EXPECT_EQ(ctx.events.Count(), 0);  // an unknown comparison fails the severity filter
}

TEST_F(SyslogTest, LayoutsNodeNamesTabsAndDuplicates) {
  SetColumn("Event_SysLog", "ModParse3164", "1");
  SetColumn("Event_SysLog", "LogSourceAs", "Name (RFC 3164)");
  SetColumn("Event_SysLog", "LogMessageAs", "Fac.Pri: Message");
  Queue("<187>Oct 11 22:14:15 core1 link\tdown");
  Queue("<187>Oct 11 22:14:15 core1 link\tdown");  // the same again: one event
  Queue("<187>no header here");
  Drain();
  ASSERT_EQ(ctx.events.Count(), 2);
  EXPECT_EQ(ctx.events[1].Name, "core1");
  EXPECT_EQ(ctx.events[1].Message, "Local7.Error: link down");
  EXPECT_EQ(ctx.events[2].Name, "10.1.1.1");  // no parsable header: the sender address
  for (auto [layout, expected] : {std::pair{"Facility: Message", "Local7: x"},
                                  std::pair{"Priority: Message", "Error: x"},
                                  std::pair{"Message", "x"}}) {
    SetColumn("Event_SysLog", "LogMessageAs", layout);
    Queue("<187>x");
    Drain();
    EXPECT_EQ(ctx.events[1].Message, expected);
  }
}

TEST_F(SyslogTest, UnknownLayoutAndDefaultPriorityAreReportedAndDefaulted) {
  SetColumn("Event_SysLog", "LogMessageAs", "Everything");
  SetColumn("Event_SysLog", "ModDefPriority", "urgent");
  Queue("no pri");
  Drain();
  ASSERT_EQ(ctx.events.Count(), 1);
  EXPECT_EQ(ctx.events[1].Message, "no pri");
  EXPECT_EQ(ctx.events[1].Priority, "5 - Normal");
  EXPECT_EQ(Entries(106).size(), 2u);
}

TEST_F(SyslogTest, QueueHoldsThreeHundredAndCountsTheRest) {
  for (int i = 1; i <= 302; ++i) Queue("<13>message " + std::to_string(i));
  Drain();
  EXPECT_EQ(ctx.events.Count(), 300);
  EXPECT_EQ(ctx.events[300].Message, "message 300");
  ASSERT_EQ(Entries(107).size(), 1u);
  EXPECT_EQ(Entries(107)[0],
            "Syslog input queue full: 2 messages were dropped since the last check.");
  Queue("<13>after");
  Drain();
  EXPECT_EQ(ctx.events.Count(), 1);
  EXPECT_EQ(Entries(107).size(), 1u);
}

TEST_F(SyslogTest, BinaryBytesAreKeptReadable) {
  const char raw[] = "<13>bad \xff\xfe bytes \0 and nul\n";
  Queue(std::string(raw, sizeof raw - 1));
  Drain();
  ASSERT_EQ(ctx.events.Count(), 1);
  EXPECT_EQ(ctx.events[1].Message, "bad \xC3\xBF\xC3\xBE bytes   and nul");
}

TEST_F(SyslogTest, ListenersReceiveOverUdpAndTcp) {
  SetColumn("Event_SysLog", "Enabled1", "1");
  SetColumn("Event_SysLog", "IpAddress1", "127.0.0.1");
  SetColumn("Event_SysLog", "ListeningPort1", "0");
  SetColumn("Event_SysLog", "Enabled2", "1");
  SetColumn("Event_SysLog", "Protocol2", "TCP");
  SetColumn("Event_SysLog", "IpAddress2", "127.0.0.1");
  SetColumn("Event_SysLog", "ListeningPort2", "0");
  ctx.DebugMode = "Event Sources";
  ServiceOpen(ctx, "sysLog1");
  ServiceOpen(ctx, "sysLog2");
  ASSERT_EQ(ctx.ListenerStatus[kLsSysLog1], 1);
  ASSERT_EQ(ctx.ListenerStatus[kLsSysLog2], 1);
  EXPECT_NE(GetColumn("Event_SysLog", "Status1").find("\r\nSyslog Server Started\r\nIP=127.0.0.1\r\nPort="),
            std::string::npos);
  int udpPort = ctx.intake.syslog.udp[0]->LocalPort();
  int tcpPort = ctx.intake.syslog.tcp[1]->LocalPort();

  asio::ip::udp::socket u(io, asio::ip::udp::v4());
  u.send_to(asio::buffer(std::string("<13>over udp")),
            asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(udpPort)));
  asio::ip::tcp::socket t(io);
  t.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(tcpPort)));
  std::string batch;
  for (int i = 1; i <= 20; ++i) batch += "<13>tcp " + std::to_string(i) + "\n";
  asio::write(t, asio::buffer(batch + "<13>tail without newline"));
  t.close();
  Delay(io, 300);
  EXPECT_EQ(ctx.intake.syslog.InSysLogIndex, 23);
  Drain();
  EXPECT_EQ(ctx.events.Count(), 22);
  EXPECT_EQ(ctx.events[1].Message, "over udp");
  EXPECT_EQ(ctx.events[22].Message, "tail without newline");
  EXPECT_NE(testing::VarnelTest::File("Debug/Event_SyslogMess.txt"), "");
}

TEST_F(SyslogTest, BindFailuresAreReported) {
  asio::ip::udp::socket holder(io, asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  SetColumn("Event_SysLog", "Enabled1", "1");
  SetColumn("Event_SysLog", "IpAddress1", "127.0.0.1");
  SetColumn("Event_SysLog", "ListeningPort1", std::to_string(holder.local_endpoint().port()));
  SetColumn("Event_SysLog", "Enabled2", "1");
  SetColumn("Event_SysLog", "IpAddress2", "192.0.2.1");  // not an address of this machine
  SetColumn("Event_SysLog", "ListeningPort2", "5514");
  ServiceOpen(ctx, "sysLog1");
  ServiceOpen(ctx, "sysLog2");
  auto errors = Entries(106);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].substr(0, 8), "[10048] ");
  EXPECT_EQ(errors[1], "Syslog2 IP Address is not valid");
  EXPECT_EQ(ctx.ListenerStatus[kLsSysLog1], 2);
  EXPECT_EQ(ctx.ListenerStatus[kLsSysLog2], 2);
  EXPECT_EQ(GetColumn("Event_SysLog", "Status2"), "2026-06-26 10:15:00\r\nFailed to Start\r\n");
  EXPECT_FALSE(ctx.listeners.sysLogBound[0] || ctx.listeners.sysLogBound[1]);
}

}  // namespace
}  // namespace varnel
