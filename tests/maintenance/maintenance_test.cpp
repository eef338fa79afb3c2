#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "maintenance/backup_database.h"
#include "maintenance/delete_old_log_entries.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Texts;

// The test clock stands at 2026-06-26 10:15; with DelOldLogDays 30 the 26th of May is old.
constexpr const char* kOld = "2026-05-26 23:59:59";
constexpr const char* kKept = "2026-05-27 00:00:00";

class HousekeepingTest : public testing::VarnelTest {
 protected:
  HousekeepingTest() {
    Update("Settings_General", "DelOldLogDays = 30");
    ctx.DateFormat = "DD.MM.YYYY";
  }
  void AddEvent(const std::string& when, const std::string& message) {
    AddRow("LogFiles_Event", {{"Index", "605260001"},
                              {"DateAndTime", when},
                              {"Priority", "2 - Major"},
                              {"NodeName", "core1"},
                              {"Message", message},
                              {"EventSource", "Syslog"}});
  }
  Texts Errors() const { return Entries(106); }
};

TEST_F(HousekeepingTest, RowsPastTheCalendarDayLimitMoveToTheirExportFiles) {
  AddEvent(kOld, "old\ttabbed\r\nline");
  AddEvent("2026-05-26 00:00:00", "old at midnight");
  AddEvent(kKept, "thirty days");
  AddEvent("", "undated");
  AddRow("LogFiles_Alarm", {{"Index", "605260000"},
                            {"DateAndTime", kOld},
                            {"Receiver", "ops"},
                            {"Message", "m"},
                            {"SendStatus", "sent"},
                            {"SendStatusInt", "1"}});
  AddRow("LogFiles_Alarm", {{"DateAndTime", kKept}});
  AddRow("LogFiles_ReqAck", {{"Indexx", "7"},
                             {"DateAndTime", kOld},
                             {"AlarmID", "901"},
                             {"Receiver", "ops"},
                             {"AckStatus", "3"},
                             {"AckInfo", "done"}});
  AddRow("LogFiles_Action", {{"Index", "3"},
                             {"CaseNr", "12"},
                             {"DateAndTime", kOld},
                             {"EstimatedOK", "2026-05-27 08:00:00"},
                             {"MessageInternal", "in"},
                             {"MessageExternal", "out"},
                             {"Signature", "js"},
                             {"CaseStatus", "closed"}});
  AddRow("LogFiles_Maintenance", {{"Index", "4"},
                                  {"DateAndTime", kOld},
                                  {"EstimatedOK", "2026-05-27 08:00:00"},
                                  {"MessageInternal", "in"},
                                  {"MessageExternal", "out"},
                                  {"Signature", "js"}});
  DeleteOldLogEntries(ctx);

  EXPECT_THAT(Errors(), ElementsAre());
  EXPECT_THAT(Column("LogFiles_Event", "Message"), ElementsAre("thirty days", "undated"));
  EXPECT_THAT(Column("LogFiles_Alarm", "DateAndTime"), ElementsAre(kKept));
  for (const char* table : {"LogFiles_ReqAck", "LogFiles_Action", "LogFiles_Maintenance"})
    EXPECT_THAT(Column(table, "DateAndTime"), ElementsAre()) << table;
  EXPECT_THAT(Lines("Backup/Event_old.txt"),
              ElementsAre("Index\tTime\tSeverity\tSource\tMessage\tEvent Source",
                          "605260001\t26.05.2026 23:59:59\t2 - Major\tcore1\told tabbed  line\t"
                          "Syslog",
                          "605260001\t26.05.2026 00:00:00\t2 - Major\tcore1\told at midnight\t"
                          "Syslog"));
  EXPECT_THAT(Lines("Backup/Alarm_old.txt"),
              ElementsAre("Index\tTime\tReceiver\tMessage\tSendStatus Text\tSendStatus Integer",
                          "605260000\t26.05.2026 23:59:59\tops\tm\tsent\t1"));
  EXPECT_THAT(Lines("Backup/ReqAck_old.txt"),
              ElementsAre("Index\tTime\tAlarm ID\tReceiver\tAck Status\tAck Info",
                          "7\t26.05.2026 23:59:59\t901\tops\t3\tdone"));
  // The action log's times keep their stored form; the maintenance log's start is formatted.
  EXPECT_THAT(Lines("Backup/Action_old.txt"),
              ElementsAre("Index\tCase#\tStartTime\tEndTime\tMessage to IT Staff\t"
                          "Message to Customer\tSignature\tCase Status",
                          "3\t12\t2026-05-26 23:59:59\t2026-05-27 08:00:00\tin\tout\tjs\tclosed"));
  EXPECT_THAT(Lines("Backup/Maintenance_old.txt"),
              ElementsAre("Index\tStartTime\tEndTime\tMessage to IT Staff\tMessage to Customer\t"
                          "Signature",
                          "4\t26.05.2026 23:59:59\t2026-05-27 08:00:00\tin\tout\tjs"));
}

