#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "delivery/req_ack.h"
#include "delivery/sms_cmd.h"
#include "support/test_support.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using testing::Texts;

constexpr const char* kDue = "2026-06-26 10:00:00";  // before the test clock's 10:15:00

class AckTest : public testing::VarnelTest {
 protected:
  AckTest() {
    Db().Exec(
        "INSERT INTO Recv_Phone_MO (Name, Enabled, PhoneNumber, DutyTimeFri) VALUES "
        "('Ops', 1, '+46700', 16777215), ('Blank', 0, '', 0);"  // Blank: a receiver without number
        "INSERT INTO SuppGrp_Perm (Name, RecvName1, RecvType1, RecvName2, RecvName3, RecvName4, "
        "RecvName5, ReqAckWait) VALUES ('g', 'Ops', 'PhoneMO', 'None', 'None', 'None', 'None', 5)");
    delivered.clear();
  }
  static void Deliver(Varnel&, SendEntry& e) {
    delivered.push_back(e.RecvName + ":" + e.RecvMess);
    e.RecvSendStatusInt = kSent;
  }
  static std::string Line(const std::string& group, int id, const std::string& due, int left) {
    return group + "\t" + std::to_string(id) + "\t" + due + "\t" + std::to_string(left) +
           "\t<ID=" + std::to_string(id) + "> text";
  }
  static inline Texts delivered;
};

TEST_F(AckTest, ReminderRunSendsDueEntriesCountsThemDownAndDropsWhatIsSpentOrBroken) {
  RewriteLines(File("ReqAck.log"),
               {Line("g", 901, kDue, 2), Line("g", 902, "2026-06-26 11:00:00", 2),
                Line("gone", 903, kDue, 2),  // no such group: nobody is reminded
                Line("g", 904, kDue, 0),     // no reminders configured
                Line("g", 905, kDue, 1), "garbage", "g\tabc\t" + std::string(kDue) + "\t1\tx"});
  ProcessReqAckLog(ctx, Deliver);
  EXPECT_THAT(delivered, ElementsAre("Ops:<ID=901> text", "Ops:<ID=905> text"));
  EXPECT_THAT(Lines("ReqAck.log"), ElementsAre(Line("g", 901, "2026-06-26 10:20:00", 1),
                                               Line("g", 902, "2026-06-26 11:00:00", 2),
                                               Line("gone", 903, "2026-06-26 10:15:00", 1)));
  EXPECT_EQ(ctx.ErrorCount, 2);  // each broken line reported once
  EXPECT_THAT(Column("LogFiles_Alarm", "SendStatusInt"), ElementsAre("1", "1"));
}

TEST_F(AckTest, FiftyEntriesARunTheOthersStayUnchanged) {
  Texts lines;
  for (int id = 901; id <= 960; ++id) lines.push_back(Line("g", id, kDue, 3));
  RewriteLines(File("ReqAck.log"), lines);
  ProcessReqAckLog(ctx, Deliver);
  Texts after = Lines("ReqAck.log");
  ASSERT_EQ(std::tuple(delivered.size(), after.size()), std::tuple(50u, 60u));
  EXPECT_EQ(after[49], Line("g", 950, "2026-06-26 10:20:00", 2));
  EXPECT_EQ(Texts(after.begin() + 50, after.end()), Texts(lines.begin() + 50, lines.end()));
}

TEST_F(AckTest, AnswersAreRecordedWithReceiverStatusAndInformationPendingOrNot) {
  RewriteLines(File("ReqAck.log"), {Line("g", 905, kDue, 1), Line("g", 906, kDue, 1)});
  ProcessReqAckClear(ctx, " 46700", 905, "3", "Fixed");
  EXPECT_THAT(Lines("ReqAck.log"), ElementsAre(Line("g", 906, kDue, 1)));
  ProcessReqAckClear(ctx, "4699", 907, "soon", "");  // not pending, unknown sender
  ProcessReqAckClear(ctx, "", 906, "99999", std::string(1000, 'x'));
  EXPECT_FALSE(FileExists(File("ReqAck.log")));
  EXPECT_THAT(Column("LogFiles_ReqAck", "Receiver"), ElementsAre("Ops", "4699", ""));
  EXPECT_THAT(Column("LogFiles_ReqAck", "AckStatus"), ElementsAre("3", "1", "1"));
  EXPECT_THAT(Column("LogFiles_ReqAck", "AckInfo"),
              ElementsAre("Fixed", " ", std::string(200, 'x')));
}

