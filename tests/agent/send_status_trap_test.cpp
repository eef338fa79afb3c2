#include "agent/send_status_trap.h"

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "support/udp_peer.h"

namespace varnel {
namespace {

namespace vt = snmp::vt;

class SendStatusTrapTest : public testing::VarnelTest {
 protected:
  SendStatusTrapTest() {
    ctx.StartTime = {2026, 6, 26, 10, 0, 0};
    SetColumn("Event_CheckInterval", "ForwardSendStatusAsTrap", "1");
    SetColumn("Event_CheckInterval", "TrapIpAddress", "127.0.0.1");
    SetColumn("Event_CheckInterval", "TrapUdpPort", std::to_string(manager.Port()));
    SetColumn("Event_CheckInterval", "TrapCommunity", "traps");
  }
  std::optional<snmp::Message> Sent() {
    auto d = manager.Receive(io, 500);
    return d ? snmp::Decode(*d) : std::nullopt;
  }
  testing::UdpPeer manager;
};

TEST_F(SendStatusTrapTest, V1TrapCarriesTheDeliveryRecord) {
  SetColumn("Event_CheckInterval", "TrapProtocol", "SNMPv1 Trap");
  ForwardSendStatus(ctx, "Anna", "PagerNum", "Pump 3 failed", 3, "No carrier");
  auto m = Sent();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->version, snmp::kVersion1);
  EXPECT_EQ(m->pduType, snmp::pdu::kTrapV1);
  EXPECT_EQ(m->community, "traps");
  EXPECT_EQ(m->enterprise, "1.3.6.1.4.1.99412.1.10.2");
  EXPECT_EQ(m->genericTrap, 6);
  EXPECT_EQ(m->specificTrap, 1);
  EXPECT_EQ(m->timeStamp, 90000u);
  EXPECT_EQ(m->agentAddress, "127.0.0.1");  // the address towards the manager
  ASSERT_EQ(m->variables.size(), 5u);
  const std::pair<const char*, const char*> expected[] = {
      {"1.3.6.1.4.1.99412.1.10.1.3.1", "Anna"}, {"1.3.6.1.4.1.99412.1.10.1.3.2", "Pump 3 failed"},
      {"1.3.6.1.4.1.99412.1.10.1.3.3", "2"},    {"1.3.6.1.4.1.99412.1.10.1.3.4", "3"},
      {"1.3.6.1.4.1.99412.1.10.1.3.5", "No carrier"}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(m->variables[i].oid, expected[i].first);
    EXPECT_EQ(m->variables[i].value, expected[i].second);
  }
  EXPECT_EQ(m->variables[2].type, vt::kInteger);
}

TEST_F(SendStatusTrapTest, V2TrapAndInformSendTheTrapOid) {
  for (const char* protocol : {"SNMPv2 Trap", "SNMPv2 Inform"}) {
    SetColumn("Event_CheckInterval", "TrapProtocol", protocol);
    ForwardSendStatus(ctx, "Bo", "Unknown", "m", 1, "Sent");
    auto m = Sent();
    ASSERT_TRUE(m);
    EXPECT_EQ(m->pduType, snmp::pdu::kTrapV2) << protocol;
    ASSERT_EQ(m->variables.size(), 7u);
    EXPECT_EQ(m->variables[0].oid, "1.3.6.1.2.1.1.3.0");
    EXPECT_EQ(m->variables[0].value, "90000");
    EXPECT_EQ(m->variables[1].value, "1.3.6.1.4.1.99412.1.10.2.0.1");
    EXPECT_EQ(m->variables[4].type, vt::kNull);  // no code for an unknown receiver type
  }
}

TEST_F(SendStatusTrapTest, NothingIsSentWhenForwardingIsOff) {
  SetColumn("Event_CheckInterval", "ForwardSendStatusAsTrap", "0");
  ForwardSendStatus(ctx, "Anna", "PhoneMO", "m", 1, "Sent");
  EXPECT_FALSE(Sent());
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(SendStatusTrapTest, UnresolvableDestinationIsAnError) {
  SetColumn("Event_CheckInterval", "TrapIpAddress", "no-such-host.invalid");
  ForwardSendStatus(ctx, "Anna", "PhoneMO", "m", 1, "Sent");
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_EQ(Entries(106)[0],
            "[11001] Host not found: no-such-host.invalid (Module: ForwardSendStatus)");
}

TEST(ReceiverTypeCode, GroupsTheSixTypes) {
  EXPECT_EQ(ReceiverTypeCode("PhoneDA"), 1);
  EXPECT_EQ(ReceiverTypeCode("PhoneMO"), 1);
  EXPECT_EQ(ReceiverTypeCode("PagerAlfa"), 2);
  EXPECT_EQ(ReceiverTypeCode("PagerNum"), 2);
  EXPECT_EQ(ReceiverTypeCode("MailSMTP"), 3);
  EXPECT_EQ(ReceiverTypeCode("PopupNetSend"), 4);
  EXPECT_EQ(ReceiverTypeCode("phonemo"), 0);
}

}  // namespace
}  // namespace varnel
