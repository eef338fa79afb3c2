#include "agent/snmp_agent.h"

#include <gtest/gtest.h>

#include "agent/mib.h"
#include "platform/files.h"
#include "service/service_open.h"
#include "support/test_support.h"
#include "support/udp_peer.h"

namespace varnel {
namespace {

using snmp::Message;
using snmp::Variable;
namespace vt = snmp::vt;
namespace es = snmp::es;

const std::string P = "1.3.6.1.4.1.99412.1.10";

class SnmpAgentTest : public testing::VarnelTest {
 protected:
  SnmpAgentTest() {
    ctx.snmp.AgentGetCommunity = "public";
    ctx.snmp.AgentSetCommunity = "private";
    ctx.snmp.AgentSysName = "Varnel";
    ctx.DbVersion = "3.2";
    ctx.StartTime = {2026, 6, 26, 10, 0, 0};
    ctx.StatusText = "Countdown for next check ...";
  }

  static Message Request(const std::string& community, std::vector<Variable> vars) {
    Message m;
    m.version = snmp::kVersion2c;
    m.community = community;
    m.variables = std::move(vars);
    return m;
  }
  Message Get(std::vector<std::string> oids, const std::string& community = "public") {
    std::vector<Variable> vars;
    for (auto& o : oids) vars.push_back({o, "", vt::kNull});
    Message m = Request(community, vars);
    SnmpGetRequest(ctx, m);
    return m;
  }
  Message GetNext(const std::string& oid) {
    Message m = Request("public", {{oid, "", vt::kNull}});
    SnmpGetNextRequest(ctx, m);
    return m;
  }
  Message Set(std::vector<Variable> vars, const std::string& community = "private") {
    Message m = Request(community, std::move(vars));
    SnmpSetRequest(ctx, m);
    return m;
  }
  void MakeDropFiles() {
    for (const char* f : {"Event.log", "SmtpMess.log", "SnmpMess.log", "SmsCmd.log",
                          "Hold_Queue.log", "ReqAck.log"})
      AppendLines(File(f), {"x"});
  }
  bool AnyDropFile() {
    for (const char* f : {"Event.log", "SmtpMess.log", "SnmpMess.log", "SmsCmd.log",
                          "Hold_Queue.log", "ReqAck.log"})
      if (FileExists(File(f))) return true;
    return false;
  }
};

TEST_F(SnmpAgentTest, GetAnswersBaseOrInstanceAsTheInstance) {
  Message m = Get({"1.3.6.1.2.1.1.3", "1.3.6.1.2.1.1.3.0", "1.3.6.1.2.1.1.1.0", P + ".1.1.4"});
  EXPECT_EQ(m.errorStatus, 0);
  ASSERT_EQ(m.variables.size(), 4u);
  for (int i : {0, 1}) {
    EXPECT_EQ(m.variables[static_cast<std::size_t>(i)].oid, "1.3.6.1.2.1.1.3.0");
    EXPECT_EQ(m.variables[static_cast<std::size_t>(i)].type, vt::kTimeTicks);
    EXPECT_EQ(m.variables[static_cast<std::size_t>(i)].value, "90000");  // 15 minutes
  }
  EXPECT_EQ(m.variables[2].value, "Varnel, ver 3.2");
  EXPECT_EQ(m.variables[3].oid, P + ".1.1.4.0");
  EXPECT_EQ(m.variables[3].value, "Countdown for next check ...");

  m = Get({"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.8.0", "1.3.6.1.2.1.1.1.0"});
  EXPECT_EQ(m.errorStatus, es::kNoSuchName);
  EXPECT_EQ(m.errorIndex, 2);
  EXPECT_EQ(m.variables[2].type, vt::kNull);  // the walk stopped at the error
}

TEST_F(SnmpAgentTest, GetNextWalksTheTableInOrderAndEndsAfterTheLastObject) {
  std::vector<std::string> walked;
  std::string oid = "1.3.6.1.2.1.1";  // a prefix answers the first object
  for (;;) {
    Message m = GetNext(oid);
    if (m.errorStatus) {
      EXPECT_EQ(m.errorStatus, es::kNoSuchName);
      EXPECT_EQ(m.errorIndex, 1);
      break;
    }
    oid = m.variables[0].oid;
    walked.push_back(oid);
    ASSERT_LT(walked.size(), 30u);
  }
  ASSERT_EQ(walked.size(), 21u);
  EXPECT_EQ(walked[0], "1.3.6.1.2.1.1.1.0");
  EXPECT_EQ(walked[6], "1.3.6.1.2.1.1.7.0");
  EXPECT_EQ(walked[7], P + ".1.1.1.0");
  EXPECT_EQ(walked[20], P + ".1.5.7.0");

  EXPECT_EQ(GetNext(P + ".1.4.2.0").variables[0].oid, P + ".1.5.1.0");
  EXPECT_EQ(GetNext("1.3.6.1.2.1.1.3").variables[0].oid, "1.3.6.1.2.1.1.3.0");
  EXPECT_EQ(GetNext("1.3.6.1.2.1.1.3.0.9").variables[0].oid, "1.3.6.1.2.1.1.4.0");
  EXPECT_EQ(GetNext("1.3.6.1.2.1.1.8").variables[0].oid, P + ".1.1.1.0");  // between
  EXPECT_EQ(GetNext(P + ".1.3").variables[0].oid, P + ".1.4.1.0");
  EXPECT_EQ(GetNext("1.3").variables[0].oid, "1.3.6.1.2.1.1.1.0");
  EXPECT_EQ(GetNext(P + ".1.5.7").variables[0].oid, P + ".1.5.7.0");
  EXPECT_EQ(GetNext(P + ".1.5.8").errorStatus, es::kNoSuchName);
  EXPECT_EQ(GetNext("1.3.6.1.6").errorStatus, es::kNoSuchName);
}

TEST_F(SnmpAgentTest, SetOfSystemTextsStoresWhatItAnswers) {
  Message m = Set({{"1.3.6.1.2.1.1.5.0", "", vt::kOctetString}});
  EXPECT_EQ(m.errorStatus, 0);
  EXPECT_EQ(m.variables[0].value, " ");
  EXPECT_EQ(GetColumn("Settings_SNMP_Agent", "SysName"), " ");

  std::string longText;
  for (int i = 0; i < 150; ++i) longText += "\xc3\xa4";  // "ä" 150 times, as UTF-8
  m = Set({{"1.3.6.1.2.1.1.6", longText, vt::kOctetString},
           {"1.3.6.1.2.1.1.4.0", "Ops \xe4", vt::kOctetString}});  // Latin-1 "ä"
  EXPECT_EQ(m.variables[0].oid, "1.3.6.1.2.1.1.6.0");
  EXPECT_EQ(m.variables[0].value, longText.substr(0, 200));
  EXPECT_EQ(GetColumn("Settings_SNMP_Agent", "SysLocation"), longText.substr(0, 200));
  EXPECT_EQ(GetColumn("Settings_SNMP_Agent", "SysContact"), "Ops \xc3\xa4");
  EXPECT_EQ(ctx.snmp.AgentSysContact, "Ops \xc3\xa4");
}

TEST_F(SnmpAgentTest, SetErrorsNameTheOffendingVariable) {
  ctx.ErrorCount = 7;
  Message m = Set({{"1.3.6.1.2.1.1.5.0", "new", vt::kOctetString},
                   {P + ".1.4.1.0", "5", vt::kInteger}});
  EXPECT_EQ(m.errorStatus, es::kBadValue);
  EXPECT_EQ(m.errorIndex, 2);
  EXPECT_EQ(ctx.ErrorCount, 7);
  EXPECT_EQ(ctx.snmp.AgentSysName, "new");  // variables before the error are applied

  EXPECT_EQ(Set({{"1.3.6.1.2.1.1.3.0", "0", vt::kTimeTicks}}).errorStatus, es::kReadOnly);
  EXPECT_EQ(Set({{P + ".1.5.1.0", "1", vt::kInteger}}).errorStatus, es::kReadOnly);
  EXPECT_EQ(Set({{P + ".1.9.0", "1", vt::kInteger}}).errorStatus, es::kNoSuchName);
  EXPECT_EQ(Set({{P + ".1.1.1.0", "3", vt::kInteger}}).errorStatus, es::kBadValue);
  EXPECT_EQ(Set({{P + ".1.2.1.0", "1", vt::kOctetString}}).errorStatus, es::kBadValue);
  EXPECT_EQ(Set({{"1.3.6.1.2.1.1.5.0", "7", vt::kInteger}}).errorStatus, es::kBadValue);

  m = Set({{P + ".1.4.1", "0", vt::kInteger}});
  EXPECT_EQ(m.errorStatus, 0);
  EXPECT_EQ(ctx.ErrorCount, 0);
  EXPECT_EQ(ctx.LastErrorText, "No internal execution error.");
  m = Set({{P + ".1.2.1.0", "1", vt::kInteger}});
  EXPECT_EQ(ctx.UpdateRequest, 1);
  EXPECT_EQ(m.variables[0].value, "1");
}

TEST_F(SnmpAgentTest, WrongCommunityTouchesNothing) {
  Message m = Set({{P + ".1.1.1.0", "2", vt::kInteger}}, "public");
  EXPECT_EQ(ctx.ServiceState, 1);
  EXPECT_EQ(m.errorStatus, 0);
  EXPECT_EQ(m.variables[0].value, "2");  // answered unchanged
  m = Get({"1.3.6.1.2.1.1.5.0"}, "private");
  EXPECT_EQ(m.variables[0].type, vt::kNull);
  EXPECT_EQ(ctx.PollCountdown, 0);
}

TEST_F(SnmpAgentTest, RunStateSetPausesAndActivationRunsOnlyOnResume) {
  SetColumn("Event_CheckInterval", "CheckInterval", "20");
  Set({{P + ".1.1.1.0", "2", vt::kInteger}});
  EXPECT_EQ(ctx.ServiceState, 2);
  MakeDropFiles();
  Set({{P + ".1.1.1.0", "1", vt::kInteger}});
  EXPECT_EQ(ctx.ServiceState, 1);
  EXPECT_FALSE(AnyDropFile());
  EXPECT_EQ(ctx.Countdown, 20);

  MakeDropFiles();
  Set({{P + ".1.1.1.0", "1", vt::kInteger}});  // already running: no activation
  EXPECT_TRUE(FileExists(File("Event.log")));
}

TEST_F(SnmpAgentTest, StandbyIsActivatedByTheFirstGetAfterAPause) {
  ctx.IsPrimary = false;
  ctx.ServiceState = 2;
  ctx.PollMeTimeout = 60;
  ctx.ReqAckIdCounter = 917;
  ctx.ListenerStatus[kLsLogFile] = 2;
  SetColumn("Event_CheckInterval", "CheckInterval", "25");
  {
    Database db = Db();
    Table t = db.Open("Receiver_Test");
    t.AddNew();
    t.Set("Name", "pending test");
    t.Update();
  }
  ctx.snmp.manager.Listen(0, "127.0.0.1");
  ctx.snmp.InTrapIndex = 5;
  MakeDropFiles();

  Message m = Get({P + ".1.1.1.0", P + ".1.1.2.0"});
  EXPECT_EQ(m.variables[0].value, "1");
  EXPECT_EQ(m.variables[1].value, "25");
  EXPECT_EQ(ctx.ServiceState, 1);
  EXPECT_EQ(ctx.PollCountdown, 60);
  EXPECT_FALSE(AnyDropFile());
  EXPECT_EQ(ctx.snmp.InTrapIndex, 1);
  EXPECT_EQ(ctx.ReqAckIdCounter, 900);
  EXPECT_EQ(ctx.ListenerStatus[kLsLogFile], 1);
  EXPECT_TRUE(Db().Open("Receiver_Test").Eof());

  // The primary is not activated by a poll.
  ctx.IsPrimary = true;
  ctx.ServiceState = 2;
  MakeDropFiles();
  GetNext("1.3.6.1.2.1.1.1.0");
  EXPECT_EQ(ctx.ServiceState, 2);
  EXPECT_TRUE(AnyDropFile());
}

TEST_F(SnmpAgentTest, RequestOverTheSocketIsAnsweredWithTheResponsePdu) {
  SetColumn("Settings_SNMP_Agent", "Enabled", "1");
  SetColumn("Settings_SNMP_Agent", "IpAddress", "127.0.0.1");
  SetColumn("Settings_SNMP_Agent", "UdpPort", "0");
  SetColumn("Settings_SNMP_Agent", "PollMe", "1");
  SetColumn("Settings_SNMP_Agent", "PollMeTimeout", "45");
  ServiceOpen(ctx, "snmpAgent");
  int port = ctx.snmp.agent.LocalPort();
  ASSERT_NE(port, 0);
  EXPECT_EQ(GetColumn("Settings_SNMP_Agent", "Status"),
            "2026-06-26 10:15:00\r\nSNMP Agent Started\r\nIP=127.0.0.1\r\nPort=" +
                std::to_string(port));
  EXPECT_TRUE(ctx.PollMe);
  EXPECT_EQ(ctx.PollMeTimeout, 45);

  // A v1 GetNext is answered with code 66, which is still the v1 Response PDU.
  testing::UdpPeer manager;
  Message m = Request("public", {{"1.3.6.1.2.1.1.5.0", "", vt::kNull}});
  m.version = snmp::kVersion1;
  m.pduType = snmp::pdu::kGetNextV1;
  m.requestId = 4242;
  manager.SendTo(port, snmp::Encode(m));
  auto answer = manager.Receive(io);
  ASSERT_TRUE(answer);
  auto r = snmp::Decode(*answer);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->version, snmp::kVersion1);
  EXPECT_EQ(r->pduType, snmp::pdu::kResponseV1);
  EXPECT_EQ(r->requestId, 4242);
  EXPECT_EQ(r->variables[0].oid, "1.3.6.1.2.1.1.6.0");
  // Garbage and a trap sent to the agent get no answer and do no harm.
  manager.SendTo(port, "\x30\x03\x02\x01");
  Message trap = Request("public", {});
  trap.pduType = snmp::pdu::kTrapV2;
  manager.SendTo(port, snmp::Encode(trap));
  EXPECT_FALSE(manager.Receive(io, 200));
  EXPECT_EQ(ctx.snmp.agent.Malformed(), 1u);
  EXPECT_EQ(ctx.snmp.agent.Ignored(), 1u);

  ServiceClose(ctx, "snmpAgent");
  EXPECT_FALSE(ctx.snmp.agent.Listening());
  EXPECT_EQ(GetColumn("Settings_SNMP_Agent", "Status"), "Not Started");
}

TEST_F(SnmpAgentTest, AgentPortInUseIsReported) {
  testing::UdpPeer holder;
  SetColumn("Settings_SNMP_Agent", "Enabled", "1");
  SetColumn("Settings_SNMP_Agent", "IpAddress", "0.0.0.0");
  SetColumn("Settings_SNMP_Agent", "UdpPort", std::to_string(holder.Port()));
  ServiceOpen(ctx, "snmpAgent");
  EXPECT_EQ(Entries(106), std::vector<std::string>{"SNMP Agent Port was in use"});
  EXPECT_EQ(GetColumn("Settings_SNMP_Agent", "Status"),
            "2026-06-26 10:15:00\r\nFailed to Start\r\nPort was in use");
}

}  // namespace
}  // namespace varnel
