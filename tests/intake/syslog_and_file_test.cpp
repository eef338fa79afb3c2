#include "intake/syslog.h"

#include <sys/stat.h>

#include <asio/ip/tcp.hpp>
#include <gtest/gtest.h>

#include "host/service_open.h"
#include "intake/event_log_file.h"
#include "intake/mail_to_event.h"
#include "platform/files.h"
#include "platform/tcp_listener.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using namespace std::string_literals;

// The rules of the header; a plain RFC 3164 header and logger's messages are seen end to end.
TEST(SyslogParse, PriHeaderLengthLimitAndDevicePrefix) {
  const std::string cisco = "<190>123: %SYS-5-CONFIG_I: Configured from console";
  const struct {
    bool parse, removeDat;
    int maxLen;
    std::string raw;
    const char *host, *facSev, *text;
  } cases[] = {
      // A single-digit day is written with two blanks.
      {true, true, 250, "<13>Oct  1 09:00:00 host1 up", "host1", "1 - User/5 - Notice", "up"},
      // A header without an end of the host name.
      {true, true, 250, "<13>Oct  1 09:00:00 host1", "", nullptr, "host1"},
      {true, false, 250, "<13>Oct  1 09:00:00 host1", "", nullptr, "Oct  1 09:00:00 host1"},
      {false, false, 0, "<13>abc", "", nullptr, ""},
      {false, false, -1, "<13>abc", "", nullptr, ""},
      {false, false, 4, "<13>  abcdef", "", nullptr, "ab"},
      {false, true, 250, cisco, "", "23 - Local7/6 - Informational", "Configured from console"},
      {false, false, 250, cisco, "", nullptr, "123: %SYS-5-CONFIG_I: Configured from console"},
      // Only Local6 and Local7 devices carry the prefix, and only near the start.
      {false, true, 250, "<13>1: %X-1: y", "", nullptr, "1: %X-1: y"},
      {false, true, 250, "<190>a long text before it: %X y", "", nullptr,
       "a long text before it: %X y"},
      // A PRI out of range is text and gets the defaults; an empty one is 0.
      {false, false, 250, "<192>text", "", "1 - User/5 - Notice", "<192>text"},
      {false, false, 250, "<1234>text", "", "1 - User/5 - Notice", "<1234>text"},
      {false, false, 250, "<-3>text", "", "1 - User/5 - Notice", "<-3>text"},
      {false, false, 250, "no pri", "", "1 - User/5 - Notice", "no pri"},
      {false, false, 250, "<>empty pri", "", "0 - Kernel/0 - Emergency", "empty pri"},
      {false, false, 250, "<abc>letters", "", "0 - Kernel/0 - Emergency", "letters"},
      {false, false, 250, "<191>  last  ", "", "23 - Local7/7 - Debug", "last"},
      {false, false, 250, "<0>", "", "0 - Kernel/0 - Emergency", ""},
      {false, false, 250, "", "", "1 - User/5 - Notice", ""},
  };
  for (const auto& c : cases) {
    SyslogSettings s;
    s.ModParse3164 = c.parse;
    s.ModRemoveDAT = c.removeDat;
    s.ModMaxLen = c.maxLen;
    s.ModDefFacility = "1 - User";
    s.ModDefPriority = "5 - Notice";
    auto w = ParseSyslogMessage(s, "t", "s", c.raw);
    EXPECT_EQ(w.hostName, c.host) << c.raw << " max " << c.maxLen;
    EXPECT_EQ(w.text, c.text) << c.raw << " max " << c.maxLen;
    if (c.facSev) {
      EXPECT_EQ(w.facility + "/" + w.severity, c.facSev) << c.raw;
    }
  }
  EXPECT_EQ(SyslogSeverityToPriority("1 - Alert"), "1 - Critical");
  EXPECT_EQ(SyslogSeverityToPriority("6 - Informational"), "5 - Normal");
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
  // Queues these messages from 10.1.1.1 and drains the queue: the event texts.
  std::vector<std::string> Pass(std::initializer_list<std::string> messages) {
    for (const auto& m : messages) Queue(m);
    Drain();
    std::vector<std::string> texts;
    for (int i = 1; i <= ctx.events.Count(); ++i) texts.push_back(ctx.events[i].Message);
    return texts;
  }
  using Texts = std::vector<std::string>;
};

