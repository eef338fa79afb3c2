#include <filesystem>
#include <gtest/gtest.h>

#include "intake/snmp_trap_events.h"
#include "intake/snmp_trap_reception.h"
#include "intake/trap_definitions.h"
#include "platform/files.h"
#include "platform/snmp/snmp_socket.h"
#include "support/test_support.h"
#include "support/udp_peer.h"

namespace varnel {
namespace {

// Traps from the socket to the trap queue, and from the queue to the event list.
using snmp::Message;
using snmp::Variable;
namespace vt = snmp::vt;

Variable Int(const std::string& value) { return {"1.3.6.1.4.1.9.9.1", value, vt::kInteger}; }
Variable Str(const std::string& value) { return {"1.3.6.1.4.1.9.9.2", value, vt::kOctetString}; }

// A v2c trap from 127.0.0.1: sysUpTime.0, snmpTrapOID.0, then vars.
Message V2Trap(const std::string& trapOid, std::vector<Variable> vars = {},
               int type = snmp::pdu::kTrapV2) {
  vars.insert(vars.begin(), {{"1.3.6.1.2.1.1.3.0", "555", vt::kTimeTicks},
                             {"1.3.6.1.6.3.1.1.4.1.0", trapOid, vt::kObjectId}});
  Message m;
  m.version = snmp::kVersion2c;
  m.community = "public";
  m.pduType = type;
  m.requestId = 77;
  m.variables = vars;
  m.senderAddress = "127.0.0.1";
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
  using Texts = std::vector<std::string>;
  Texts Messages() {
    Texts out;
    for (const InEvent& e : Drain()) out.push_back(e.Message);
    return out;
  }
  std::vector<InEvent> Drain() {
    ctx.events.Clear();
    WriteSnmpTrapEventsToEventList(ctx);
    std::vector<InEvent> out;
    for (int i = 1; i <= ctx.events.Count(); ++i) out.push_back(ctx.events[i]);
    return out;
  }
};

TEST_F(SnmpTrapIntakeTest, ARepeatedInformIsAnsweredButQueuedOnce) {
  ctx.snmp.manager->OnTrap([this](Message& m) { snmpManager_Trap(ctx, m); });
  ctx.snmp.manager->Listen(0, "127.0.0.1");
  testing::UdpPeer manager{io};
  Message inform = V2Trap("1.3.6.1.4.1.1.0.7", {Str("x")}, snmp::pdu::kInform);
  for (int attempt = 0; attempt < 2; ++attempt) {
    manager.SendTo(ctx.snmp.manager->LocalPort(), snmp::Encode(inform));
    auto answer = manager.Receive();
    ASSERT_TRUE(answer) << attempt;
    auto r = snmp::Decode(*answer);
    ASSERT_TRUE(r);
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
  EXPECT_EQ(Entries(106),
            std::vector<std::string>{"[13] Type mismatch (Module: snmpManager_Trap)"});
  EXPECT_EQ(ReadLines(File("SnmpMess.log")),
            std::vector<std::string>{
                "2026-06-26 10:15:00\tPhoneMO\tTelia\tAnna\t+4670123\tx\t2\tPump 3 failed  "});
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
  EXPECT_TRUE(Drain().empty());
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
  const struct {
    const char* priority;
    std::vector<Variable> vars;
    const char* expected;
  } cases[] = {
      {"$3", {Str("x"), Str("y"), Int("2")}, "2 - Major"},   // label "major"
      {"$3", {Str("x"), Str("y"), Int("5")}, "5 - Normal"},  // no such item
      {"$3", {Str("x"), Str("y"), Str(" warning ")}, "4 - Warning"},
      {"$3", {Str("x"), Str("y"), Str("major(2)")}, "5 - Normal"},  // text is not looked up
      {"$3", {Str("x")}, "5 - Normal"},                             // no third variable
      {"3 - Minor", {}, "3 - Minor"},
      {"Critical", {}, "5 - Normal"},
  };
  for (const auto& c : cases) {
    d.SnmpTrapPriority = c.priority;
    Trap("1.3.6.1.4.1.1.0.3", c.vars);
    EXPECT_EQ(Drain().at(0).Priority, c.expected) << c.priority << " " << c.vars.size();
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
  for (auto [code, expected] : {std::pair{"$A", "10.0.0.1"},
                                {"$a", "router-one"},
                                {"$R", "127.0.0.1"},
                                {"$r", "127.0.0.1"},
                                {"$2", "node-b"},
                                {"$3", ""},
                                {"host", ""},
                                {"$21", ""}}) {
    d.SnmpTrapNodeName = code;
    Trap("1.3.6.1.4.1.1.0.5", {Str("a"), Str("node-b")});
    EXPECT_EQ(Drain().at(0).Name, expected) << code;
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
            std::tuple(300, "enterprises.1.0.8", 1));
}

TEST(TrapDefinitionVar, SplitsAtTheFirstTwoSpaces) {
  const std::pair<const char*, const char*> cases[] = {
      // Two spaces: the name part is empty.
      {"1.3.6.1.2.1.2.2.1.8  ifOperStatus  up(1),down(2), testing(3)",
       "1.3.6.1.2.1.2.2.1.8||ifOperStatus  up(1),down(2), testing(3)"},
      {"1.3.6.1.4.1.9.1 severity critical(1),major(2)",
       "1.3.6.1.4.1.9.1|severity|critical(1),major(2)"},
      {"no-space-here", "o|n|t"},                           // unchanged
      {"1.3.6.1.4.1.9.2 onlyName", "1.3.6.1.4.1.9.2|n|t"},  // one space: only the OID
      {" ", "||"},
  };
  for (auto [text, expected] : cases) {
    TrapDefinitionVar v{"o", "n", "t"};
    ParseTrapDefinitionVar(text, v);
    EXPECT_EQ(v.varOid + "|" + v.varName + "|" + v.varType, expected) << text;
  }
}

TEST_F(SnmpTrapIntakeTest, DefinitionsLoadTwoHundredRowsInTableOrder) {
  Db().Exec(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 201) "
      "INSERT INTO Event_SNMP_MibTrap (TrapOid) SELECT '1.3.6.1.4.1.1.0.' || i FROM n");
  ReadDb_Trap(ctx);
  EXPECT_EQ(ctx.snmp.SnmpTrap.size(), 200u);  // the 201st row is not loaded
  EXPECT_EQ(ctx.snmp.SnmpTrap[1].SnmpTrapOid, "1.3.6.1.4.1.1.0.1");
  EXPECT_EQ(ctx.snmp.SnmpTrap[200].SnmpTrapOid, "1.3.6.1.4.1.1.0.200");
}

}  // namespace
}  // namespace varnel
