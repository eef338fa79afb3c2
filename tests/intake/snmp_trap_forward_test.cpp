#include "intake/snmp_trap_forward.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "support/udp_peer.h"

namespace varnel {
namespace {

class ForwardSysLogAsTrapTest : public testing::VarnelTest {
 protected:
  ForwardSysLogAsTrapTest() {
    ctx.StartTime = {2026, 6, 26, 10, 14, 0};
    SetColumn("Event_SysLog", "ForwardSysLogAsTrap", "1");
    SetColumn("Event_SysLog", "TrapIpAddress", "localhost");
    SetColumn("Event_SysLog", "TrapUdpPort", std::to_string(manager.Port()));
    SetColumn("Event_SysLog", "TrapCommunity", "fwd");
  }
  std::optional<snmp::Message> Forward(const std::string& protocol, const std::string& sender) {
    SetColumn("Event_SysLog", "TrapProtocol", protocol);
    ForwardSysLogAsTrap(ctx, sender, "router7", 3, "link down\tnow");
    auto d = manager.Receive(io, 500);
    return d ? snmp::Decode(*d) : std::nullopt;
  }
  testing::UdpPeer manager;
};

TEST_F(ForwardSysLogAsTrapTest, AnythingButTheV2WordsSendsAV1Trap) {
  for (const char* protocol : {"SNMPv1 Trap", "", "snmpv2 trap"}) {
    auto m = Forward(protocol, "192.168.1.20");
    ASSERT_TRUE(m) << protocol;
    EXPECT_EQ(m->pduType, snmp::pdu::kTrapV1);
    EXPECT_EQ(m->community, "fwd");
    EXPECT_EQ(m->enterprise, "1.3.6.1.4.1.99412.1.10.2");
    EXPECT_EQ(m->genericTrap, 6);
    EXPECT_EQ(m->specificTrap, 2);
    EXPECT_EQ(m->timeStamp, 6000u);
    EXPECT_EQ(m->agentAddress, "192.168.1.20");
    ASSERT_EQ(m->variables.size(), 3u);
    EXPECT_EQ(m->variables[0].oid, "1.3.6.1.4.1.99412.1.10.1.6.1");
    EXPECT_EQ(m->variables[0].value, "router7");
    EXPECT_EQ(m->variables[1].value, "3");
    EXPECT_EQ(m->variables[1].type, snmp::vt::kInteger);
    EXPECT_EQ(m->variables[2].value, "link down\tnow");
  }
  // An IPv6 sender cannot stand in the v1 agent address.
  EXPECT_EQ(Forward("SNMPv1 Trap", "::1")->agentAddress, "0.0.0.0");
}

TEST_F(ForwardSysLogAsTrapTest, InformIsSentAsAV2Trap) {
  for (const char* protocol : {"SNMPv2 Trap", "SNMPv2 Inform"}) {
    auto m = Forward(protocol, "192.168.1.20");
    ASSERT_TRUE(m) << protocol;
    EXPECT_EQ(m->pduType, snmp::pdu::kTrapV2);
    ASSERT_EQ(m->variables.size(), 5u);
    EXPECT_EQ(m->variables[0].oid, "1.3.6.1.2.1.1.3.0");
    EXPECT_EQ(m->variables[0].value, "6000");
    EXPECT_EQ(m->variables[1].oid, "1.3.6.1.6.3.1.1.4.1.0");
    EXPECT_EQ(m->variables[1].value, "1.3.6.1.4.1.99412.1.10.2.0.2");
    EXPECT_EQ(m->variables[4].oid, "1.3.6.1.4.1.99412.1.10.1.6.3");
  }
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(ForwardSysLogAsTrapTest, ForwardingOffSendsNothing) {
  SetColumn("Event_SysLog", "ForwardSysLogAsTrap", "0");
  EXPECT_FALSE(Forward("SNMPv1 Trap", "10.0.0.1"));
}

}  // namespace
}  // namespace varnel
