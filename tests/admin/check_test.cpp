// The configuration rules of check that the end-to-end test of planted faults leaves out:
// which listeners collide, the journal, mail server fallbacks, single-row tables.
#include "admin/check.h"

#include <gtest/gtest.h>

#include "platform/database.h"
#include "support/program_home.h"

namespace varnel::admin {
namespace {

// The findings after the SQL edits, each as "where: text".
std::vector<std::string> FindingsAfter(const std::string& sql) {
  testing::ProgramHome home;
  {
    Database db(home.File("Varnel.mdb"));
    db.Exec(sql);
  }
  std::vector<std::string> out;
  for (const Finding& f : CheckProgramDir(home.ctx.ProgramDir))
    out.push_back(f.where + ": " + f.text);
  return out;
}

using Lines = std::vector<std::string>;

TEST(CheckTest, ListenersCollideOnlyWhenEnabledOnTheSameProtocolPortAndAddress) {
  const std::string agent =
      "UPDATE Settings_SNMP_Agent SET Enabled=1, IpAddress='127.0.0.1', UdpPort=5000;";
  // clang-format off
  const std::pair<const char*, Lines> cases[] = {
      {"", {}},
      // A listener on every address takes the port of each specific one too.
      {"1, Protocol1='UDP', IpAddress1='0.0.0.0'",
       {"Event_SysLog row 1 ListeningPort1: sysLog1 listens on UDP port 5000 like snmpAgent"}},
      {"1, Protocol1='TCP', IpAddress1='0.0.0.0'", {}},
      {"1, Protocol1='UDP', IpAddress1='127.0.0.2'", {}},
      {"0, Protocol1='UDP', IpAddress1='127.0.0.1'", {}}};  // clang-format on
  for (const auto& [syslog, found] : cases)
    EXPECT_EQ(FindingsAfter(agent + (*syslog ? "UPDATE Event_SysLog SET ListeningPort1=5000, "
                                               "Enabled1=" + std::string(syslog) : "")),
              found) << syslog;
  // The standby link listens over TCP on the agent's port number.
  EXPECT_EQ(FindingsAfter(agent + "UPDATE Settings_General SET RemoteBackup=1;"
                                  "UPDATE Event_SMTP SET Enabled=1, IpAddress='', TcpPort=5000;"),
            Lines{"Settings_SNMP_Agent row 1 UdpPort: backupServer listens on TCP port 5000 like "
                  "smtpServer"});
  EXPECT_EQ(FindingsAfter("UPDATE Event_SNMP_TrapServer SET Enabled=1, UdpPort=0;"),
            Lines{"Event_SNMP_TrapServer row 1 UdpPort: snmpManager is enabled with no port"});
}

TEST(CheckTest, JournalMailServersAndSingleRowTables) {
  EXPECT_EQ(
      FindingsAfter("INSERT INTO SuppGrp_Jour (SupportGroup, RecvName1, RecvType1) "
                    "VALUES ('Night shift', 'Bo', 'PagerNum');"),
      (Lines{"SuppGrp_Jour row 1 SupportGroup: support group \"Night shift\" does not exist in "
             "SuppGrp_Perm",
             "SuppGrp_Jour row 1 RecvName1: receiver \"Bo\" does not exist in Recv_Pager_Num"}));
  // The second mail server counts only when it is used.
  const std::string mail =
      "INSERT INTO Settings_Mail_SMTP (Name) VALUES ('Relay');"
      "INSERT INTO Recv_Mail_SMTP (Name, MailServer1, MailServer2, UseMailServer2) "
      "VALUES ('Ops', 'Relay', 'Spare', ";
  EXPECT_EQ(FindingsAfter(mail + "0);"), Lines{});
  EXPECT_EQ(FindingsAfter(mail + "1);"),
            Lines{"Recv_Mail_SMTP row 1 MailServer2: mail server \"Spare\" does not exist in "
                  "Settings_Mail_SMTP"});
  EXPECT_EQ(FindingsAfter("INSERT INTO Event_CheckInterval (CheckInterval) VALUES (30);"),
            Lines{"Event_CheckInterval: holds 2 rows; the service reads exactly one"});
}

}  // namespace
}  // namespace varnel::admin
