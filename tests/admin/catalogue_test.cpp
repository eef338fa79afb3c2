// The value rules of varnel-admin on the real schema: every kind at its bounds, the service's
// word lists taken exactly, and filter patterns split the way the service splits them.
#include "admin/catalogue.h"

#include <gtest/gtest.h>

#include "admin/command.h"
#include "admin/row_check.h"
#include "support/program_home.h"

namespace varnel::admin {
namespace {

class CatalogueTest : public ::testing::Test {
 protected:
  CatalogueTest() : db(home.File("Varnel.mdb")), tables(ReadCatalogue(db)) {}
  const TableInfo& T(const std::string& name) { return FindTable(tables, name); }
  // The stored text of a value, or "refused".
  std::string Stored(const std::string& table, const std::string& column, const std::string& text) {
    const TableInfo& t = T(table);
    try {
      return CheckValue(t, FindColumn(t, column), text).Text();
    } catch (const BadInput&) {
      return "refused";
    }
  }
  testing::ProgramHome home;
  Database db;
  std::vector<TableInfo> tables;
};

TEST_F(CatalogueTest, ValuesAreTakenOrRefusedByTheirColumnsRule) {
  const struct { const char *table, *column, *text, *stored; } cases[] = {
      {"Recv_Mail_SMTP", "Enabled", "OFF", "0"},
      {"Recv_Mail_SMTP", "Enabled", "-1", "1"},  // true as older databases stored it
      {"Recv_Mail_SMTP", "Enabled", "2", "refused"},
      {"Recv_Mail_SMTP", "DutyTimeMon", "16777216", "refused"},
      {"Settings_SNMP_Agent", "UdpPort", "65536", "refused"},
      {"Event_SysLog", "ListeningPort1", "+514", "514"},
      {"Settings_General", "BackupHour", "24", "refused"},
      {"Event_CheckInterval", "CheckInterval", "32768", "refused"},
      {"Event_CheckInterval", "CheckInterval", "3.5", "refused"},
      {"Settings_Mail_SMTP", "TimeOut", "100000", "100000"},  // 32-bit in this table only
      {"Settings_Oper_Phone_MO", "MaxChar", "100000", "refused"},
      {"SuppGrp_Perm", "RecvType2", "pageralfa", "refused"},  // the service compares exactly
      {"SuppGrp_Perm", "RecvType2", "", ""},
      {"SuppGrp_Perm", "Priority", "3", "refused"},
      {"SuppGrp_Perm", "PrioritySearch", "!=", "refused"},
      {"SuppGrp_Perm", "NodeNameSearch", "!=", "!="},
      {"Settings_General", "DebugMode", "Debug", "refused"},
      {"Event_SysLog", "FilterPriority", "4 - Major", "refused"},  // a group word, not Syslog's
      {"Event_SMTP", "SendingSystem", "anything at all", "anything at all"},
      {"Event_SMS", "Protocol", "ETSI 07.05-TEXT", "refused"},  // the reader decodes PDUs only
      {"Settings_Oper_Pager_Alfa", "Protocol", "ETSI 07.05-TEXT", "refused"},  // a GSM word
      {"Settings_Oper_Phone_Dialup", "CharSet", "GSM 3.38 Default", "refused"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Stored(c.table, c.column, c.text), c.stored)
        << c.table << "." << c.column << "=" << c.text;
}

TEST_F(CatalogueTest, NamesAreFoundInAnyCaseAndUnknownOnesListTheValidOnes) {
  EXPECT_EQ(T("recv_mail_smtp").name, "Recv_Mail_SMTP");
  EXPECT_TRUE(T("Settings_General").singleRow);
  EXPECT_FALSE(T("SuppGrp_Perm").singleRow);
  EXPECT_EQ(T("Settings_SNMP_Agent").columns[FindColumn(T("Settings_SNMP_Agent"), "pollmetimeout")],
            "PollMeTimeout");
  try {
    FindColumn(T("Recv_Popup_NETSEND"), "Address");
    FAIL();
  } catch (const BadInput& e) {
    EXPECT_STREQ(e.what(),
                 "table Recv_Popup_NETSEND has no column \"Address\"; its columns are: Name, "
                 "Enabled, DutyTimeMon, DutyTimeTue, DutyTimeWed, DutyTimeThu, DutyTimeFri, "
                 "DutyTimeSat, DutyTimeSun, WinAddress");
  }
}

TEST_F(CatalogueTest, PatternsAreSplitByTheSearchWordBeforeTheyAreCompiled) {
  const TableInfo& groups = T("SuppGrp_Perm");
  auto problems = [&](const std::string& message, const std::string& search) {
    std::vector<std::string> row;
    for (std::size_t i = 0; i < groups.columns.size(); ++i)
      row.push_back(groups.integer[i] ? "0" : "");
    row[FindColumn(groups, "Message")] = message;
    row[FindColumn(groups, "MessageSearch")] = search;
    std::string found;
    for (const RowProblem& p : CheckRow(groups, row)) found += p.column + ": " + p.text + "; ";
    return found;
  };
  // "=" splits at <OR>, leaving "[a" alone; "!=" splits at <AND> and keeps the list whole.
  EXPECT_EQ(problems("x<OR>[a", "="), "Message: pattern \"[a\": Invalid pattern string; ");
  EXPECT_EQ(problems("[x<OR>a]", "!="), "");
  EXPECT_EQ(problems("db*<AND>[z-a]", "!="),
            "Message: pattern \"[z-a]\": Invalid pattern string; ");
  EXPECT_EQ(problems("*", "~"),
            "MessageSearch: takes one of: \"=\", \"!=\" (or nothing); not \"~\"; ");
}

}  // namespace
}  // namespace varnel::admin
