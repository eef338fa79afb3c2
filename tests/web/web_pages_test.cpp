// The HTML log pages as bytes, for a small fixed log, and what happens when a page cannot be
// written.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/test_support.h"
#include "web/log_pages.h"

namespace varnel::testing {
namespace {

std::string Page(const Texts& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

const Texts kHead = {"<html>",
                     "<head>",
                     "<title>Varnel</title>",
                     "</head>",
                     "<body bgcolor=#cccccc link=#000000 vlink=#000000>",
                     ""};

std::string Header(int width, const std::string& caption) {
  return "    <td bgcolor=#003366 width=" + std::to_string(width) +
         " align=left><font color=White face=Arial size=2><b>" + caption + "</b></font></td>";
}

std::string Cell(int width, const std::string& colour, const std::string& text,
                 bool blank = false) {
  return "    <td bgcolor=#000000 width=" + std::to_string(width) +
         " align=left><font color=" + colour + " face=Arial size=2>" + text +
         (blank ? " </font></td>" : "</font></td>");
}

std::string Navigation(const std::string& link) {
  return "    <td bgcolor=#cccccc width=100 align=left><font color=#000000 face=Arial size=2<b>" +
         link + "</b></font></td>";
}

Texts Join(std::initializer_list<Texts> parts) {
  Texts out;
  for (const Texts& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Texts Head(const std::string& title) {
  Texts h = kHead;
  h[2] = "<title>" + title + "</title>";
  return h;
}

const Texts kTableStart = {"<table border=0 cellspacing=1 width=480>", "  <tr>"};
const Texts kPageEnd = {"</body>", "</html>"};

class WebPagesTest : public VarnelTest {
 protected:
  void SetUp() override {
    Update("LogFiles_WebLayout",
           "EventEntriesFirst = 2, AlarmEntriesFirst = 0, ActionEntriesFirst = 5, "
           "EventEntriesLog = 10, AlarmEntriesLog = 10, ActionEntriesLog = 10, "
           "FontName = 'Arial', FontSize = 2, TimeWidth = 70, IdWidth = 30, SourceWidth = 90, "
           "ReceiverWidth = 80, MessageWidth = 250, StatusWidth = 100, TimeFormat = 'DDD HH:MM', "
           "IdMaxChar = 3, SourceMaxChar = 10, ReceiverMaxChar = 4, MessageMaxChar = 40, "
           "StatusMaxChar = 9");
    // Inserted out of index order: the pages sort by index, newest first.
    Db().Exec(
        "INSERT INTO LogFiles_Event (\"Index\", DateAndTime, Priority, NodeName, Message) VALUES "
        "(20260626002, '2026-06-26 10:13:00', '1 - Critical', 'router-core-07', 'Link down'), "
        "(20260626003, '2026-06-26 10:14:00', '', 'web-01', "
        "'<script>alert(\"x\")</script> & more'), "
        "(20260626001, '2026-06-26 10:12:00', '7 - Other', 'switch', 'Fan');"
        "INSERT INTO LogFiles_Alarm (\"Index\", DateAndTime, Receiver, Message, SendStatusInt) "
        "VALUES (20260626001, '2026-06-26 10:12:30', 'Bob', 'Plain alarm', 3), "
        "(20260626002, '2026-06-26 10:13:30', 'Alice', '<ID=905> Disk full on db-01', 1)");
  }
  std::string Read(const std::string& name) {
    std::ifstream in(File("Web/" + name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  const Texts eventRows = {
      "  <tr>",
      Cell(70, "", "Fri 10:14", true),
      Cell(90, "", "web-01"),
      Cell(250, "", "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; more"),
      "  </tr>",
      "  <tr>",
      Cell(70, "Red", "Fri 10:13", true),
      Cell(90, "Red", "router-cor"),
      Cell(250, "Red", "Link down"),
      "  </tr>"};
  const Texts eventHeader = {Header(70, "Time"), Header(90, "Source"), Header(250, "Message"),
                             "  </tr>"};
};

TEST_F(WebPagesTest, OverviewPageShowsTheNewestRowsOfEachLogWithLinksToTheLogsThatHaveRows) {
  WebLogs(ctx);
  EXPECT_TRUE(log.entries.empty()) << log.entries[0].text;
  const Texts expected =
      Join({kHead,
            kTableStart,
            {Navigation("<a href=event.htm>Event Log"), "  </tr>", "</table>", ""},
            kTableStart,
            eventHeader,
            eventRows,
            {"</table>"},
            kTableStart,
            {Navigation("<a href=alarm.htm>Alarm Log"), "  </tr>", "</table>", ""},
            // An entry count of 0: the header row alone.
            kTableStart,
            {Header(70, "Time"), Header(30, "ID"), Header(80, "Receiver"), Header(250, "Message"),
             "  </tr>", "</table>"},
            kTableStart,
            {Navigation("Action Log"), "  </tr>", "</table>", ""},
            kPageEnd});
  EXPECT_EQ(Read("default.htm"), Page(expected));
}

TEST_F(WebPagesTest, EachLogPageHasItsOwnTitleAndNoNavigation) {
  std::filesystem::remove_all(File("Web"));  // created again when missing
  WebLogs(ctx);
  EXPECT_TRUE(log.entries.empty()) << log.entries[0].text;
  const struct {
    const char* file;
    Texts lines;
  } cases[] = {
      {"event.htm", Join({Head("Event Log"),
                          kTableStart,
                          eventHeader,
                          eventRows,
                          // An unknown priority keeps the colour of the row before.
                          {"  <tr>", Cell(70, "Red", "Fri 10:12", true), Cell(90, "Red", "switch"),
                           Cell(250, "Red", "Fan"), "  </tr>", "</table>"},
                          kPageEnd})},
      {"alarm.htm",
       Join({Head("Alarm Log"),
             kTableStart,
             {Header(70, "Time"), Header(30, "ID"), Header(80, "Receiver"), Header(250, "Message"),
              "  </tr>", "  <tr>", Cell(70, "Red", "Fri 10:13", true), Cell(30, "Red", "905"),
              Cell(80, "Red", "Alic"), Cell(250, "Red", "Disk full on db-01"), "  </tr>", "  <tr>",
              Cell(70, "Lime", "Fri 10:12", true), Cell(30, "Lime", " "), Cell(80, "Lime", "Bob"),
              Cell(250, "Lime", "Plain alarm"), "  </tr>", "</table>"},
             kPageEnd})},
      // An empty log: the head and the page end only.
      {"action.htm", Join({Head("Action Log"), kPageEnd})},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.file), Page(c.lines)) << c.file;
}

TEST_F(WebPagesTest, ActionPageShowsTheStatusWordWhenAnAcknowledgementHasNoText) {
  Db().Exec(
      "INSERT INTO LogFiles_ReqAck (Indexx, DateAndTime, AlarmID, Receiver, AckStatus, AckInfo) "
      "VALUES (20260626001, '2026-06-26 10:14:10', 905, '+4912345', 2, ' '), "
      "(20260626002, '2026-06-26 10:14:50', 906, 'Carol', 3, 'Fixed <b>fan</b>')");
  WebLogs(ctx);
  const Texts body = {Header(70, "Time"),
                      Header(30, "ID"),
                      Header(80, "Receiver"),
                      Header(100, "Status"),
                      "  </tr>",
                      "  <tr>",
                      Cell(70, "Lime", "Fri 10:14", true),
                      Cell(30, "Lime", "906", true),
                      Cell(80, "Lime", "Caro"),
                      Cell(100, "Lime", "Fixed &lt;b&gt;"),
                      "  </tr>",
                      "  <tr>",
                      Cell(70, "Lime", "Fri 10:14", true),
                      Cell(30, "Lime", "905", true),
                      Cell(80, "Lime", "+491"),
                      Cell(100, "Lime", "workInPro"),
                      "  </tr>",
                      "</table>"};
  EXPECT_EQ(Read("action.htm"), Page(Join({Head("Action Log"), kTableStart, body, kPageEnd})));
  EXPECT_NE(Read("default.htm").find(Navigation("<a href=action.htm>Action Log")),
            std::string::npos);
}

TEST_F(WebPagesTest, AFailedSectionLeavesThePreviousOverviewInPlace) {
  WebLogs(ctx);
  const std::string before = Read("default.htm");
  AddRow("LogFiles_Event", {{"Index", "20260626004"},
                            {"DateAndTime", "2026-06-26 10:15:00"},
                            {"Message", "Not published"}});
  Db().Exec("DROP TABLE LogFiles_Alarm");
  WebLogs(ctx);
  EXPECT_EQ(Read("default.htm"), before);
  EXPECT_NE(Read("event.htm").find("Not published"), std::string::npos);
  EXPECT_EQ(Entries(106).size(), 2u);  // the overview's section and the alarm page
  for (const std::string& e : Entries(106))
    EXPECT_NE(e.find("(Module: WebAlarmLog)"), std::string::npos) << e;
}

TEST_F(WebPagesTest, AWebPathThatIsNoDirectoryIsReportedAndNothingIsWritten) {
  std::filesystem::remove_all(File("Web"));
  WriteBytes(File("Web"), "x", 1);
  WebLogs(ctx);
  ASSERT_EQ(Entries(106).size(), 1u);
  EXPECT_NE(Entries(106)[0].find("(Module: WebLogs)"), std::string::npos);
  EXPECT_EQ(ctx.ErrorCount, 1);
}

}  // namespace
}  // namespace varnel::testing