TEST_F(HousekeepingTest, CountersRestartAndTheMaintenanceNumberOnlyPast999) {
  for (auto [maintenance, after] : {std::pair{"500", "500"}, {"999", "999"}, {"1000", "1"}}) {
    Update("Settings_General",
           "LogIndexEvent = 3004, LogIndexAlarm = 17, LogIndexReqAck = 5, LogIndexAction = 9, "
           "LogIndexMaintenance = " +
               std::string(maintenance));
    DeleteOldLogEntries(ctx);
    for (const char* counter :
         {"LogIndexEvent", "LogIndexAlarm", "LogIndexReqAck", "LogIndexAction"})
      EXPECT_EQ(GetColumn("Settings_General", counter), "1") << counter;
    EXPECT_EQ(GetColumn("Settings_General", "LogIndexMaintenance"), after) << maintenance;
  }
}

TEST_F(HousekeepingTest, AnExportFileRemovedByHandStartsAgainWithItsHeader) {
  AddEvent(kOld, "first");
  DeleteOldLogEntries(ctx);
  AddEvent(kOld, "second");
  DeleteOldLogEntries(ctx);
  ASSERT_EQ(Lines("Backup/Event_old.txt").size(), 3u);  // one header, two lines
  DeleteFile(File("Backup/Event_old.txt"));
  AddEvent(kOld, "third");
  DeleteOldLogEntries(ctx);
  EXPECT_THAT(Lines("Backup/Event_old.txt"),
              ElementsAre(HasSubstr("Index\tTime"), HasSubstr("\tthird\t")));
}

// An export that cannot be written keeps the table's rows, reports the failure, leaves no
// partial lines, and does not hold up the next table; the next run exports the rows.
TEST_F(HousekeepingTest, AnUnwritableExportFileKeepsTheRowsForTheNextRun) {
  const std::string file = File("Backup/Event_old.txt");
  int locked = -1;
  rlimit unlimited{};
  ::getrlimit(RLIMIT_FSIZE, &unlimited);
  ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
  struct Case {
    const char* what;
    std::function<void()> spoil;
    const char* error;
    std::size_t alarmsKept;  // a lock on one file does not stop the next table
  };
  const Case cases[] = {
      {"missing Backup directory",
       [&] { std::filesystem::rename(File("Backup"), File("Backup.away")); }, "[76] Path not found",
       1},
      {"locked by another program",
       [&] {
         locked = ::open(file.c_str(), O_WRONLY | O_CREAT, 0644);
         ::flock(locked, LOCK_EX);
       },
       "[70] Permission denied", 0},
      // The disk fills up after the first 32 KiB of the export.
      {"disk full",
       [&] {
         rlimit small = unlimited;
         small.rlim_cur = 32768;
         ::setrlimit(RLIMIT_FSIZE, &small);
       },
       "[75] Path/File access error", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // 700 rows of about 100 characters: more than one piece of the export is written.
    Db().Exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 700) "
        "INSERT INTO LogFiles_Event (DateAndTime, Message) "
        "SELECT '2026-05-26 23:59:59', printf('%0100d', i) FROM n");
    AddRow("LogFiles_Alarm", {{"DateAndTime", kOld}});
    log.entries.clear();
    c.spoil();
    DeleteOldLogEntries(ctx);
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    ASSERT_FALSE(Errors().empty());
    EXPECT_THAT(Errors()[0], AllOf(HasSubstr(c.error), HasSubstr("(Module: DeleteOldLogEntries)")));
    EXPECT_EQ(Column("LogFiles_Event", "Message").size(), 700u);
    EXPECT_THAT(Lines("Backup/Event_old.txt"), ElementsAre());
    EXPECT_EQ(Column("LogFiles_Alarm", "DateAndTime").size(), c.alarmsKept);

    // Repaired: the same rows are exported once and removed.
    if (locked >= 0) ::close(locked), locked = -1;
    if (std::filesystem::exists(File("Backup.away")))
      std::filesystem::rename(File("Backup.away"), File("Backup"));
    log.entries.clear();
    DeleteOldLogEntries(ctx);
    EXPECT_THAT(Errors(), ElementsAre());
    EXPECT_THAT(Column("LogFiles_Event", "Message"), ElementsAre());
    EXPECT_EQ(Lines("Backup/Event_old.txt").size(), 701u);
    std::filesystem::remove(file);
  }
}

TEST_F(HousekeepingTest, TheDailyCopyNeedsTheBackupDirectory) {
  Update("Settings_General", "BackupVarnel = 1, BackupHour = 10");
  std::filesystem::remove_all(File("Backup"));
  BackupDatabase(ctx);
  EXPECT_THAT(Errors(), ElementsAre(AllOf(HasSubstr("[76] Path not found"),
                                          HasSubstr("(Module: BackupDatabase)"))));
  EXPECT_FALSE(std::filesystem::exists(File("Backup")));  // never created by the service
}

}  // namespace
}  // namespace varnel
