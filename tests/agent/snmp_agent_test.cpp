#include "agent/snmp_agent.h"

#include <functional>
#include <gtest/gtest.h>

#include "agent/send_status_trap.h"
#include "host/service_open.h"
#include "platform/files.h"
#include "platform/snmp/snmp_message.h"
#include "platform/snmp/snmp_socket.h"
#include "service/settings.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using namespace testing;  // varnel::testing: the shared SNMP names and fixtures

const std::string P = "1.3.6.1.4.1.99412.1.10";

class SnmpAgentTest : public testing::VarnelTest {
 protected:
  SnmpAgentTest() {
    ctx.snmp.AgentGetCommunity = "public";
    ctx.snmp.AgentSetCommunity = "private";
    ctx.PollMeTimeout = 60;
  }

  // The answer of handler to a v2c request with these variables.
  Message Run(void (*handler)(Varnel&, Message&), std::vector<Variable> vars,
              const std::string& community = "public") {
    Message m = V2c(0, std::move(vars), community);
    handler(ctx, m);
    return m;
  }
  Message Set(std::vector<Variable> v) { return Run(SnmpSetRequest, std::move(v), "private"); }
};

// A walk of a subtree is seen end to end; these are the points between and beyond objects.
TEST_F(SnmpAgentTest, GetStopsAtTheFirstUnknownObjectGetNextGoesOnFromAnyPoint) {
  Message m = Run(SnmpGetRequest, {{"1.3.6.1.2.1.1.5.0", "", vt::kNull}}, "private");
  EXPECT_EQ(m.variables[0].type, vt::kNull);
  EXPECT_EQ(ctx.PollCountdown, 0);  // not a poll either
  m = Run(SnmpGetRequest, {{"1.3.6.1.2.1.1.5.0", "", vt::kNull},
                           {"1.3.6.1.2.1.1.8.0", "", vt::kNull},
                           {"1.3.6.1.2.1.1.1.0", "", vt::kNull}});
  EXPECT_EQ(std::tuple(m.errorStatus, m.errorIndex, m.variables[2].type),
            std::tuple(es::kNoSuchName, 2, vt::kNull));
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {{"1.3", "1.3.6.1.2.1.1.1.0"},
      {"1.3.6.1.2.1.1.3.0.9", "1.3.6.1.2.1.1.4.0"}, {"1.3.6.1.2.1.1.8", P + ".1.1.1.0"},
      {P + ".1.5.8", ""}, {"1.3.6.1.6", ""}};  // clang-format on
  for (const auto& [from, next] : cases) {
    m = Run(SnmpGetNextRequest, {{from, "", vt::kNull}});
    EXPECT_EQ(std::tuple(m.variables[0].oid, m.errorStatus, m.errorIndex),
              next.empty() ? std::tuple(from, es::kNoSuchName, 1) : std::tuple(next, 0, 0))
        << from;
  }
}

TEST_F(SnmpAgentTest, SetOfSystemTextsStoresWhatItAnswers) {
  std::string longText;
  for (int i = 0; i < 150; ++i) longText += "\xc3\xa4";  // "ä" 150 times, as UTF-8
  Message m = Set({{"1.3.6.1.2.1.1.6", longText, vt::kOctetString},
                   {"1.3.6.1.2.1.1.4.0", "Ops \xe4", vt::kOctetString}});  // Latin-1 "ä"
  EXPECT_EQ(std::tuple(m.errorStatus, m.variables[0].oid, m.variables[0].value),
            std::tuple(0, "1.3.6.1.2.1.1.6.0", longText.substr(0, 200)));  // 100 characters
  EXPECT_EQ(GetColumn("Settings_SNMP_Agent", "SysLocation"), longText.substr(0, 200));
  EXPECT_EQ(GetColumn("Settings_SNMP_Agent", "SysContact") + ctx.snmp.AgentSysContact,
            "Ops \xc3\xa4Ops \xc3\xa4");
}

TEST_F(SnmpAgentTest, SetErrorsNameTheOffendingVariable) {
  ctx.ErrorCount = 7;
  // clang-format off
  const struct { std::vector<Variable> vars; int status, index; } cases[] = {
      {{{"1.3.6.1.2.1.1.5.0", "new", vt::kOctetString}, {P + ".1.4.1.0", "5", vt::kInteger}},
       es::kBadValue, 2},
      {{{"1.3.6.1.2.1.1.4.0", "a", vt::kOctetString}, {"1.3.6.1.2.1.1.3.0", "0", vt::kTimeTicks}},
       es::kReadOnly, 2},
  };  // clang-format on
  for (const auto& c : cases) {
    Message m = Set(c.vars);
    EXPECT_EQ(std::pair(m.errorStatus, m.errorIndex), std::pair(c.status, c.index))
        << c.vars[0].oid;
  }
  EXPECT_EQ(ctx.ErrorCount, 7);
  EXPECT_EQ(ctx.snmp.AgentSysName, "new");  // variables before the error are applied

  Message m = Set({{P + ".1.4.1", "0", vt::kInteger}, {P + ".1.2.1.0", "1", vt::kInteger}});
  EXPECT_EQ(std::tuple(m.errorStatus, ctx.ErrorCount, ctx.LastErrorText, ctx.UpdateRequest),
            std::tuple(0, 0, "No internal execution error.", UpdateRequestCode::Reread));
}

