// Fixture for the support group filter and the hold queue: groups in the real database,
// events in the event list, the drop files in the program directory.
#pragma once
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/test_support.h"

namespace varnel::testing {

class FilterTest : public VarnelTest {
 protected:
  using Columns = std::map<std::string, std::string>;

  FilterTest() {
    // Full alarm texts unless a test says otherwise.
    SetFormat(true, true, true, 100, true, true, 1000);
  }

  void SetFormat(bool date, bool time, bool node, int nodeMax, bool priority, bool message,
                 int messageMax) {
    Database db = Db();
    Table t = db.Open("Event_CheckInterval");
    t.Set("SendDate", date);
    t.Set("SendTime", time);
    t.Set("SendNodeName", node);
    t.Set("SendNodeNameMaxChar", nodeMax);
    t.Set("SendPriority", priority);
    t.Set("SendMessage", message);
    t.Set("SendMessageMaxChar", messageMax);
    t.Update();
  }

  // A group that is enabled, on duty all week, and matches every event unless overridden.
  void AddGroup(const std::string& name, const Columns& overrides = {}) {
    Columns c = {{"Name", name},          {"Enabled", "1"},         {"Priority", "5 - Normal"},
                 {"PrioritySearch", "<="}, {"NodeName", "*"},        {"NodeNameSearch", "="},
                 {"Message", "*"},         {"MessageSearch", "="},   {"RecvName1", name + "-r1"},
                 {"RecvType1", "PhoneMO"}, {"RecvName2", "None"},    {"RecvType2", "MailSMTP"},
                 {"RecvName3", "None"},    {"RecvName4", "None"},    {"RecvName5", "None"},
                 {"PriorityUp", "5 - Normal"}, {"PrioritySearchUp", "="}};
    for (const char* day : {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})
      c[std::string("DutyTime") + day] = "16777215";
    for (const auto& [k, v] : overrides) c[k] = v;
    Database db = Db();
    Table t = db.Open("SuppGrp_Perm");
    t.AddNew();
    for (const auto& [k, v] : c) t.Set(k, v);
    t.Update();
  }

  // A correlating group: down events held for holdMinutes, "5 - Normal" clears.
  void AddCorrelatingGroup(const std::string& name, int holdMinutes, const Columns& more = {}) {
    Columns c = {{"Correlation", "1"}, {"HoldTimer", std::to_string(holdMinutes)}};
    for (const auto& [k, v] : more) c[k] = v;
    AddGroup(name, c);
  }

  void AddEvent(const std::string& priority, const std::string& node, const std::string& message,
                const std::string& time = "2026-06-26 10:14:58") {
    ASSERT_TRUE(ctx.events.Append(time, priority, node, message, "Syslog"));
  }

  std::vector<std::string> Lines(const std::string& name) {
    return FileExists(File(name)) ? ReadLines(File(name)) : std::vector<std::string>{};
  }
  std::vector<std::string> HoldQueue() { return Lines("Hold_Queue.log"); }
  std::string Bytes(const std::string& name) {
    std::ifstream in(File(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void WriteBytes(const std::string& name, const std::string& bytes) {
    std::ofstream(File(name), std::ios::binary) << bytes;
  }
};

}  // namespace varnel::testing
