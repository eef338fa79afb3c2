// Fixture for the send list and its delivery: receivers in the real database, matched
// groups written straight into the group tables.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/test_support.h"

namespace varnel::testing {

// Hour masks: every hour, and every hour but the test clock's 10 o'clock.
constexpr const char* kAllDay = "16777215";
constexpr const char* kNotAtTen = "16776191";

class DeliveryTest : public VarnelTest {
 protected:
  using Columns = std::map<std::string, std::string>;

  // A receiver row, enabled and on duty all week unless overridden.
  void AddReceiver(const std::string& table, const std::string& name, const Columns& more = {}) {
    Columns c = {{"Name", name}, {"Enabled", "1"}};
    for (const char* day : {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"})
      c[std::string("DutyTime") + day] = kAllDay;
    for (const auto& [k, v] : more) c[k] = v;
    Database db = Db();
    Table t = db.Open(table);
    t.AddNew();
    for (const auto& [k, v] : c) t.Set(k, v);
    t.Update();
  }

  // Entry g of the matched group table with up to five receivers {name, type}; the other
  // slots are "None".
  void SetGroup(SuppGroupTable& table, int g, const std::string& mess,
                const std::vector<std::pair<std::string, std::string>>& receivers) {
    SuppGroupEntry& e = table[g];
    e.Name = "group" + std::to_string(g);
    e.Mess = mess;
    for (int r = 0; r < kMaxGroupReceivers; ++r) {
      const bool used = r < static_cast<int>(receivers.size());
      e.RecvName[r] = used ? receivers[r].first : "None";
      e.RecvType[r] = used ? receivers[r].second : "PhoneMO";
    }
  }
  void SetGroup(int g, const std::string& mess,
                const std::vector<std::pair<std::string, std::string>>& receivers) {
    SetGroup(ctx.filter.SuppGrp, g, mess, receivers);
  }

  const SendEntry& Sent(int i) const { return ctx.delivery.SendList[i]; }
  std::vector<int> FilledEntries() const {
    std::vector<int> out;
    for (int i = 1; i <= kMaxSendList; ++i)
      if (!Sent(i).Free()) out.push_back(i);
    return out;
  }
  std::vector<int> BufferedEntries() const {
    std::vector<int> out;
    for (int i = 1; i <= kMaxBufferList; ++i)
      if (!ctx.delivery.BufferList[i].Free()) out.push_back(i);
    return out;
  }

  struct AlarmRow {
    std::string Index, DateAndTime, Receiver, Message, SendStatus, SendStatusInt, SendType;
  };
  std::vector<AlarmRow> AlarmRows() {
    Database db = Db();
    Table t = db.Open("LogFiles_Alarm");
    std::vector<AlarmRow> out;
    for (; !t.Eof(); t.MoveNext())
      out.push_back({t.Text("Index"), t.Text("DateAndTime"), t.Text("Receiver"), t.Text("Message"),
                     t.Text("SendStatus"), t.Text("SendStatusInt"), t.Text("SendType")});
    return out;
  }

  std::vector<std::string> Lines(const std::string& name) {
    return FileExists(File(name)) ? ReadLines(File(name)) : std::vector<std::string>{};
  }
};

}  // namespace varnel::testing
