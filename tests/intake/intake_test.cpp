#include <sys/stat.h>

#include <asio/ip/tcp.hpp>
#include <filesystem>
#include <gtest/gtest.h>

#include "host/service_open.h"
#include "intake/event_log_file.h"
#include "intake/mail_to_event.h"
#include "intake/snmp_trap_events.h"
#include "intake/snmp_trap_reception.h"
#include "intake/syslog.h"
#include "intake/trap_definitions.h"
#include "platform/files.h"
#include "platform/snmp/snmp_socket.h"
#include "platform/tcp_listener.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using namespace testing;  // varnel::testing: the shared SNMP names and fixtures

Variable Int(const std::string& value) { return {"1.3.6.1.4.1.9.9.1", value, vt::kInteger}; }
Variable Str(const std::string& value) { return {"1.3.6.1.4.1.9.9.2", value, vt::kOctetString}; }

// A v2c trap from 127.0.0.1: sysUpTime.0, snmpTrapOID.0, then vars.
Message V2Trap(const std::string& trapOid, std::vector<Variable> vars = {},
               int type = snmp::pdu::kTrapV2) {
  vars.insert(vars.begin(), {{"1.3.6.1.2.1.1.3.0", "555", vt::kTimeTicks},
                             {"1.3.6.1.6.3.1.1.4.1.0", trapOid, vt::kObjectId}});
  Message m = V2c(type, std::move(vars), "public");
  m.requestId = 77;
  return m;
}

class SnmpTrapIntakeTest : public testing::VarnelTest {
 protected:
  SnmpTrapIntakeTest() { ctx.snmp.TrapServerCommunity = "public"; }

  void Receive(Message m) { snmpManager_Trap(ctx, m); }
  // A v2c trap from agent 10.0.0.1.
  void Trap(const std::string& oid, std::vector<Variable> vars = {}) {
    vars.insert(vars.begin(), {"1.3.6.1.6.3.18.1.3.0", "10.0.0.1", vt::kIpAddress});
    Receive(V2Trap(oid, vars));
  }
  TrapDefinition& Define(const std::string& oid, const std::string& priority,
                         const std::string& node, const std::string& message) {
    std::size_t slot = 1;
    while (!ctx.snmp.SnmpTrap[slot].SnmpTrapOid.empty()) ++slot;
    return ctx.snmp.SnmpTrap[slot] = {
               oid, "name" + std::to_string(slot), {}, true, priority, node, message};
  }
  // Moves the queued traps to the emptied event list: their messages.
  Texts Messages() {
    ctx.events.Clear();
    WriteSnmpTrapEventsToEventList(ctx);
    return EventTexts();
  }
};

TEST_F(SnmpTrapIntakeTest, ARepeatedInformIsAnsweredButQueuedOnce) {
  ctx.snmp.manager->OnTrap([this](Message& m) { snmpManager_Trap(ctx, m); });
  ctx.snmp.manager->Listen(0, "127.0.0.1");
  testing::UdpPeer manager{io};
  Message inform = V2Trap("1.3.6.1.4.1.1.0.7", {Str("x")}, snmp::pdu::kInform);
  for (int attempt = 0; attempt < 2; ++attempt) {
    manager.SendTo(ctx.snmp.manager->LocalPort(), snmp::Encode(inform));
    auto r = snmp::Decode(manager.Receive().value_or(""));
    ASSERT_TRUE(r) << attempt;
    EXPECT_EQ(std::pair(r->pduType, r->requestId), std::pair(snmp::pdu::kResponse, 77));
  }
  EXPECT_EQ(ctx.snmp.InTrapIndex, 2);
}

std::vector<Variable> DirectMessage(const std::string& type, const std::string& var5) {
  const std::string values[] = {type, "Telia", "Anna", "+4670123",
                                var5, "x",     "2",    "Pump\t3 failed\r\n"};
  std::vector<Variable> vars;
  for (int i = 0; i < 8; ++i)
    vars.push_back({"1.3.6.1.4.1.99412.1.14.1." + std::to_string(i + 1), values[i],
                    i == 4 ? vt::kInteger : vt::kOctetString});
  return vars;
}

