#include "intake/snmp_trap_events.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "intake/snmp_trap_reception.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using snmp::Variable;
namespace vt = snmp::vt;

class SnmpTrapEventsTest : public testing::VarnelTest {
 protected:
  SnmpTrapEventsTest() { ctx.snmp.TrapServerCommunity = "public"; }

  TrapDefinition& Define(const std::string& oid, const std::string& priority,
                         const std::string& node, const std::string& message) {
    int slot = 1;
    while (!ctx.snmp.SnmpTrap[static_cast<std::size_t>(slot)].SnmpTrapOid.empty()) ++slot;
    TrapDefinition& d = ctx.snmp.SnmpTrap[static_cast<std::size_t>(slot)];
    d.SnmpTrapOid = oid;
    d.SnmpTrapName = "name" + std::to_string(slot);
    d.SnmpTrapLogEvent = true;
    d.SnmpTrapPriority = priority;
    d.SnmpTrapNodeName = node;
    d.SnmpTrapMessage = message;
    return d;
  }

  // Receives a v2c trap from 127.0.0.1 with agent address 10.0.0.1.
  void Trap(const std::string& oid, std::vector<Variable> vars) {
    snmp::Message m;
    m.version = snmp::kVersion2c;
    m.community = "public";
    m.pduType = snmp::pdu::kTrapV2;
    m.variables = {{"1.3.6.1.2.1.1.3.0", "555", vt::kTimeTicks},
                   {"1.3.6.1.6.3.1.1.4.1.0", oid, vt::kObjectId},
                   {"1.3.6.1.6.3.18.1.3.0", "10.0.0.1", vt::kIpAddress}};
    for (auto& v : vars) m.variables.push_back(std::move(v));
    m.senderAddress = "127.0.0.1";
    snmpManager_Trap(ctx, m);
  }

  std::vector<InEvent> Drain() {
    ctx.events.Clear();
    WriteSnmpTrapEventsToEventList(ctx);
    std::vector<InEvent> out;
    for (int i = 1; i <= ctx.events.Count(); ++i) out.push_back(ctx.events[i]);
    return out;
  }

  void WriteIp2Name(const std::string& dir, const std::vector<std::string>& lines) {
    std::filesystem::create_directories(ctx.ProgramDir + "/" + dir);
    RewriteLines(ctx.ProgramDir + "/" + dir + "/ip2name.txt", lines);
  }
};

Variable Int(const std::string& value) { return {"1.3.6.1.4.1.9.9.1", value, vt::kInteger}; }
Variable Str(const std::string& value) { return {"1.3.6.1.4.1.9.9.2", value, vt::kOctetString}; }

TEST_F(SnmpTrapEventsTest, UndefinedTrapsGetTheGenericMessage) {
  Trap("1.3.6.1.2.1.11.0.2", {{"1.3.6.1.2.1.2.2.1.1.3", "3", vt::kInteger}});
  Trap("1.3.6.1.4.1.99412.1.10.2.0.2",
       {Str("a\tb"), {"1.3.6.1.2.1.1.2.0", "1.3.6.1.4.1.1", vt::kObjectId},
        {"1.3.6.1.2.1.1.3.0", "18446744073709551615", vt::kCounter64},
        {"1.3.6.1.2.1.1.4.0", "", vt::kNull}});
  Trap("1.3.6.1.2.10.1", {});  // only a whole-arc prefix is named
  auto events = Drain();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].Message, "mib-2.11.0.2, [1]1.3.6.1.2.1.2.2.1.1.3(Integer): 3 ");
  EXPECT_EQ(events[0].Priority, "5 - Normal");
  EXPECT_EQ(events[0].Name, "127.0.0.1");
  EXPECT_EQ(events[0].EventSource, "SNMP Trap");
  EXPECT_EQ(events[0].DateAndTime, "2026-06-26 10:15:00");
  EXPECT_EQ(events[1].Message,
            "enterprises.99412.1.10.2.0.2, [1]1.3.6.1.4.1.9.9.2(OctetString): a b , "
            "[2]1.3.6.1.2.1.1.2.0(ObjectID): 1.3.6.1.4.1.1 , "
            "[3]1.3.6.1.2.1.1.3.0(Counter64): 18446744073709551615 , "
            "[4]1.3.6.1.2.1.1.4.0(Null):  ");
  EXPECT_EQ(events[2].Message, "1.3.6.1.2.10.1");
  EXPECT_EQ(ctx.snmp.InTrapIndex, 1);

  ctx.snmp.SkipTrapsNotDef = true;
  Trap("1.3.6.1.2.1.11.0.2", {});
  EXPECT_TRUE(Drain().empty());
}

