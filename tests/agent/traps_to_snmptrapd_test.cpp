// The traps the service sends, received and decoded by net-snmp's snmptrapd.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "agent/send_status_trap.h"
#include "intake/snmp_trap_forward.h"
#include "platform/files.h"
#include "support/test_support.h"
#include "support/udp_peer.h"

namespace varnel {
namespace {

constexpr const char* kTrapd = "/usr/sbin/snmptrapd";

class TrapsToSnmptrapdTest : public testing::VarnelTest {
 protected:
  void SetUp() override {
    if (!FileExists(kTrapd)) GTEST_SKIP() << "snmptrapd is not installed";
    int port = testing::UdpPeer().Port();  // a free port, released again for snmptrapd
    log_ = dir + "/snmptrapd.log";
    std::vector<std::string> args = {
        kTrapd, "-f", "-C", "--disableAuthorization=yes", "-n", "-On", "-Lf", log_, "-F",
        "TRAP v=%s ent=%N gen=%w specific=%q agent=%a %P vars=%v\n",
        "udp:127.0.0.1:" + std::to_string(port)};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // No MIB files: every OID is printed numerically and nothing is logged about them.
    std::string env[] = {"MIBS=", "MIBDIRS=/nonexistent"};
    char* envp[] = {env[0].data(), env[1].data(), nullptr};
    ASSERT_EQ(posix_spawn(&pid_, kTrapd, nullptr, nullptr, argv.data(), envp), 0);
    ASSERT_NE(Lines("NET-SNMP version", 0), "");

    ctx.StartTime = {2026, 6, 26, 10, 0, 0};
    for (const char* table : {"Event_SysLog", "Event_CheckInterval"}) {
      SetColumn(table, "TrapIpAddress", "127.0.0.1");
      SetColumn(table, "TrapUdpPort", std::to_string(port));
      SetColumn(table, "TrapCommunity", "nms");
    }
  }

  void TearDown() override {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }

  // The n-th line (0-based) of the snmptrapd log that contains what, waiting up to 5 s.
  std::string Lines(const std::string& what, std::size_t n) {
    for (int i = 0; i < 200; ++i) {
      std::ifstream in(log_);
      std::vector<std::string> found;
      for (std::string line; std::getline(in, line);)
        if (line.find(what) != std::string::npos) found.push_back(line);
      if (found.size() > n) return found[n];
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return "";
  }
  std::string Trap(std::size_t n) { return Lines("TRAP v=", n); }

  pid_t pid_ = 0;
  std::string log_;
};

TEST_F(TrapsToSnmptrapdTest, ForwardedSyslogMessage) {
  ForwardSysLogAsTrap(ctx, "10.4.4.4", "off", 3, "not sent while forwarding is off");
  SetColumn("Event_SysLog", "ForwardSysLogAsTrap", "1");
  SetColumn("Event_SysLog", "TrapProtocol", "SNMPv1 Trap");
  ForwardSysLogAsTrap(ctx, "10.4.4.4", "router7", 3, "link down");
  EXPECT_EQ(Trap(0),
            "TRAP v=0 ent=.1.3.6.1.4.1.99412.1.10.2 gen=6 specific=.2 agent=10.4.4.4 TRAP, "
            "SNMP v1, community nms vars=.1.3.6.1.4.1.99412.1.10.1.6.1 = STRING: \"router7\"\t"
            ".1.3.6.1.4.1.99412.1.10.1.6.2 = INTEGER: 3\t"
            ".1.3.6.1.4.1.99412.1.10.1.6.3 = STRING: \"link down\"");

  SetColumn("Event_SysLog", "TrapProtocol", "SNMPv2 Inform");
  ForwardSysLogAsTrap(ctx, "10.4.4.4", "router7", 1, "fan failed");
  EXPECT_EQ(Trap(1),
            "TRAP v=1 ent=. gen=0 specific=0 agent=0.0.0.0 TRAP2, SNMP v2c, community nms "
            "vars=.1.3.6.1.2.1.1.3.0 = Timeticks: (90000) 0:15:00.00\t"
            ".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.4.1.99412.1.10.2.0.2\t"
            ".1.3.6.1.4.1.99412.1.10.1.6.1 = STRING: \"router7\"\t"
            ".1.3.6.1.4.1.99412.1.10.1.6.2 = INTEGER: 1\t"
            ".1.3.6.1.4.1.99412.1.10.1.6.3 = STRING: \"fan failed\"");
  EXPECT_EQ(ctx.ErrorCount, 0);
}

TEST_F(TrapsToSnmptrapdTest, DeliveryStatus) {
  ForwardSendStatus(ctx, "off", "PhoneMO", "not sent while forwarding is off", 1, "Sent");
  SetColumn("Event_CheckInterval", "ForwardSendStatusAsTrap", "1");
  ForwardSendStatus(ctx, "Anna", "MailSMTP", "Pump 3 failed", 1, "Sent");
  EXPECT_EQ(Trap(0),
            "TRAP v=0 ent=.1.3.6.1.4.1.99412.1.10.2 gen=6 specific=.1 agent=127.0.0.1 TRAP, "
            "SNMP v1, community nms vars=.1.3.6.1.4.1.99412.1.10.1.3.1 = STRING: \"Anna\"\t"
            ".1.3.6.1.4.1.99412.1.10.1.3.2 = STRING: \"Pump 3 failed\"\t"
            ".1.3.6.1.4.1.99412.1.10.1.3.3 = INTEGER: 3\t"
            ".1.3.6.1.4.1.99412.1.10.1.3.4 = INTEGER: 1\t"
            ".1.3.6.1.4.1.99412.1.10.1.3.5 = STRING: \"Sent\"");

  SetColumn("Event_CheckInterval", "TrapProtocol", "SNMPv2 Trap");
  ctx.StartTime = {1990, 1, 1, 0, 0, 0};  // an up time beyond 2^31 - 1 hundredths
  ForwardSendStatus(ctx, "Bo", "PopupNetSend", "x", 3, "No such user");
  EXPECT_EQ(Trap(1),
            "TRAP v=1 ent=. gen=0 specific=0 agent=0.0.0.0 TRAP2, SNMP v2c, community nms "
            "vars=.1.3.6.1.2.1.1.3.0 = Timeticks: (2147483647) 248 days, 13:13:56.47\t"
            ".1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.4.1.99412.1.10.2.0.1\t"
            ".1.3.6.1.4.1.99412.1.10.1.3.1 = STRING: \"Bo\"\t"
            ".1.3.6.1.4.1.99412.1.10.1.3.2 = STRING: \"x\"\t"
            ".1.3.6.1.4.1.99412.1.10.1.3.3 = INTEGER: 4\t"
            ".1.3.6.1.4.1.99412.1.10.1.3.4 = INTEGER: 3\t"
            ".1.3.6.1.4.1.99412.1.10.1.3.5 = STRING: \"No such user\"");
  // A receiver type outside the six has no code.
  ForwardSendStatus(ctx, "Cy", "Other", "y", 1, "Sent");
  EXPECT_NE(Trap(2).find(".1.3.6.1.4.1.99412.1.10.1.3.3 = NULL"), std::string::npos) << Trap(2);

  SetColumn("Event_CheckInterval", "TrapIpAddress", "no-such-host.invalid");
  ForwardSendStatus(ctx, "Anna", "PhoneMO", "m", 1, "Sent");
  EXPECT_EQ(Entries(106), std::vector<std::string>{"[11001] Host not found: "
                                                   "no-such-host.invalid (Module: "
                                                   "ForwardSendStatus)"});
}

}  // namespace
}  // namespace varnel