TEST_F(SnmpTrapIntakeTest, DirectMessageTrapWritesOneDropFileLine) {
  Receive(V2Trap(kDirectMessageTrapOid, DirectMessage("2", "2")));
  EXPECT_EQ(ctx.snmp.InTrapIndex, 1);  // not queued
  // The fifth variable 1 makes it an ordinary trap; a non-numeric one is an error.
  Receive(V2Trap(kDirectMessageTrapOid, DirectMessage("2", "1")));
  EXPECT_EQ(ctx.snmp.InTrapIndex, 2);
  Receive(V2Trap(kDirectMessageTrapOid, DirectMessage("2", "two")));
  EXPECT_EQ(ctx.snmp.InTrapIndex, 2);
  EXPECT_EQ(Entries(106), Texts{"[13] Type mismatch (Module: snmpManager_Trap)"});
  // A receiver type code outside 1..6 is dropped, and the trace says so.
  ctx.DebugMode = "Event Sources";
  for (const char* type : {"7", "0", "", "PhoneMO"})
    Receive(V2Trap(kDirectMessageTrapOid, DirectMessage(type, "2")));
  EXPECT_EQ(ReadLines(File("SnmpMess.log")),
            Texts{"2026-06-26 10:15:00\tPhoneMO\tTelia\tAnna\t+4670123\tx\t2\tPump 3 failed  "});
  int dropped = 0;
  for (const std::string& l : Lines("Debug/Event_SnmpTrap.txt"))
    dropped += l.find("Direct message dropped: receiver type \"") != l.npos;
  EXPECT_EQ(dropped, 4);
}