TEST_F(SyslogTest, FiltersOnAddressSeverityFacilityAndMessage) {
  Update("Event_SysLog",
         "FilterIpAddress = '10.1.* <or> 10.2.2.2', FilterFacSearch = '>=', "
         "FilterPriority = '4 - Warning', FilterFacility = '16 - Local0', "
         "FilterMessage = '*LINK*<OR>*fan*'");
  Queue("<131>fan failed", "10.2.2.2");    // second address pattern
  Queue("<131>link down", "10.3.3.3");     // address fails
  EXPECT_EQ(Pass({"<131>link down",        // local0.err: passes (message case-insensitive)
                  "<134>link down again",  // local0.info: severity 6 > 4
                  "<11>link down user",    // user.err: facility 1 < 16
                  "<131>disk full"}),      // message fails
            (Texts{"fan failed", "link down"}));
}

TEST_F(SyslogTest, MessageFilterModesAndEmptyLists) {
  const struct {
    const char* set;
    Texts passed;
  } cases[] = {
      // Case-sensitive: "Some Noise" does not match the exclusion.
      {"FilterMessSearch = '!=', FilterMessage = '*debug*<AND>*noise*', FilterCaseSensitive = 1",
       {"Some Noise"}},
      {"FilterMessage = ''", {}},  // an empty list rejects every message, with "=" or "!="
      {"FilterMessSearch = '='", {}},
      // An unknown comparison fails the severity filter.
      {"FilterMessage = '*', FilterPriSearch = '<>'", {}},
  };
  for (const auto& c : cases) {
    Update("Event_SysLog", c.set);
    EXPECT_EQ(Pass({"<13>some noise", "<13>Some Noise"}), c.passed) << c.set;
  }
}

TEST_F(SyslogTest, LayoutsNodeNamesTabsBinaryAndDuplicates) {
  Update("Event_SysLog",
         "ModParse3164 = 1, LogSourceAs = 'Name (RFC 3164)', "
         "LogMessageAs = 'Fac.Pri: Message'");
  EXPECT_EQ(
      Pass({"<187>Oct 11 22:14:15 core1 link\tdown",
            "<187>Oct 11 22:14:15 core1 link\tdown",  // the same again: one event
            "<187>bad \xff\xfe bytes \0 and nul\n"s}),
      (Texts{"Local7.Error: link down", "Local7.Error: bad \xC3\xBF\xC3\xBE bytes   and nul"}));
  EXPECT_EQ(ctx.events[1].Name, "core1");
  EXPECT_EQ(ctx.events[2].Name, "10.1.1.1");  // no parsable header: the sender address
  for (auto [layout, expected] :
       {std::pair{"Facility: Message", "Local7: x"}, std::pair{"Priority: Message", "Error: x"},
        std::pair{"Message", "x"}}) {
    SetColumn("Event_SysLog", "LogMessageAs", layout);
    EXPECT_EQ(Pass({"<187>x"}), Texts{expected});
  }
  // An unknown layout and an unknown default priority are reported and defaulted.
  Update("Event_SysLog", "LogMessageAs = 'Everything', ModDefPriority = 'urgent'");
  EXPECT_EQ(Pass({"no pri"}), Texts{"no pri"});
  EXPECT_EQ(ctx.events[1].Priority, "5 - Normal");
  EXPECT_EQ(Entries(106).size(), 2u);
}

TEST_F(SyslogTest, QueueHoldsThreeHundredAndCountsTheRest) {
  for (int i = 1; i <= 302; ++i) Queue("<13>message " + std::to_string(i));
  Drain();
  EXPECT_EQ(ctx.events.Count(), 300);
  EXPECT_EQ(ctx.events[300].Message, "message 300");
  EXPECT_EQ(Entries(107), std::vector<std::string>{"Syslog input queue full: 2 messages were "
                                                   "dropped since the last check."});
  EXPECT_EQ(Pass({"<13>after"}), Texts{"after"});
  EXPECT_EQ(Entries(107).size(), 1u);
}

