// send: a test message for one configured receiver, sent by the running service. The row in
// Receiver_Test is what the service sends after a settings re-read; the alarm log row it
// writes for it is the result.
#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "admin/agent_client.h"
#include "admin/ops.h"
#include "admin/ops_common.h"
#include "agent/mib.h"
#include "delivery/send_list.h"
#include "platform/text.h"

namespace varnel::admin {
namespace {

constexpr const char* kDefaultText = "Test message from varnel-admin";
constexpr int kReceiverChars = 100;  // the alarm log keeps this much of a receiver name
constexpr int kPollMs = 200;

struct FoundReceiver {
  std::string type;
  ReceiverParameters params;
};

// The first row of that name in each receiver table.
std::vector<FoundReceiver> FindReceiver(Database& db, const std::string& name) {
  std::vector<FoundReceiver> found;
  for (const char* type : kReceiverTypes) {
    Table t = db.Open(ReceiverTable(type));
    for (; !t.Eof(); t.MoveNext()) {
      if (t.Text("Name") != name) continue;
      found.push_back({type, ReadReceiverRow(t, type)});
      break;
    }
  }
  return found;
}

std::int64_t QueueTestMessage(Database& db, const std::string& name, const FoundReceiver& r,
                              const std::string& text) {
  db.Begin();
  Table t = db.Open("Receiver_Test");
  t.AddNew();
  t.Set("Name", name);
  t.Set("Type", r.type);
  t.Set("Operator", r.params.Oper);
  t.Set("Address", r.params.Addr);
  t.Set("Message", text);
  t.Set("PagerNumMoCall", r.params.PagerNumMoCall);
  t.Set("PagerNumCode", r.params.PagerNumCode);
  t.Set("PagerNumDelay", static_cast<int>(r.params.PagerNumDelay));
  t.Update();
  const std::int64_t rowid = sqlite3_last_insert_rowid(db.Handle());
  db.Commit();
  return rowid;
}

int TimeoutSeconds(Database& db, const Options& o) {
  if (o.Has("--timeout")) {
    const std::string v = o.Value("--timeout");
    if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos)
      throw BadInput("--timeout takes a number of seconds, not \"" + v + "\"");
    return std::stoi(v);
  }
  // One check interval until the service reads the request, and time for a modem dialogue.
  Rows r = Query(db, "SELECT CheckInterval FROM Event_CheckInterval ORDER BY rowid LIMIT 1");
  const int interval = r.values.empty() ? 30 : std::atoi(r.values[0][0].c_str());
  return interval + 180;
}

}  // namespace

int RunSend(const Args& args) {
  Options o = ParseOptions(args, {"--timeout"}, {});
  if (o.positional.size() < 2 || o.positional.size() > 3)
    throw BadInput("usage: varnel-admin send DIR RECEIVER [TEXT] [--timeout SECONDS]");
  const std::string& name = o.positional[1];
  const std::string text = o.positional.size() == 3 ? o.positional[2] : kDefaultText;
  auto opened = OpenProgramDatabase(o.positional[0]);
  Database& db = *opened;
  const int timeout = TimeoutSeconds(db, o);

  std::vector<FoundReceiver> found = FindReceiver(db, name);
  if (found.empty()) throw BadInput("no receiver is named \"" + name + "\"");
  if (found.size() > 1) {
    std::string types;
    for (const auto& f : found) types += (types.empty() ? "" : ", ") + f.type;
    throw BadInput("\"" + name + "\" names receivers of several types (" + types +
                   "); rename one of them");
  }

  // A database that another program keeps locked is reported before the service is asked:
  // readers still get through, but the message could not be queued.
  { WriteTransaction probe(db); }
  AgentAddress address = ReadAgentAddress(db);
  AgentClient agent(address);
  auto state = address.enabled ? agent.Get({MibBaseOid(kRunState)}) : std::nullopt;
  if (!state) {
    std::cerr << "varnel-admin: the service does not answer on its agent; nothing was queued\n";
    return kExitNoService;
  }
  if ((*state)[0].value != "1") {
    std::cerr << "varnel-admin: the service is paused and would not send; nothing was queued\n";
    return kExitFailed;
  }
  const std::string last =
      Query(db, "SELECT IFNULL(MAX(rowid), 0) FROM LogFiles_Alarm").values[0][0];
  const std::int64_t row = QueueTestMessage(db, name, found[0], text);
  if (agent.SetInteger(MibBaseOid(kUpdateRequest), 1) != snmp::es::kNoError) {
    Query(db, "DELETE FROM Receiver_Test WHERE rowid = ?", {std::to_string(row)});
    std::cerr << "varnel-admin: the service did not take the update request; nothing was "
                 "queued\n";
    return kExitNoService;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
  const std::vector<std::string> params = {last, LeftChars(name, kReceiverChars), found[0].type};
  for (;;) {
    Rows r = Query(db,
                   "SELECT SendStatus, SendStatusInt FROM LogFiles_Alarm WHERE rowid > ? "
                   "AND Receiver = ? AND SendType = ? ORDER BY rowid LIMIT 1",
                   params);
    if (!r.values.empty()) {
      std::cout << r.values[0][0] << "\n";
      return r.values[0][1] == "1" ? kExitOk : kExitFailed;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
  std::cerr << "varnel-admin: no delivery of the test message was logged within " << timeout
            << " s; it stays queued for the service\n";
  return kExitFailed;
}

}  // namespace varnel::admin