TEST_F(SnmpTrapIntakeTest, UndefinedTrapsGetTheGenericMessageUnlessSkipped) {
  Trap("1.3.6.1.4.1.99412.1.10.2.0.2",
       {Str("a\tb"),
        {"1.3.6.1.2.1.1.2.0", "1.3.6.1.4.1.1", vt::kObjectId},
        {"1.3.6.1.2.1.1.3.0", "18446744073709551615", vt::kCounter64},
        {"1.3.6.1.2.1.1.4.0", "", vt::kNull}});
  Trap("1.3.6.1.2.10.1");  // only a whole-arc prefix is named
  EXPECT_EQ(Messages(), (Texts{"enterprises.99412.1.10.2.0.2, [1]1.3.6.1.4.1.9.9.2(OctetString): "
                               "a b , [2]1.3.6.1.2.1.1.2.0(ObjectID): 1.3.6.1.4.1.1 , "
                               "[3]1.3.6.1.2.1.1.3.0(Counter64): 18446744073709551615 , "
                               "[4]1.3.6.1.2.1.1.4.0(Null):  ",
                               "1.3.6.1.2.10.1"}));
  EXPECT_EQ(ctx.events[1].EventSource, "SNMP Trap");
  ctx.snmp.SkipTrapsNotDef = true;
  Trap("1.3.6.1.2.1.11.0.2");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(SnmpTrapIntakeTest, FirstMatchingDefinitionDecidesEvenWhenNotLogged) {
  Define("1.3.6.1.4.1.1.0.1", "1 - Critical", "$A", "first").SnmpTrapLogEvent = false;
  Define("1.3.6.1.4.1.1.0.1", "2 - Major", "$A", "second");
  Define("1.3.6.1.4.1.1.0.2", "2 - Major", "$A", "two");
  Trap("1.3.6.1.4.1.1.0.1");
  Trap("1.3.6.1.4.1.1.0.2");
  EXPECT_EQ(Messages(), Texts{"two"});
}

TEST_F(SnmpTrapIntakeTest, PriorityFixedOrFromAVariableAndItsEnumeration) {
  TrapDefinition& d = Define("1.3.6.1.4.1.1.0.3", "$3", "$R", "m");
  d.SnmpTrapVarList[3].varType = "critical(1),major(2)";
  // clang-format off
  const struct { const char* priority; std::vector<Variable> vars; const char* want; } cases[] = {
      {"$3", {Str("x"), Str("y"), Int("2")}, "2 - Major"},   // label "major"
      {"$3", {Str("x"), Str("y"), Int("5")}, "5 - Normal"},  // no such item
      {"$3", {Str("x"), Str("y"), Str(" warning ")}, "4 - Warning"},
      {"$3", {Str("x"), Str("y"), Str("major(2)")}, "5 - Normal"},  // text is not looked up
      {"$3", {Str("x")}, "5 - Normal"},                             // no third variable
      {"3 - Minor", {}, "3 - Minor"}, {"Critical", {}, "5 - Normal"}};  // clang-format on
  for (const auto& c : cases) {
    d.SnmpTrapPriority = c.priority;
    Trap("1.3.6.1.4.1.1.0.3", c.vars);
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_EQ(ctx.events[1].Priority, c.want) << c.priority << " " << c.vars.size();
  }
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(SnmpTrapIntakeTest, MessageTemplateFillsEveryCode) {
  TrapDefinition& d =
      Define("1.3.6.1.4.1.1.0.4", "5 - Normal", "$12",
             "$O ($o) from $A via $R [$T] at $X up $U: $1/$12/$2 when $3 state $4 $20.");
  d.SnmpTrapVarList[3].varType = "DateAndTime";
  d.SnmpTrapVarList[4].varType = "up(1),down(2)";
  std::vector<Variable> vars = {Str("one"), Str("two"),
                                Str(std::string("\x07\xe2\x06\x1a\x0a\x05\x09\x00", 8)), Int("2")};
  for (int k = 5; k <= 12; ++k) vars.push_back(Str("v" + std::to_string(k)));
  Trap("1.3.6.1.4.1.1.0.4", vars);
  EXPECT_EQ(Messages(),
            Texts{"name1 (1.3.6.1.4.1.1.0.4) from 10.0.0.1 via 127.0.0.1 [public] at "
                  "2026-06-26 10:15:00 up 555: one/v12/two when 2018-06-26 10:05:09 state down ."});
  EXPECT_EQ(ctx.events[1].Name, "v12");
  // Codes that an inserted value brings in are replaced too, when their turn is still to come.
  Define("1.3.6.1.4.1.1.0.5", "5 - Normal", "$A", "$O $A").SnmpTrapName = "$T $1 $A";
  Trap("1.3.6.1.4.1.1.0.5", {Str("one")});
  EXPECT_EQ(Messages(), Texts{"public one $A 10.0.0.1"});
}

TEST_F(SnmpTrapIntakeTest, NodeNameCodesAndIp2NameLookUp) {
  std::string name;
  MapIp2Name(ctx, "10.0.0.1", name);
  EXPECT_EQ(name, "10.0.0.1");  // no file
  // Directory names in any letter case; the address field must match whole.
  std::filesystem::remove_all(ctx.ProgramDir + "/mibfiles");
  std::filesystem::create_directories(ctx.ProgramDir + "/MibFiles/DEFAULTFILTER");
  RewriteLines(ctx.ProgramDir + "/MibFiles/DEFAULTFILTER/ip2name.txt",
               {"10.0.0.10\tswitch-ten", "# 10.0.0.1\tcomment", "10.0.0.1\t router-one ",
                "10.0.0.1\tsecond", "10.0.0.2\tone\twith tab"});
  MapIp2Name(ctx, "10.0.0.2", name);
  EXPECT_EQ(name, "one\twith tab");
  TrapDefinition& d = Define("1.3.6.1.4.1.1.0.5", "5 - Normal", "", "m");
  // clang-format off
  for (auto [code, expected] : {std::pair{"$A", "10.0.0.1"}, {"$a", "router-one"},
           {"$R", "127.0.0.1"}, {"$r", "127.0.0.1"}, {"$2", "node-b"}, {"$3", ""}, {"host", ""},
           {"$21", ""}}) {  // clang-format on
    d.SnmpTrapNodeName = code;
    Trap("1.3.6.1.4.1.1.0.5", {Str("a"), Str("node-b")});
    EXPECT_EQ(Messages().size(), 1u);
    EXPECT_EQ(ctx.events[1].Name, expected) << code;
  }
}

TEST_F(SnmpTrapIntakeTest, DuplicatesAreRemovedAndAFullListLeavesTheRestQueued) {
  Define("1.3.6.1.4.1.1.0.6", "2 - Major", "$R", "down");
  Trap("1.3.6.1.4.1.1.0.6");
  Trap("1.3.6.1.4.1.1.0.7");
  Trap("1.3.6.1.4.1.1.0.6");
  EXPECT_EQ(Messages(), (Texts{"down", "enterprises.1.0.7"}));
  EXPECT_TRUE(ctx.events[3].Free());

  ctx.events.Clear();
  for (int i = 0; i < 299; ++i)
    ctx.events.Append("2026-06-26 10:00:00", kNormal, "n", "syslog " + std::to_string(i),
                      kSourceSyslog);
  Trap("1.3.6.1.4.1.1.0.8");
  Trap("1.3.6.1.4.1.1.0.9");
  WriteSnmpTrapEventsToEventList(ctx);
  EXPECT_EQ(std::tuple(ctx.events.Count(), ctx.events[300].Message, ctx.snmp.InTrapIndex),
            std::tuple(300, "enterprises.1.0.8", 2));
  EXPECT_EQ(Messages(), Texts{"enterprises.1.0.9"});
}

TEST_F(SnmpTrapIntakeTest, DefinitionsLoadTwoHundredRowsInTableOrder) {
  Db().Exec(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 201) "
      "INSERT INTO Event_SNMP_MibTrap (TrapOid) SELECT '1.3.6.1.4.1.1.0.' || i FROM n");
  ReadDb_Trap(ctx);
  EXPECT_EQ(ctx.snmp.SnmpTrap.size(), 200u);  // the 201st row is not loaded
  EXPECT_EQ(ctx.snmp.SnmpTrap[1].SnmpTrapOid + " " + ctx.snmp.SnmpTrap[200].SnmpTrapOid,
            "1.3.6.1.4.1.1.0.1 1.3.6.1.4.1.1.0.200");
}

using namespace std::string_literals;

// The rules of the header; a plain RFC 3164 header and logger's messages are seen end to end.
TEST(SyslogParse, PriHeaderLengthLimitAndDevicePrefix) {
  const std::string cisco = "<190>123: %SYS-5-CONFIG_I: Configured from console";
  // clang-format off
  const struct {
    bool parse, removeDat; int maxLen; std::string raw; const char *host, *facSev, *text;
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
      {false, false, 250, "", "", "1 - User/5 - Notice", ""}};  // clang-format on
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
  EXPECT_EQ(out, (Texts{"<13>one", "<13>two", "<13>three"}));
  f.Finish(emit);
  EXPECT_EQ(out, (Texts{"<13>one", "<13>two", "<13>three", "<13>four"}));
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
  // Queues these messages from 10.1.1.1 and empties the queue into the event list: the texts.
  Texts Pass(std::initializer_list<std::string> messages) {
    for (const auto& m : messages) Queue(m);
    ctx.events.Clear();
    WriteSysLogEventsToEventList(ctx);
    return EventTexts();
  }
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
  // clang-format off
  const struct { const char* set; Texts passed; } cases[] = {
      // Case-sensitive: "Some Noise" does not match the exclusion.
      {"FilterMessSearch = '!=', FilterMessage = '*debug*<AND>*noise*', FilterCaseSensitive = 1",
       {"Some Noise"}},
      {"FilterMessage = ''", {}},  // an empty list rejects every message, with "=" or "!="
      {"FilterMessSearch = '='", {}},
      // An unknown comparison fails the severity filter.
      {"FilterMessage = '*', FilterPriSearch = '<>'", {}}};  // clang-format on
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
  // Without a parsable header the node is the sender's address.
  EXPECT_EQ(std::tuple(ctx.events[1].Name, ctx.events[2].Name), std::tuple("core1", "10.1.1.1"));
  for (auto [layout, expected] :
       {std::pair{"Facility: Message", "Local7: x"}, std::pair{"Priority: Message", "Error: x"},
        std::pair{"Message", "x"}}) {
    SetColumn("Event_SysLog", "LogMessageAs", layout);
    EXPECT_EQ(Pass({"<187>x"}), Texts{expected});
  }
  // An unknown layout and an unknown default priority are reported and defaulted.
  Update("Event_SysLog", "LogMessageAs = 'Everything', ModDefPriority = 'urgent'");
  EXPECT_EQ(Pass({"no pri"}), Texts{"no pri"});
  EXPECT_EQ(std::tuple(ctx.events[1].Priority, Entries(106).size()), std::tuple("5 - Normal", 2u));
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
  EXPECT_EQ(Entries(106), Texts{"[10054] Connection reset by peer (Module: sysLog1_Error)"});
}

using EventLogFileTest = testing::VarnelTest;

TEST_F(EventLogFileTest, LinesBecomeEventsAndTheFileGoes) {
  std::vector<std::string> lines(2, "2026-01-05 10:00:00\t2 - Major\tsrv1\tdisk full\ton C:");
  lines.push_back("no tabs at all");
  lines.push_back("two\ttabs\tonly");
  for (int i = 0; i < 310; ++i)
    lines.push_back("2026-01-05 10:00:01\t3 - Minor\tn\tevent " + std::to_string(i));
  AppendLines(File("Event.log"), lines);
  ctx.events.Clear();
  WriteEventLogEventsToEventList(ctx);
  // 300 were taken; the duplicate of the first was removed from them afterwards. The last 12
  // wait in the file for the next cycle.
  EXPECT_EQ(ReadLines(File("Event.log")), std::vector(lines.end() - 12, lines.end()));
  EXPECT_EQ(ctx.events.Count(), 299);
  EXPECT_EQ(std::tuple(ctx.events[1].Name, ctx.events[1].Message, ctx.events[1].EventSource),
            std::tuple("srv1", "disk full on C:", "Log File"));
  EXPECT_EQ(ctx.events[2].Message, "event 0");
  EXPECT_TRUE(ctx.events[300].Free());
  ctx.events.Clear();
  WriteEventLogEventsToEventList(ctx);
  EXPECT_EQ(std::tuple(ctx.events.Count(), ctx.events[1].Message), std::tuple(12, "event 298"));
  EXPECT_FALSE(FileExists(File("Event.log")));
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
    EXPECT_EQ(ReadLines(File("Event.log")), Texts{"2026-06-26 10:15:00\t" + std::string(line)})
        << text;
  }
  // clang-format off
  for (auto [text, priority] : {std::pair{" p2 ", "2 - Major"}, {"indeterminate", "3 - Minor"},
           {"whatever", "5 - Normal"}, {"", "1 - Critical"}})  // clang-format on
    EXPECT_EQ(MailPriority(text), priority) << text;
}

}  // namespace
}  // namespace varnel