TEST_F(SyslogTest, AConnectionResetIsReportedUnderTheListenersName) {
  Update("Event_SysLog",
         "Enabled1 = 1, Protocol1 = 'TCP', IpAddress1 = '127.0.0.1', ListeningPort1 = 0");
  ServiceOpen(ctx, "sysLog1");
  auto& listener = *ctx.intake.syslog.tcp[0];
  asio::ip::tcp::socket t(io);
  t.connect(
      {asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(listener.LocalPort())});
  ASSERT_TRUE(testing::PumpUntil(io, [&] { return listener.Connections() == 1; }));
  t.set_option(asio::socket_base::linger(true, 0));  // the close resets the connection
  t.close();
  ASSERT_TRUE(testing::PumpUntil(io, [&] { return !Entries(106).empty(); }));
  EXPECT_EQ(Entries(106),
            std::vector<std::string>{"[10054] Connection reset by peer (Module: sysLog1_Error)"});
}

class EventLogFileTest : public testing::VarnelTest {};

TEST_F(EventLogFileTest, LinesBecomeEventsAndTheFileGoes) {
  std::vector<std::string> lines(2, "2026-01-05 10:00:00\t2 - Major\tsrv1\tdisk full\ton C:");
  lines.push_back("no tabs at all");
  lines.push_back("two\ttabs\tonly");
  for (int i = 0; i < 310; ++i)
    lines.push_back("2026-01-05 10:00:01\t3 - Minor\tn\tevent " + std::to_string(i));
  AppendLines(File("Event.log"), lines);
  ctx.events.Clear();
  WriteEventLogEventsToEventList(ctx);
  EXPECT_FALSE(FileExists(File("Event.log")));
  // 300 were taken; the duplicate of the first was removed from them afterwards.
  EXPECT_EQ(ctx.events.Count(), 299);
  EXPECT_EQ(ctx.events[1].Name, "srv1");
  EXPECT_EQ(ctx.events[1].Message, "disk full on C:");
  EXPECT_EQ(ctx.events[1].EventSource, "Log File");
  EXPECT_EQ(ctx.events[2].Message, "event 0");
  EXPECT_TRUE(ctx.events[300].Free());
}

TEST_F(EventLogFileTest, UnreadableDropFileIsReportedAndKept) {
  ASSERT_EQ(::mkdir(File("Event.log").c_str(), 0755), 0);
  WriteEventLogEventsToEventList(ctx);
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_NE(Entries(106)[0].find("(Module: WriteEventLogEventsToEventList)"), std::string::npos);
  EXPECT_TRUE(FileExists(File("Event.log")));
}

TEST_F(EventLogFileTest, PollAlarmReplacesTheList) {
  SetColumn("Settings_SNMP_Agent", "PollMeSource", "nms");
  ctx.events.Append("x", "y", "z", "w", "v");
  WriteNmsPollAlarmToEventList(ctx);
  ASSERT_EQ(ctx.events.Count(), 1);
  EXPECT_EQ(ctx.events[1].DateAndTime + ctx.events[1].Name + ctx.events[1].EventSource,
            "2026-06-26 10:15:00nmsInternal");
}

TEST_F(EventLogFileTest, MailTextsBecomeDropFileLines) {
  const std::pair<const char*, const char*> cases[] = {
      {"router1 2 link down on port 3", "2 - Major\trouter1\tlink down on port 3"},
      {"\"core switch\" \"critical error\" fan failed", "1 - Critical\tcore switch\tfan failed"},
      {"lonely", "1 - Critical\tlonely\tnoMessageArgument"},
      {"ups 4 on battery\r\nsince 10:00\r\n", "4 - Warning\tups\ton battery>>since 10:00"},
      {"ups 4 a\tb\nc", "4 - Warning\tups\ta b c"},
      {"a  b c", "1 - Critical\ta\tb c"},  // two blanks: an empty second argument
      {"", "1 - Critical\tnoSourceArgument\tnoMessageArgument"},
  };
  for (auto [text, line] : cases) {
    DeleteFile(File("Event.log"));
    WriteSmtpMailEventsToEventLog(ctx, text);
    EXPECT_EQ(ReadLines(File("Event.log")),
              std::vector<std::string>{"2026-06-26 10:15:00\t" + std::string(line)})
        << text;
  }
  for (auto [text, priority] : {std::pair{" p2 ", "2 - Major"},
                                {"indeterminate", "3 - Minor"},
                                {"whatever", "5 - Normal"},
                                {"", "1 - Critical"}})
    EXPECT_EQ(MailPriority(text), priority) << text;
}

}  // namespace
}  // namespace varnel