TEST_F(SnmpTrapEventsTest, FirstMatchingDefinitionDecidesEvenWhenNotLogged) {
  Define("1.3.6.1.4.1.1.0.1", "1 - Critical", "$A", "first").SnmpTrapLogEvent = false;
  Define("1.3.6.1.4.1.1.0.1", "2 - Major", "$A", "second");
  Define("1.3.6.1.4.1.1.0.2", "2 - Major", "$A", "two");
  Trap("1.3.6.1.4.1.1.0.1", {});
  Trap("1.3.6.1.4.1.1.0.2", {});
  auto events = Drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Message, "two");
  EXPECT_EQ(events[0].Priority, "2 - Major");
  EXPECT_EQ(events[0].Name, "10.0.0.1");
}

TEST_F(SnmpTrapEventsTest, PriorityFromAVariableAndItsEnumeration) {
  TrapDefinition& d = Define("1.3.6.1.4.1.1.0.3", "$3", "$R", "m");
  d.SnmpTrapVarList[3].varType = "critical(1),major(2)";
  struct Case {
    Variable var3;
    const char* priority;
  } cases[] = {
      {Int("2"), "2 - Major"},         // label "major"
      {Int("5"), "5 - Normal"},        // no such item
      {Str(" warning "), "4 - Warning"},
      {Str("major(2)"), "5 - Normal"},  // an OctetString is never looked up
  };
  for (const auto& c : cases) {
    Trap("1.3.6.1.4.1.1.0.3", {Str("x"), Str("y"), c.var3});
    auto events = Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Priority, c.priority) << c.var3.value;
  }
  // The trap carries no third variable.
  Trap("1.3.6.1.4.1.1.0.3", {Str("x")});
  EXPECT_EQ(Drain().at(0).Priority, "5 - Normal");
  d.SnmpTrapPriority = "3 - Minor";
  Trap("1.3.6.1.4.1.1.0.3", {});
  EXPECT_EQ(Drain().at(0).Priority, "3 - Minor");
  d.SnmpTrapPriority = "Critical";
  Trap("1.3.6.1.4.1.1.0.3", {});
  EXPECT_EQ(Drain().at(0).Priority, "5 - Normal");
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(SnmpTrapEventsTest, MessageTemplateFillsEveryCode) {
  TrapDefinition& d =
      Define("1.3.6.1.4.1.1.0.4", "5 - Normal", "$12",
             "$O ($o) from $A via $R [$T] at $X up $U: $1/$12/$2 when $3 state $4 $20.");
  d.SnmpTrapVarList[3].varType = "DateAndTime";
  d.SnmpTrapVarList[4].varType = "up(1),down(2)";
  std::vector<Variable> vars = {Str("one"), Str("two"),
                                Str(std::string("\x07\xe2\x06\x1a\x0a\x05\x09\x00", 8)),
                                Int("2")};
  for (int k = 5; k <= 12; ++k) vars.push_back(Str("v" + std::to_string(k)));
  Trap("1.3.6.1.4.1.1.0.4", vars);
  auto events = Drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Message,
            "name1 (1.3.6.1.4.1.1.0.4) from 10.0.0.1 via 127.0.0.1 [public] at "
            "2026-06-26 10:15:00 up 555: one/v12/two when 2018-06-26 10:05:09 state down .");
  EXPECT_EQ(events[0].Name, "v12");
}

TEST_F(SnmpTrapEventsTest, NodeNameCodes) {
  WriteIp2Name("mibfiles/defaultFilter", {"10.0.0.10\tswitch-ten", "10.0.0.1\t router-one ",
                                          "127.0.0.1"});
  const char* const codes[] = {"$A", "$a", "$R", "$r", "$2", "$3", "host", "$21"};
  const char* const names[] = {"10.0.0.1", "router-one", "127.0.0.1", "127.0.0.1",
                               "node-b",   "",           "",          ""};
  for (int i = 0; i < 8; ++i) {
    ctx.snmp.SnmpTrap[1] = TrapDefinition{};
    Define("1.3.6.1.4.1.1.0.5", "5 - Normal", codes[i], "m");
    Trap("1.3.6.1.4.1.1.0.5", {Str("a"), Str("node-b")});
    auto events = Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Name, names[i]) << codes[i];
  }
}