TEST_F(SnmpAgentTest, ResumeBySetOrByAPollOfAStandbyStartsAFreshCycle) {
  SetColumn("Event_CheckInterval", "CheckInterval", "20");
  Set({{P + ".1.1.1.0", "2", vt::kInteger}});
  EXPECT_EQ(ctx.ServiceState, ServiceStateCode::Paused);
  auto resume = [&] { Set({{P + ".1.1.1.0", "1", vt::kInteger}}); };
  auto poll = [&] {
    ctx.ServiceState = ServiceStateCode::Paused;
    Run(SnmpGetNextRequest, {{"1.3", "", vt::kNull}});
  };
  // fresh: running again, countdown restarted, drop files deleted.
  // clang-format off
  const struct { bool primary; std::function<void()> request; bool fresh; } cases[] = {
      {true, resume, true}, {true, resume, false},  // already running
      {true, poll, false},                          // a paused primary stays paused
      {false, poll, true}};                         // a paused standby is made active
  // clang-format on
  for (const auto& c : cases) {
    AppendLines(File("Event.log"), {"x"});
    ctx.IsPrimary = c.primary;
    ctx.Countdown = 5;
    c.request();
    EXPECT_EQ(FileExists(File("Event.log")), !c.fresh);
    EXPECT_EQ(ctx.Countdown, c.fresh ? 20 : 5);
  }
  EXPECT_EQ(ctx.ServiceState, ServiceStateCode::Running);
  EXPECT_EQ(ctx.PollCountdown, 60);  // a request restarts the poll watchdog
}

TEST_F(SnmpAgentTest, SocketCountsGarbageAndIgnoresTraps) {
  Update("Settings_SNMP_Agent", "Enabled = 1, IpAddress = '127.0.0.1', UdpPort = 0");
  ServiceOpen(ctx, "snmpAgent");
  testing::UdpPeer peer{io};
  peer.SendTo(ctx.snmp.agent->LocalPort(), "\x30\x03\x02\x01");
  peer.SendTo(ctx.snmp.agent->LocalPort(), snmp::Encode(V2c(snmp::pdu::kTrapV2, {}, "public")));
  EXPECT_FALSE(peer.Receive(200));
  EXPECT_EQ(std::tuple(ctx.snmp.agent->Malformed(), ctx.snmp.agent->Ignored()), std::tuple(1u, 1u));
  ServiceClose(ctx, "snmpAgent");
  EXPECT_FALSE(ctx.snmp.agent->Listening());
}

// The delivery status traps the service sends, caught on a loopback socket.
class SendStatusTrapTest : public testing::VarnelTest {
 protected:
  SendStatusTrapTest() {
    ctx.StartTime = {2026, 6, 26, 10, 0, 0};
    const std::string port = std::to_string(manager.Port());
    Update("Event_CheckInterval",
           "TrapIpAddress = '127.0.0.1', TrapCommunity = 'nms', TrapUdpPort = " + port);
  }
  // The next trap the manager receives, its variables as "oid=value/type" lines.
  std::vector<std::string> Received(Message& m) {
    auto datagram = manager.Receive();
    if (!datagram) return {"nothing"};
    m = snmp::Decode(*datagram).value_or(Message{});
    std::vector<std::string> out;
    for (const auto& v : m.variables)
      out.push_back(v.oid + "=" + v.value + "/" + std::to_string(v.type));
    return out;
  }
  testing::UdpPeer manager{io};
};

TEST_F(SendStatusTrapTest, VersionOneAndTwoTrapsCarryTheDeliveryRecord) {
  const std::string R = P + ".1.3.";
  const auto type = [](int t) { return "/" + std::to_string(t); };
  const std::string s = type(vt::kOctetString), i = type(vt::kInteger);
  ForwardSendStatus(ctx, "off", "PhoneMO", "not sent while forwarding is off", 1, "Sent");
  SetColumn("Event_CheckInterval", "ForwardSendStatusAsTrap", "1");
  ReadDb_Updates(ctx);  // the settings are kept until an update
  ForwardSendStatus(ctx, "Anna", "MailSMTP", "Pump 3 failed", 1, "Sent");
  Message m;
  EXPECT_EQ(Received(m), (Texts{R + "1=Anna" + s, R + "2=Pump 3 failed" + s, R + "3=3" + i,
                                R + "4=1" + i, R + "5=Sent" + s}));
  EXPECT_EQ(
      std::tuple(m.version, m.community, m.pduType, m.enterprise, m.genericTrap, m.specificTrap,
                 m.agentAddress, m.timeStamp),
      std::tuple(snmp::kVersion1, "nms", snmp::pdu::kTrapV1, P + ".2", 6, 1, "127.0.0.1", 90000u));

  SetColumn("Event_CheckInterval", "TrapProtocol", "SNMPv2 Trap");
  ReadDb_Updates(ctx);  // the settings are kept until an update
  ctx.StartTime = {1990, 1, 1, 0, 0, 0};  // an up time beyond 2^31 - 1 hundredths
  ForwardSendStatus(ctx, "Bo", "Other", "x", 3, "No such user");
  EXPECT_EQ(Received(m), (Texts{"1.3.6.1.2.1.1.3.0=2147483647" + type(vt::kTimeTicks),
                                "1.3.6.1.6.3.1.1.4.1.0=" + P + ".2.0.1" + type(vt::kObjectId),
                                R + "1=Bo" + s, R + "2=x" + s,
                                R + "3=" + type(vt::kNull),  // a type without a code
                                R + "4=3" + i, R + "5=No such user" + s}));
  EXPECT_EQ(m.pduType, snmp::pdu::kTrapV2);

  SetColumn("Event_CheckInterval", "TrapIpAddress", "no-such-host.invalid");
  ReadDb_Updates(ctx);  // the settings are kept until an update
  ForwardSendStatus(ctx, "Anna", "PhoneMO", "m", 1, "Sent");
  EXPECT_EQ(Entries(106),
            Texts{"[11001] Host not found: no-such-host.invalid (Module: ForwardSendStatus)"});
}

}  // namespace
}  // namespace varnel
