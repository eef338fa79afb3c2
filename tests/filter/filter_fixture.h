// Fixture for the support group filter and the hold queue: groups in the real database,
// events in the event list, the drop files in the program directory. The message format
// starts as the default row: every part, node names up to 50 and messages up to 250.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "filter/hold_queue.h"
#include "filter/supp_group.h"
#include "platform/files.h"
#include "service/errors.h"
#include "support/test_support.h"

namespace varnel::testing {

class FilterTest : public VarnelTest {
 protected:
  using Columns = std::map<std::string, std::string>;
  using Texts = std::map<int, std::string>;  // entry number -> alarm text
  using Strings = std::vector<std::string>;

  // The parts of the alarm texts by letter (Date, Time, Node, Priority, Message), and limits.
  void SetFormat(const std::string& parts, int nodeMax = 50, int messageMax = 1000) {
    // clang-format off
    const std::pair<char, const char*> columns[] = {{'D', "SendDate"}, {'T', "SendTime"},
        {'N', "SendNodeName"}, {'P', "SendPriority"}, {'M', "SendMessage"}};
    // clang-format on
    Database db = Db();
    Table t = db.Open("Event_CheckInterval");
    for (const auto& [letter, column] : columns) t.Set(column, parts.find(letter) != parts.npos);
    t.Set("SendNodeNameMaxChar", nodeMax);
    t.Set("SendMessageMaxChar", messageMax);
    t.Update();
  }

  // A group that is enabled, on duty all week, and matches every event unless overridden;
  // with copies, as many groups name1, name2, ...
  void AddGroup(const std::string& name, const Columns& overrides = {}, int copies = 0) {
    // clang-format off
    Columns c = {{"Name", name}, {"Enabled", "1"}, {"Priority", "5 - Normal"},
                 {"PrioritySearch", "<="}, {"NodeName", "*"}, {"NodeNameSearch", "="},
                 {"Message", "*"}, {"MessageSearch", "="}, {"RecvName1", name + "-r1"},
                 {"RecvType1", "PhoneMO"}, {"PriorityUp", "5 - Normal"}, {"PrioritySearchUp", "="}};
    // clang-format on
    for (const char* day : {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})
      c[std::string("DutyTime") + day] = "16777215";
    for (const auto& [k, v] : overrides) c[k] = v;
    Database db = Db();
    db.Begin();
    Table t = db.Open("SuppGrp_Perm");
    for (int i = copies ? 1 : 0; i <= copies; ++i) {
      t.AddNew();
      for (const auto& [k, v] : c) t.Set(k, k == "Name" && i ? name + std::to_string(i) : v);
      t.Update();
    }
    db.Commit();
  }
  // A correlating group: down events held for holdMinutes, "5 - Normal" is up.
  void AddCorrelatingGroup(const std::string& name, int holdMinutes, Columns more = {}) {
    more.emplace("Correlation", "1");
    more.emplace("HoldTimer", std::to_string(holdMinutes));
    AddGroup(name, more);
  }
  void AddEvent(const std::string& priority, const std::string& node, const std::string& message) {
    ASSERT_TRUE(ctx.events.Append("2026-06-26 10:14:58", priority, node, message, "Syslog"));
  }

  // The used entries of a group table.
  static Texts Sent(const SuppGroupTable& table) {
    Texts out;
    for (int k = 1; k <= kMaxSuppGroups; ++k)
      if (!table[k].Free()) out[k] = table[k].Mess;
    return out;
  }
  Texts Sent() const { return Sent(ctx.filter.SuppGrp); }
  Texts SentHq() const { return Sent(ctx.filter.HqSuppGrp); }

  // A hold queue line of an event of 10:14:58.
  static std::string Line(const std::string& group, const std::string& expiry,
                          const std::string& node, const std::string& message,
                          const std::string& reminded = "False") {
    return group + "\t" + expiry + "\t2026-06-26 10:14:58\t2 - Major\t" + node + "\t" + message +
           "\t" + reminded;
  }
  void Hold(const Strings& lines) { AppendLines(File("Hold_Queue.log"), lines); }
  void RunHqAt(const std::string& time) {
    clock.Set(time);
    SuppGroupCheck_Hq(ctx);
  }
  Strings HoldQueue() {
    return FileExists(File("Hold_Queue.log")) ? ReadLines(File("Hold_Queue.log")) : Strings{};
  }
};

}  // namespace varnel::testing
