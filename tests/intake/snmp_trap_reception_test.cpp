#include "intake/snmp_trap_reception.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "service/service_open.h"
#include "support/test_support.h"
#include "support/udp_peer.h"

namespace varnel {
namespace {

using snmp::Message;
using snmp::Variable;
using testing::UdpPeer;
namespace vt = snmp::vt;

Message V1Trap(int generic, int specific, std::vector<Variable> vars) {
  Message m;
  m.version = snmp::kVersion1;
  m.community = "public";
  m.pduType = snmp::pdu::kTrapV1;
  m.enterprise = "1.3.6.1.4.1.99412.1.10.2";
  m.agentAddress = "10.9.8.7";
  m.genericTrap = generic;
  m.specificTrap = specific;
  m.timeStamp = 4711;
  m.variables = std::move(vars);
  m.senderAddress = "127.0.0.1";
  m.senderPort = 40000;
  return m;
}

// A v2c trap: sysUpTime.0, snmpTrapOID.0, then vars.
Message V2Trap(const std::string& trapOid, std::vector<Variable> vars,
               int type = snmp::pdu::kTrapV2) {
  Message m;
  m.version = snmp::kVersion2c;
  m.community = "public";
  m.pduType = type;
  m.requestId = 77;
  m.variables = {{"1.3.6.1.2.1.1.3.0", "1234", vt::kTimeTicks},
                 {"1.3.6.1.6.3.1.1.4.1.0", trapOid, vt::kObjectId}};
  for (auto& v : vars) m.variables.push_back(std::move(v));
  m.senderAddress = "127.0.0.1";
  m.senderPort = 40000;
  return m;
}

std::vector<Variable> Numbered(int n, int from = 1) {
  std::vector<Variable> vars;
  for (int i = from; i < from + n; ++i)
    vars.push_back({"1.3.6.1.4.1.9.1." + std::to_string(i), "v" + std::to_string(i),
                    vt::kOctetString});
  return vars;
}

class SnmpTrapReceptionTest : public testing::VarnelTest {
 protected:
  SnmpTrapReceptionTest() { ctx.snmp.TrapServerCommunity = "public"; }
  const InTrapSlot& Slot(int n) { return ctx.snmp.InTrap[static_cast<std::size_t>(n)]; }
  void Receive(Message m) { snmpManager_Trap(ctx, m); }
};

TEST_F(SnmpTrapReceptionTest, V1TrapsGetGenericOrEnterpriseOid) {
  Receive(V1Trap(2, 0, {{"1.3.6.1.2.1.2.2.1.1.3", "3", vt::kInteger}}));
  Receive(V1Trap(6, 2, Numbered(21)));
  ASSERT_EQ(ctx.snmp.InTrapIndex, 3);
  const InTrapSlot& linkDown = Slot(1);
  EXPECT_EQ(linkDown.InTrapOid, "1.3.6.1.2.1.11.0.2");
  EXPECT_EQ(linkDown.InTrapSourceAgent, "10.9.8.7");
  EXPECT_EQ(linkDown.InTrapSourceNetwork, "127.0.0.1");
  EXPECT_EQ(linkDown.InTrapTime, "2026-06-26 10:15:00");
  EXPECT_EQ(linkDown.InTrapCommunityName, "public");
  EXPECT_EQ(linkDown.InTrapSysUpTime, "4711");
  EXPECT_EQ(linkDown.InTrapVarList[1].varOid, "1.3.6.1.2.1.2.2.1.1.3");
  EXPECT_EQ(linkDown.InTrapVarList[1].varValue, "3");
  EXPECT_EQ(linkDown.InTrapVarList[1].varType, "1");
  EXPECT_EQ(linkDown.InTrapVarList[2].varOid, "");

  const InTrapSlot& enterprise = Slot(2);
  EXPECT_EQ(enterprise.InTrapOid, "1.3.6.1.4.1.99412.1.10.2.0.2");
  EXPECT_EQ(enterprise.InTrapVarList[20].varValue, "v20");  // the 21st is not kept
}

TEST_F(SnmpTrapReceptionTest, V2TrapKeepsTwentyVariablesAndTheTrapAddressAnywhere) {
  std::vector<Variable> vars = Numbered(9);
  vars.push_back({"1.3.6.1.6.3.18.1.3.0", "192.168.7.9", vt::kIpAddress});
  for (auto& v : Numbered(16, 10)) vars.push_back(v);
  Receive(V2Trap("1.3.6.1.4.1.99412.1.10.2.0.2", vars));
  const InTrapSlot& t = Slot(1);
  EXPECT_EQ(t.InTrapOid, "1.3.6.1.4.1.99412.1.10.2.0.2");
  EXPECT_EQ(t.InTrapSysUpTime, "1234");
  EXPECT_EQ(t.InTrapSourceAgent, "192.168.7.9");
  EXPECT_EQ(t.InTrapSourceNetwork, "127.0.0.1");
  for (int k = 1; k <= 20; ++k)
    EXPECT_EQ(t.InTrapVarList[static_cast<std::size_t>(k)].varValue, "v" + std::to_string(k));

  // The address after all 25 further variables still names the agent; without it the agent
  // is 0.0.0.0.
  vars = Numbered(25);
  vars.push_back({"1.3.6.1.6.3.18.1.3.0", "10.0.0.5", vt::kIpAddress});
  Receive(V2Trap("1.3.6.1.4.1.1.0.1", vars));
  EXPECT_EQ(Slot(2).InTrapSourceAgent, "10.0.0.5");
  Receive(V2Trap("1.3.6.1.4.1.1.0.1", {}));
  EXPECT_EQ(Slot(3).InTrapSourceAgent, "0.0.0.0");
}

TEST_F(SnmpTrapReceptionTest, WrongCommunityAndFullQueueDropTraps) {
  Message wrong = V1Trap(0, 0, {});
  wrong.community = "Public";  // case-sensitive
  Receive(wrong);
  EXPECT_EQ(ctx.snmp.InTrapIndex, 1);
  for (int i = 0; i < 305; ++i) Receive(V1Trap(3, 0, {}));
  EXPECT_EQ(ctx.snmp.InTrapIndex, 301);
  EXPECT_EQ(ctx.snmp.InTrapDropped, 5u);
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(SnmpTrapReceptionTest, InformIsAnsweredAndARepeatIsNotQueuedTwice) {
  ctx.snmp.manager.OnTrap([this](Message& m) { snmpManager_Trap(ctx, m); });
  ctx.snmp.manager.Listen(0, "127.0.0.1");
  UdpPeer manager;
  Message inform = V2Trap("1.3.6.1.4.1.1.0.7", Numbered(2), snmp::pdu::kInform);
  std::string datagram = snmp::Encode(inform);
  for (int attempt = 0; attempt < 2; ++attempt) {
    manager.SendTo(ctx.snmp.manager.LocalPort(), datagram);
    auto answer = manager.Receive(io);
    ASSERT_TRUE(answer) << attempt;
    auto r = snmp::Decode(*answer);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->pduType, snmp::pdu::kResponse);
    EXPECT_EQ(r->requestId, 77);
    EXPECT_EQ(r->variables.size(), 4u);
  }
  EXPECT_EQ(ctx.snmp.InTrapIndex, 2);
  EXPECT_EQ(Slot(1).InTrapOid, "1.3.6.1.4.1.1.0.7");

  // An inform with the wrong community is neither queued nor answered.
  inform.community = "other";
  inform.requestId = 78;
  manager.SendTo(ctx.snmp.manager.LocalPort(), snmp::Encode(inform));
  EXPECT_FALSE(manager.Receive(io, 200));
  EXPECT_EQ(ctx.snmp.InTrapIndex, 2);
}

std::vector<Variable> DirectMessage(const std::string& type, const std::string& var5) {
  return {{"1.3.6.1.4.1.99412.1.14.1.1", type, vt::kOctetString},
          {"1.3.6.1.4.1.99412.1.14.1.2", "Telia", vt::kOctetString},
          {"1.3.6.1.4.1.99412.1.14.1.3", "Anna", vt::kOctetString},
          {"1.3.6.1.4.1.99412.1.14.1.4", "+4670123", vt::kOctetString},
          {"1.3.6.1.4.1.99412.1.14.1.5", var5, vt::kInteger},
          {"1.3.6.1.4.1.99412.1.14.1.6", "x", vt::kOctetString},
          {"1.3.6.1.4.1.99412.1.14.1.7", "2", vt::kOctetString},
          {"1.3.6.1.4.1.99412.1.14.1.8", "Pump\t3 failed\r\n", vt::kOctetString}};
}

TEST_F(SnmpTrapReceptionTest, DirectMessageTrapWritesOneDropFileLine) {
  Receive(V2Trap(kDirectMessageTrapOid, DirectMessage("2", "2")));
  EXPECT_EQ(ctx.snmp.InTrapIndex, 1);  // not queued
  Receive(V2Trap(kDirectMessageTrapOid, DirectMessage("9", "2")));
  ASSERT_EQ(ReadLines(File("SnmpMess.log")),
            (std::vector<std::string>{
                "2026-06-26 10:15:00\tPhoneMO\tTelia\tAnna\t+4670123\tx\t2\tPump 3 failed  ",
                "2026-06-26 10:15:00\t9\tTelia\tAnna\t+4670123\tx\t2\tPump 3 failed  "}));

  // The fifth variable 1 makes it an ordinary trap; a non-numeric one is an error.
  Receive(V2Trap(kDirectMessageTrapOid, DirectMessage("2", "1")));
  EXPECT_EQ(ctx.snmp.InTrapIndex, 2);
  Receive(V2Trap(kDirectMessageTrapOid, DirectMessage("2", "two")));
  EXPECT_EQ(ctx.snmp.InTrapIndex, 2);
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_EQ(Entries(106)[0], "[13] Type mismatch (Module: snmpManager_Trap)");
  EXPECT_EQ(ReadLines(File("SnmpMess.log")).size(), 2u);
}

TEST_F(SnmpTrapReceptionTest, TraceListsTheSlotAndItsVariables) {
  ctx.DebugMode = "Event Sources";
  Receive(V1Trap(6, 2, {{"1.3.6.1.2.1.1.5.0", "caf\xe9", vt::kOctetString}}));
  EXPECT_EQ(ReadLines(File("Debug/Event_SnmpTrap.txt")),
            (std::vector<std::string>{"********** SNMP Trap **********",
                                      "InTrapVersion(1)=SNMPv1Trap",
                                      "InTrapOid(1)=1.3.6.1.4.1.99412.1.10.2.0.2",
                                      "InTrapSourceAgent(1)=10.9.8.7",
                                      "InTrapSourceNetwork(1)=127.0.0.1",
                                      "InTrapTime(1)=2026-06-26 10:15:00",
                                      "InTrapCommunityName(1)=public",
                                      "InTrapSysUpTime(1)=4711",
                                      "InTrapVarList(1).varOid(1)=1.3.6.1.2.1.1.5.0",
                                      "InTrapVarList(1).varValue(1)=caf\xc3\xa9",
                                      "InTrapVarList(1).varType(1)=2", ""}));
}

TEST_F(SnmpTrapReceptionTest, ServiceOpenStartsAndCloseStopsTheTrapServer) {
  SetColumn("Event_SNMP_TrapServer", "Enabled", "1");
  SetColumn("Event_SNMP_TrapServer", "IpAddress", "127.0.0.1");
  SetColumn("Event_SNMP_TrapServer", "UdpPort", "0");
  SetColumn("Event_SNMP_TrapServer", "Community", "secret");
  SetColumn("Event_SNMP_TrapServer", "SkipTrapsNotDef", "1");
  ServiceOpen(ctx, "snmpManager");
  int port = ctx.snmp.manager.LocalPort();
  ASSERT_NE(port, 0);
  EXPECT_EQ(ctx.listeners.trapLocalPort, port);
  EXPECT_EQ(GetColumn("Event_SNMP_TrapServer", "Status"),
            "2026-06-26 10:15:00\r\nTrap Server Started\r\nIP=127.0.0.1\r\nPort=" +
                std::to_string(port));
  EXPECT_EQ(ctx.ListenerStatus[kLsTrapServer], 1);
  EXPECT_EQ(ctx.snmp.TrapServerCommunity, "secret");
  EXPECT_TRUE(ctx.snmp.SkipTrapsNotDef);

  // A trap over the socket reaches the queue.
  UdpPeer agent;
  Message m = V1Trap(1, 0, {});
  m.community = "secret";
  agent.SendTo(port, snmp::Encode(m));
  EXPECT_TRUE(testing::PumpUntil(io, [&] { return ctx.snmp.InTrapIndex == 2; }));

  ServiceClose(ctx, "snmpManager");
  EXPECT_FALSE(ctx.snmp.manager.Listening());
  EXPECT_EQ(ctx.listeners.trapLocalPort, 0);
  EXPECT_EQ(GetColumn("Event_SNMP_TrapServer", "Status"), "Not Started");
}

TEST_F(SnmpTrapReceptionTest, PortInUseIsReportedAndTheStartGoesOn) {
  UdpPeer holder;
  SetColumn("Event_SNMP_TrapServer", "Enabled", "1");
  SetColumn("Event_SNMP_TrapServer", "IpAddress", "127.0.0.1");
  SetColumn("Event_SNMP_TrapServer", "UdpPort", std::to_string(holder.Port()));
  ServiceOpen(ctx, "snmpManager");
  EXPECT_EQ(Entries(106), std::vector<std::string>{"SNMP Trap Port was in use"});
  EXPECT_EQ(GetColumn("Event_SNMP_TrapServer", "Status"),
            "2026-06-26 10:15:00\r\nFailed to Start\r\nPort was in use");
  EXPECT_EQ(ctx.ListenerStatus[kLsTrapServer], 2);
  EXPECT_EQ(ctx.listeners.trapLocalPort, 0);

  SetColumn("Event_SNMP_TrapServer", "IpAddress", "192.0.2.77");  // not this machine's
  ServiceOpen(ctx, "snmpManager");
  EXPECT_EQ(Entries(106).back(), "SNMP Trap IP Address is not valid");
}

}  // namespace
}  // namespace varnel
