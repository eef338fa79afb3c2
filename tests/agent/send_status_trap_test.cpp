// The delivery status traps the service sends, caught on a loopback socket.
#include "agent/send_status_trap.h"

#include <gtest/gtest.h>

#include "platform/snmp/snmp_message.h"
#include "support/test_support.h"
#include "support/udp_peer.h"

namespace varnel {
namespace {

namespace vt = snmp::vt;

class SendStatusTrapTest : public testing::VarnelTest {
 protected:
  SendStatusTrapTest() {
    ctx.StartTime = {2026, 6, 26, 10, 0, 0};
    Update("Event_CheckInterval",
           "TrapIpAddress = '127.0.0.1', TrapCommunity = 'nms', "
           "TrapUdpPort = " +
               std::to_string(manager.Port()));
  }
  // The next trap the manager receives, its variables as "oid=value/type" lines.
  std::vector<std::string> Received(snmp::Message& m) {
    auto datagram = manager.Receive();
    if (!datagram) return {"nothing"};
    m = snmp::Decode(*datagram).value_or(snmp::Message{});
    std::vector<std::string> out;
    for (const auto& v : m.variables)
      out.push_back(v.oid + "=" + v.value + "/" + std::to_string(v.type));
    return out;
  }
  testing::UdpPeer manager{io};
};

TEST_F(SendStatusTrapTest, VersionOneAndTwoTrapsCarryTheDeliveryRecord) {
  const std::string P = "1.3.6.1.4.1.99412.1.10.1.3.";
  const std::string s = "/" + std::to_string(vt::kOctetString);
  const std::string i = "/" + std::to_string(vt::kInteger);
  ForwardSendStatus(ctx, "off", "PhoneMO", "not sent while forwarding is off", 1, "Sent");
  SetColumn("Event_CheckInterval", "ForwardSendStatusAsTrap", "1");
  ForwardSendStatus(ctx, "Anna", "MailSMTP", "Pump 3 failed", 1, "Sent");
  snmp::Message m;
  EXPECT_EQ(Received(m),
            (std::vector<std::string>{P + "1=Anna" + s, P + "2=Pump 3 failed" + s, P + "3=3" + i,
                                      P + "4=1" + i, P + "5=Sent" + s}));
  EXPECT_EQ(std::tuple(m.version, m.community, m.pduType, m.enterprise, m.genericTrap,
                       m.specificTrap, m.agentAddress, m.timeStamp),
            std::tuple(snmp::kVersion1, "nms", snmp::pdu::kTrapV1, "1.3.6.1.4.1.99412.1.10.2", 6, 1,
                       "127.0.0.1", 90000u));

  SetColumn("Event_CheckInterval", "TrapProtocol", "SNMPv2 Trap");
  ctx.StartTime = {1990, 1, 1, 0, 0, 0};  // an up time beyond 2^31 - 1 hundredths
  ForwardSendStatus(ctx, "Bo", "Other", "x", 3, "No such user");
  auto vars = Received(m);
  ASSERT_EQ(vars.size(), 7u);
  EXPECT_EQ(m.pduType, snmp::pdu::kTrapV2);
  EXPECT_EQ(vars[0], "1.3.6.1.2.1.1.3.0=2147483647/" + std::to_string(vt::kTimeTicks));
  EXPECT_EQ(vars[1],
            "1.3.6.1.6.3.1.1.4.1.0=1.3.6.1.4.1.99412.1.10.2.0.1/" + std::to_string(vt::kObjectId));
  EXPECT_EQ(vars[4], P + "3=/" + std::to_string(vt::kNull));  // a type without a code
  EXPECT_EQ(vars[5], P + "4=3" + i);

  SetColumn("Event_CheckInterval", "TrapIpAddress", "no-such-host.invalid");
  ForwardSendStatus(ctx, "Anna", "PhoneMO", "m", 1, "Sent");
  EXPECT_EQ(Entries(106), std::vector<std::string>{"[11001] Host not found: "
                                                   "no-such-host.invalid (Module: "
                                                   "ForwardSendStatus)"});
}

}  // namespace
}  // namespace varnel