TEST_F(SnmpTrapEventsTest, MapIp2NameMatchesTheWholeAddressField) {
  std::string name;
  MapIp2Name(ctx, "10.0.0.1", name);
  EXPECT_EQ(name, "10.0.0.1");  // no file
  // Directory names in any letter case.
  std::filesystem::remove_all(ctx.ProgramDir + "/mibfiles");
  WriteIp2Name("MibFiles/DEFAULTFILTER", {"10.0.0.10\tten", "# 10.0.0.1\tcomment",
                                          "10.0.0.1\tone\twith tab", "10.0.0.1\tsecond"});
  MapIp2Name(ctx, "10.0.0.1", name);
  EXPECT_EQ(name, "one\twith tab");
  MapIp2Name(ctx, "10.0.0.2", name);
  EXPECT_EQ(name, "10.0.0.2");
}

TEST_F(SnmpTrapEventsTest, DuplicatesAreRemovedAndTheListTraced) {
  ctx.DebugMode = "Event Sources";
  Define("1.3.6.1.4.1.1.0.6", "2 - Major", "$R", "down");
  Trap("1.3.6.1.4.1.1.0.6", {});
  Trap("1.3.6.1.4.1.1.0.7", {});
  Trap("1.3.6.1.4.1.1.0.6", {});
  auto events = Drain();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Message, "down");
  EXPECT_EQ(events[1].Message, "enterprises.1.0.7");
  EXPECT_TRUE(ctx.events[3].Free());
  auto lines = ReadLines(File("Debug/Event_List.txt"));
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[0], "2026-06-26 10:15:00 ***** Event List (from SNMP Traps) *****");
  EXPECT_EQ(lines[2], "InEventsDateAndTime(1)=2026-06-26 10:15:00");
  EXPECT_EQ(lines[10], "InEventsName(2)=127.0.0.1");
  EXPECT_EQ(lines[12], "InEventsEventSource(2)=SNMP Trap");
}

TEST_F(SnmpTrapEventsTest, FullEventListTakesNoMoreTraps) {
  for (int i = 0; i < 299; ++i)
    ctx.events.Append("2026-06-26 10:00:00", kNormal, "n", "syslog " + std::to_string(i),
                      kSourceSyslog);
  Trap("1.3.6.1.4.1.1.0.8", {});
  Trap("1.3.6.1.4.1.1.0.9", {});
  WriteSnmpTrapEventsToEventList(ctx);
  EXPECT_EQ(ctx.events.Count(), 300);
  EXPECT_EQ(ctx.events[300].Message, "enterprises.1.0.8");
  EXPECT_EQ(ctx.snmp.InTrapIndex, 1);
}

TEST_F(SnmpTrapEventsTest, QueueOverflowIsReportedOnceAtTheDrain) {
  for (int i = 0; i < 310; ++i) Trap("1.3.6.1.4.1.1.0.10", {Str(std::to_string(i))});
  auto events = Drain();
  EXPECT_EQ(events.size(), 300u);
  EXPECT_EQ(Entries(107),
            std::vector<std::string>{"SNMP trap server: 10 traps dropped because the trap queue "
                                     "was full, 0 malformed datagrams dropped since the last "
                                     "check."});
  Drain();
  EXPECT_EQ(Entries(107).size(), 1u);
}

TEST_F(SnmpTrapEventsTest, ConvToDateTimeUsesBothYearOctets) {
  std::string v("\x07\xe2\x06\x1a\x0a\x05\x09", 7);
  ConvToDateTime(ctx, v);
  EXPECT_EQ(v, "2018-06-26 10:05:09");
  v = std::string("\x08\x00\x0c\x1f\x17\x3b\x3b\x00+\x02\x00", 11);  // beyond 2047
  ConvToDateTime(ctx, v);
  EXPECT_EQ(v, "2048-12-31 23:59:59");
  v = "\x07\xe2\x06\x1a";
  ConvToDateTime(ctx, v);
  EXPECT_EQ(v, "2000-01-01 00:00:00");
}

}  // namespace
}  // namespace varnel
