#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "platform/clock.h"
#include "platform/database.h"
#include "platform/database_copy.h"
#include "platform/files.h"
#include "platform/posix_serial_port.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using testing::ErrorOf, testing::Texts;

class FilesTest : public testing::VarnelTest {};

TEST_F(FilesTest, LinesWithAnyEndingAndErrorsWithClassicNumbers) {
  std::string path = dir + "/lines.txt";
  testing::WriteBytes(path, "a\r\nb\nc\rd", 8);
  EXPECT_EQ(ReadLines(path), (Texts{"a", "b", "c", "d"}));
  RewriteLines(path, {"x", ""});
  EXPECT_EQ(ReadLines(path), (Texts{"x", ""}));

  EXPECT_EQ(ErrorOf([&] { ReadLines(dir + "/missing.txt"); }), err::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { AppendLines(dir + "/no/dir/x.txt", {"x"}); }), err::kPathNotFound);
  EXPECT_EQ(ErrorOf([&] { ReadLines(dir); }), err::kPathFileAccess);  // a directory
  EXPECT_EQ(ErrorOf([&] { DeleteFile(dir + "/missing.txt"); }), 0);
}

// A write that the disk cuts short (here the file size limit) leaves no half line behind.
TEST_F(FilesTest, AnAppendCutShortIsTakenBack) {
  std::string path = dir + "/drop.log";
  AppendLines(path, {"first"});  // 7 bytes
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small{10, old.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  int number = ErrorOf([&] { AppendLines(path, {"second line"}); });  // 3 bytes fit
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(number, err::kPathFileAccess);
  EXPECT_EQ(ReadLines(path), (Texts{"first"}));
}

LocalTime At(const std::string& text) {
  LocalTime t;
  EXPECT_TRUE(ParseTimeText(text, t)) << text;
  return t;
}

TEST(CalendarArithmetic, MovesAcrossMonthsYearsAndLeapDays) {
  // clang-format off
  struct Case { const char* from; long minutes; const char* to; int weekday; };
  for (const Case& c : {Case{"2026-06-26 10:15:00", 10, "2026-06-26 10:25:00", 5},
           {"2026-12-31 23:59:30", 1, "2027-01-01 00:00:30", 5},
           {"2024-02-28 23:00:00", 60, "2024-02-29 00:00:00", 4},
           {"2100-02-28 23:00:00", 60, "2100-03-01 00:00:00", 1},
           {"2000-03-01 00:10:00", -20, "2000-02-29 23:50:00", 2},
           {"1970-01-01 00:00:00", -1, "1969-12-31 23:59:00", 3}}) {  // clang-format on
    const LocalTime to = AddMinutes(At(c.from), c.minutes);
    EXPECT_EQ(to.Text(), c.to) << c.from;
    EXPECT_EQ(to.weekday, c.weekday) << c.to;
    EXPECT_EQ(At(c.to).weekday, c.weekday) << c.to;
    EXPECT_EQ(SecondsBetween(At(c.from), At(c.to)), c.minutes * 60) << c.from;
  }
}

TEST(CalendarArithmetic, MailDatesCarryTheZoneOffsetInForceThen) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "Europe/Stockholm", 1);
  ::tzset();
  EXPECT_EQ(Rfc5322Date(At("2026-06-26 10:15:00")), "Fri, 26 Jun 2026 10:15:00 +0200");
  EXPECT_EQ(Rfc5322Date(At("2026-01-05 08:00:09")), "Mon, 05 Jan 2026 08:00:09 +0100");
  old ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
}

class DatabaseTest : public testing::VarnelTest {};