TEST(ParseSmsCommand, AcknowledgementsProgramsTextsAndLinesWithoutTab) {
  using K = SmsCommandKind;
  struct Case {
    const char* line;
    K kind;
    int number;  // program or identifier
    const char *parameters, *status, *info;
  } cases[] = {
      {" 46700 \t905 3 Fixed now", K::Ack, 905, "", "3", "Fixed now"},
      {"46700\t905", K::Ack, 905, "", "1", ""},
      {"46700\t905 12", K::Ack, 905, "", "1", ""},  // one blank: one character
      {"46700\t905 soon ", K::Ack, 905, "", "soon", ""},
      {"46700\t9a5 3", K::Text, 0, "", "", ""},
      {"46700\t99", K::Text, 0, "", "", ""},
      {"46700\t2 host1 x ", K::Program, 2, "host1 x", "", ""},
      {"46700\t6 x", K::Text, 0, "", "", ""},
      {"46700\t", K::Text, 0, "", "", ""},
      {"46700 905", K::None, 0, "", "", ""},
  };
  for (const Case& c : cases) {
    SmsCommand cmd = ParseSmsCommand(c.line);
    EXPECT_EQ(std::tuple(cmd.kind, cmd.program + cmd.alarmId, cmd.parameters, cmd.status, cmd.info),
              std::tuple(c.kind, c.number, c.parameters, c.status, c.info))
        << c.line;
  }
}

TEST(SplitRunProg, AfterTheFirstExtensionThatEndsAWordOrTheFirstWord) {
  using P = std::pair<std::string, std::string>;
  for (auto [text, expected] : std::vector<std::pair<std::string, P>>{
           {"noack.sh $N $A", {"noack.sh", "$N $A"}},
           {"C:\\Tools\\Notify.EXE  -u $N", {"C:\\Tools\\Notify.EXE", "-u $N"}},
           {"\"/opt/my tools/x.sh\" $M", {"/opt/my tools/x.sh", "$M"}},
           {"run.company.bat --site example.com", {"run.company.bat", "--site example.com"}},
           {"notify $N", {"notify", "$N"}},
           {"", {"", ""}}}) {
    ProgramCall call = SplitRunProg(text);
    EXPECT_EQ(P(call.program, call.parameters), expected) << text;
  }
  EXPECT_EQ(ExpandRunProgParameters("$N/$A/$O/\"$M\" $X $", "a$M", "901", "Alpha", "m $N"),
            "a$M/901/Alpha/\"m $N\" $X $");
}

TEST_F(AckTest, BinaryOrBlankReplyFilesAndOverlongWaits) {
  using namespace std::string_literals;
  for (auto [bytes, expected] :
       {std::pair{" \r\n\t\n"s, "noReply"s}, {"\0\x01"s + "bin\xff\x1b", "bin\xC3\xBF"s}}) {
    testing::WriteBytes(File("ExecProg/reply.sms"), bytes.data(), bytes.size());
    std::string reply;
    ProcessSmsReply(ctx, reply);
    EXPECT_EQ(reply, expected);
  }
  EXPECT_THAT((std::vector<int>{ReplyWaitMs(1), ReplyWaitMs(33), ReplyWaitMs(-5)}),
              ElementsAre(1000, 32000, 0));
}

TEST_F(AckTest, EmptyTextsRaiseNoAlarmAndMissingProgramsAreReported) {
  SetColumn("Event_SMS", "ExecProg1", "missing.sh");
  RewriteLines(File("SmsCmd.log"), {"46700\t", "no tab", "46700\t1 go"});
  ProcessSmsCmd(ctx);
  EXPECT_FALSE(FileExists(File("SmsCmd.log")) || FileExists(File("Event.log")));
  EXPECT_THAT(Column("LogFiles_Event", "Message"), ElementsAre("", "1 go"));
  EXPECT_THAT(Entries(evt::kRuntimeError), ElementsAre("File Not Found: missing.sh"));
}

TEST_F(AckTest, LineThatFailsIsConsumedAndTheRestWaits) {
  SetColumn("Event_SMS", "SIL", "1");
  Db().Exec("DROP TABLE Recv_Phone_MO");
  RewriteLines(File("SmsCmd.log"), {"46700\thello", "46700\tsecond"});
  ProcessSmsCmd(ctx);
  EXPECT_EQ(ctx.ErrorCount, 1);
  EXPECT_THAT(Lines("SmsCmd.log"), ElementsAre("46700\tsecond"));
}

}  // namespace
}  // namespace varnel