TEST_F(DatabaseTest, ConversionsAndMissingFileTableColumnOrRowRaise) {
  SetColumn("Settings_General", "LogIndexEvent", "32767");
  SetColumn("Settings_General", "BufferAllMessOffDuty", "-1");  // Jet's true
  Database db = Db();
  Table t = db.Open("settings_general");  // table and column names ignore letter case
  EXPECT_EQ(std::tuple(t.Int16("logindexevent"), t.Flag("BufferAllMessOffDuty"),
                       t.Flag("NotifyDutyListOnOff"), t.Text("TestLastSent")),
            std::tuple(32767, true, false, ""));
  for (std::int64_t beyond : {32768, -32769}) {
    t.Set("LogIndexEvent", beyond);
    t.Update();
    EXPECT_EQ(ErrorOf([&] { t.Int16("LogIndexEvent"); }), err::kOverflow) << beyond;
    EXPECT_EQ(t.Int32("LogIndexEvent"), beyond);
  }
  EXPECT_EQ(ErrorOf([&] { t.Set("LogIndexEvent", "twelve"); }), err::kTypeMismatch);

  Table empty = db.Open("SuppGrp_Perm");
  std::string junk = dir + "/junk.mdb";
  std::string text(80, 'x');
  testing::WriteBytes(junk, text.data(), text.size());
  // clang-format off
  const std::pair<std::function<void()>, int> cases[] = {{[&] { db.Open("No_Such_Table"); }, 3001},
      {[&] { t.Text("NoSuchColumn"); }, err::kItemNotFound},
      {[&] { t.Set("NoSuchColumn", "x"); }, err::kItemNotFound},
      {[&] { empty.Text("Name"); }, err::kNoCurrentRecord},
      {[&] { Database(dir + "/nowhere/Varnel.mdb"); }, 3014},
      {[&] { Database(junk).Open("Settings_General"); }, 3026}};  // clang-format on
  for (const auto& [call, number] : cases) EXPECT_EQ(ErrorOf(call), number);
}

TEST_F(DatabaseTest, WalkAddAndDeleteInRowOrder) {
  for (const char* name : {"a", "b", "c", "d"}) AddRow("Receiver_Test", {{"Name", name}});
  Database db = Db();
  std::string seen;
  for (Table t = db.Open("Receiver_Test"); !t.Eof(); t.MoveNext()) {
    seen += t.Text("Name");
    if (t.Text("Name") == "b" || t.Text("Name") == "c") {
      t.Delete();
      EXPECT_EQ(ErrorOf([&] { t.Text("Name"); }), err::kNoCurrentRecord);
    }
  }
  EXPECT_EQ(seen, "abcd");
  Table again = db.Open("Receiver_Test");
  EXPECT_EQ(again.RecordCount(), 2u);
  EXPECT_EQ(again.Text("Name"), "a");
}

// Connections are kept between Database objects; what another program does to the file in
// the meantime must still be seen.
TEST_F(DatabaseTest, KeptConnectionFollowsAReplacedFileAndSchemaChanges) {
  const std::string live = ctx.DatabasePath();
  AddRow("Receiver_Test", {{"Name", "old"}});
  EXPECT_EQ(Column("Receiver_Test", "Name"), Texts{"old"});

  const std::string other = dir + "/other.mdb";
  CopyDatabase(live, other);
  Database(other).Exec("UPDATE Receiver_Test SET Name = 'new'");
  Database::CloseKept(other);  // all of it in the file before it is installed
  Database(live).Exec("UPDATE Receiver_Test SET Name = 'logged'");  // still in the old log
  ASSERT_EQ(::rename(other.c_str(), live.c_str()), 0);  // as the standby installs a file
  EXPECT_EQ(Column("Receiver_Test", "Name"), Texts{"new"});

  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(live.c_str(), &raw), SQLITE_OK);
  sqlite3_exec(raw, "ALTER TABLE Receiver_Test ADD COLUMN Extra TEXT DEFAULT 'x'", nullptr, nullptr,
               nullptr);
  sqlite3_close(raw);
  EXPECT_EQ(Column("Receiver_Test", "Extra"), Texts{"x"});

  ASSERT_EQ(::unlink(live.c_str()), 0);
  EXPECT_EQ(ErrorOf([&] { Db(); }), 3014);  // not the kept connection to the removed file
}

TEST(LineSettings, ParsesSpeedParityDataAndStopBits) {
  LineSettings s = ParseLineSettings("115200,E,7,2");
  EXPECT_EQ(std::tuple(s.speed, s.parity, s.dataBits, s.stopBits), std::tuple(115200u, 'e', 7, 2));
  EXPECT_EQ(ParseLineSettings("9600, n, 8, 1.5").stopBits, 2);
  for (const char* bad : {"9600,x,8,1", "9601,n,8,1", "9600,n,9,1", "9600,n,8", "9600,n,8,1,1",
                          "abc,n,8,1", "", "-9600,n,8,1", "9600,n,8,3"})
    EXPECT_EQ(ErrorOf([&] { ParseLineSettings(bad); }), serr::kInvalidProperty) << bad;
}

// COM1 of the program directory is linked to the slave side of a pty.
class PtyPortTest : public ::testing::Test {
 protected:
  PtyPortTest() {
    EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    std::filesystem::create_symlink(::ttyname(slave), home.ctx.Path("ports/COM1"));
  }
  ~PtyPortTest() override { ::close(master), ::close(slave); }
  // Waits until the port has count bytes of input: the pty delivers them asynchronously.
  void AwaitInput(std::size_t count) {
    for (int i = 0; i < 200 && p.InputCount() < count; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  testing::ProgramHome home;
  int master = -1, slave = -1;
  PosixSerialPort p{home.io, home.ctx.ProgramDir};
};

TEST_F(PtyPortTest, OpenDiscardAndClose) {
  EXPECT_EQ(SerialDevicePath(home.ctx.ProgramDir, 3), "/dev/ttyS2");  // no link
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kInvalidPortNumber);    // no number chosen yet
  p.SetPortNumber(1);
  p.SetSettings("19200,e,7,1");
  p.SetDtr(true);  // before opening: applied when the port opens
  p.Open();
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kPortAlreadyOpen);
  ASSERT_EQ(::write(master, "junk", 4), 4);
  AwaitInput(4);
  EXPECT_EQ(p.InputCount(), 4u);
  p.DiscardInput();
  EXPECT_EQ(p.InputCount(), 0u);
  // A pty has no modem lines: RTS and DTR are remembered, carrier detect reads low.
  p.SetRts(true);
  EXPECT_TRUE(p.Rts() && p.Dtr());
  EXPECT_FALSE(p.CarrierDetect());
  p.Close();
  EXPECT_EQ(ErrorOf([&] { p.InputCount(); }), serr::kPortNotOpen);
  // A rejected number does not leave COM1 selected.
  EXPECT_EQ(ErrorOf([&] { p.SetPortNumber(0); }), serr::kInvalidPortNumber);
  EXPECT_EQ(ErrorOf([&] { p.Open(); }), serr::kInvalidPortNumber);
}

// Without modem lines the carrier follows the result codes the modem sends.
TEST_F(PtyPortTest, CarrierFollowsTheModemsResultCodes) {
  p.SetPortNumber(1);
  p.SetSettings("9600,n,8,1");
  p.Open();
  auto carrierAfter = [&](const std::string& text) {  // text from the modem side
    std::size_t expected = p.InputCount() + text.size();
    EXPECT_EQ(::write(master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    AwaitInput(expected);
    return p.CarrierDetect();
  };
  EXPECT_FALSE(carrierAfter("ATDT0740\r\r\nCONNE"));
  EXPECT_TRUE(carrierAfter("CT 9600\r\n"));  // a code split over two reads
  p.Write("\x02PATH down\r");                // message text, not a hang-up command
  EXPECT_TRUE(carrierAfter("ID="));
  EXPECT_FALSE(carrierAfter("\r\nNO CARRIER\r\n"));
  EXPECT_TRUE(carrierAfter("\r\nCONNECT\r\n"));
  p.Write("ATH\r");
  EXPECT_FALSE(carrierAfter("\r\nOK\r\n"));  // the CONNECT read before does not count again
  EXPECT_TRUE(carrierAfter("CONNECT NO CARRIER CONNECT"));  // the last code holds
  p.Close();
  p.Open();
  EXPECT_FALSE(p.CarrierDetect());
  p.Close();
}

}  // namespace
}  // namespace varnel
