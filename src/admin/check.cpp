#include "admin/check.h"

#include <sys/stat.h>

#include <iostream>
#include <map>
#include <optional>
#include <set>

#include "admin/catalogue.h"
#include "admin/init.h"
#include "admin/program_dir.h"
#include "admin/row_check.h"
#include "filter/duty_time.h"
#include "host/listener_table.h"
#include "service/state/delivery_state.h"

namespace varnel::admin {
namespace {

// A table's rows as the service reads them, each a text per column.
struct Rows {
  const TableInfo* info = nullptr;
  std::vector<std::vector<std::string>> rows;
  const std::string& Get(std::size_t row, const std::string& column) const {
    static const std::string kNone;
    for (std::size_t i = 0; i < info->columns.size(); ++i)
      if (info->columns[i] == column) return rows[row][i];
    return kNone;
  }
  bool On(std::size_t row, const std::string& column) const {
    const std::string& v = Get(row, column);
    return !v.empty() && v != "0";
  }
  std::int64_t Number(std::size_t row, const std::string& column) const {
    try {
      return std::stoll(Get(row, column));
    } catch (...) {
      return 0;
    }
  }
  // The first row whose Name is name, as the service's lookups take it.
  std::optional<std::size_t> Named(const std::string& name) const {
    for (std::size_t r = 0; r < rows.size(); ++r)
      if (Get(r, "Name") == name) return r;
    return std::nullopt;
  }
};

std::string At(const std::string& table, std::size_t row, const std::string& column) {
  return table + " row " + std::to_string(row + 1) + " " + column;
}

class Checker {
 public:
  Checker(const std::string& dir, Database& db) : dir_(dir), catalogue_(ReadCatalogue(db)) {
    for (const TableInfo& info : catalogue_) {
      Rows& rows = tables_[info.name];
      rows.info = &info;
      for (Table t = db.Open(info.name); !t.Eof(); t.MoveNext()) {
        std::vector<std::string> values;
        for (const std::string& c : info.columns) values.push_back(t.Text(c));
        rows.rows.push_back(std::move(values));
      }
    }
  }

  std::vector<Finding> Run() {
    CheckDirectories();
    CheckValues();
    CheckGroupReceivers();
    CheckJournal();
    CheckReceiverOperators();
    CheckListenerPorts();
    CheckDutyCover();
    return std::move(findings_);
  }

 private:
  void Add(std::string where, std::string text) {
    findings_.push_back({std::move(where), std::move(text)});
  }
  const Rows& Of(const std::string& table) {
    static const TableInfo kEmpty;
    auto it = tables_.find(table);
    if (it != tables_.end()) return it->second;
    Rows& missing = tables_[table];
    missing.info = &kEmpty;
    return missing;
  }

  void CheckDirectories() {
    for (const char* sub : kProgramSubdirs) {
      struct stat st {};
      std::string path = dir_ + "/" + sub;
      if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        Add(std::string("directory ") + sub, "missing (" + path + ")");
    }
  }

  void CheckValues() {
    for (const TableInfo& info : catalogue_) {
      const Rows& rows = Of(info.name);
      if (info.singleRow && rows.rows.size() != 1)
        Add(info.name,
            "holds " + std::to_string(rows.rows.size()) + " rows; the service reads exactly one");
      for (std::size_t r = 0; r < rows.rows.size(); ++r)
        for (const RowProblem& p : CheckRow(info, rows.rows[r]))
          Add(At(info.name, r, p.column), p.text);
    }
  }

  // A receiver slot names a receiver of its type's table.
  void CheckReceiver(const std::string& where, const std::string& name, const std::string& type) {
    if (name.empty() || name == "None") return;
    const ReceiverKind* kind = FindReceiverKind(type);
    if (!kind) {
      if (type.empty()) Add(where, "receiver \"" + name + "\" has no receiver type");
      return;  // a misspelt type is reported with its column
    }
    if (!Of(kind->table).Named(name))
      Add(where, "receiver \"" + name + "\" does not exist in " + kind->table);
  }

  void CheckGroupReceivers() {
    const Rows& groups = Of("SuppGrp_Perm");
    for (std::size_t g = 0; g < groups.rows.size(); ++g)
      for (int k = 1; k <= 5; ++k) {
        const std::string n = std::to_string(k);
        CheckReceiver(At("SuppGrp_Perm", g, "RecvName" + n), groups.Get(g, "RecvName" + n),
                      groups.Get(g, "RecvType" + n));
      }
  }

  void CheckJournal() {
    const Rows& journal = Of("SuppGrp_Jour");
    for (std::size_t j = 0; j < journal.rows.size(); ++j) {
      const std::string& group = journal.Get(j, "SupportGroup");
      if (!Of("SuppGrp_Perm").Named(group))
        Add(At("SuppGrp_Jour", j, "SupportGroup"),
            "support group \"" + group + "\" does not exist in SuppGrp_Perm");
      CheckReceiver(At("SuppGrp_Jour", j, "RecvName1"), journal.Get(j, "RecvName1"),
                    journal.Get(j, "RecvType1"));
    }
  }

  void CheckNamed(const std::string& where, const std::string& name, const std::string& table,
                  const char* what) {
    if (!Of(table).Named(name))
      Add(where, std::string(what) + " \"" + name + "\" does not exist in " + table);
  }

  void CheckReceiverOperators() {
    for (const ReceiverKind& kind : kReceiverKinds) {
      if (!kind.oper) continue;
      const Rows& receivers = Of(kind.table);
      for (std::size_t r = 0; r < receivers.rows.size(); ++r)
        CheckNamed(At(kind.table, r, kind.oper), receivers.Get(r, kind.oper), kind.operatorTable,
                   "operator");
    }
    const Rows& mail = Of("Recv_Mail_SMTP");
    for (std::size_t r = 0; r < mail.rows.size(); ++r) {
      CheckNamed(At("Recv_Mail_SMTP", r, "MailServer1"), mail.Get(r, "MailServer1"),
                 "Settings_Mail_SMTP", "mail server");
      if (mail.On(r, "UseMailServer2"))
        CheckNamed(At("Recv_Mail_SMTP", r, "MailServer2"), mail.Get(r, "MailServer2"),
                   "Settings_Mail_SMTP", "mail server");
    }
  }

  // Where each listening socket takes its protocol, address and port from.
  struct Socket {
    const char* listener;  // the service's listener name
    const char* protocol;  // "UDP", "TCP", or the column holding it
    const char* addressColumn;
    const char* portTable;
    const char* portColumn;
  };

  void CheckListenerPorts() {
    static constexpr Socket kSockets[] = {
        {"snmpAgent", "UDP", "IpAddress", "Settings_SNMP_Agent", "UdpPort"},
        {"snmpManager", "UDP", "IpAddress", "Event_SNMP_TrapServer", "UdpPort"},
        {"sysLog1", "Protocol1", "IpAddress1", "Event_SysLog", "ListeningPort1"},
        {"sysLog2", "Protocol2", "IpAddress2", "Event_SysLog", "ListeningPort2"},
        {"smtpServer", "TCP", "IpAddress", "Event_SMTP", "TcpPort"},
        // The backup link listens over TCP on the agent's port number.
        {"backupServer", "TCP", nullptr, "Settings_SNMP_Agent", "UdpPort"},
    };
    struct Bound {
      std::string where, protocol, address;
    };
    std::map<std::int64_t, std::vector<Bound>> byPort;
    for (const Socket& s : kSockets) {
      const Listener* listener = FindListener(s.listener);
      if (!listener) continue;
      const Rows& settings = Of(listener->table);
      if (settings.rows.empty() || !settings.On(0, listener->enabledColumn)) continue;
      const Rows& ports = Of(s.portTable);
      if (ports.rows.empty()) continue;
      std::string protocol = s.protocol;
      if (protocol != "UDP" && protocol != "TCP") protocol = settings.Get(0, s.protocol);
      std::string address = s.addressColumn ? settings.Get(0, s.addressColumn) : "";
      if (address.empty()) address = "0.0.0.0";
      const std::int64_t port = ports.Number(0, s.portColumn);
      if (port == 0) {
        Add(At(s.portTable, 0, s.portColumn), std::string(s.listener) + " is enabled with no port");
        continue;
      }
      for (const Bound& other : byPort[port])
        if (other.protocol == protocol &&
            (other.address == address || other.address == "0.0.0.0" || address == "0.0.0.0"))
          Add(At(s.portTable, 0, s.portColumn), std::string(s.listener) + " listens on " +
                                                    protocol + " port " + std::to_string(port) +
                                                    " like " + other.where);
      byPort[port].push_back({s.listener, protocol, address});
    }
  }

  // Every hour that an enabled group is on duty, one of its enabled receivers is too.
  void CheckDutyCover() {
    static const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const Rows& groups = Of("SuppGrp_Perm");
    for (std::size_t g = 0; g < groups.rows.size(); ++g) {
      if (!groups.On(g, "Enabled")) continue;
      std::vector<std::pair<const Rows*, std::size_t>> receivers;
      for (int k = 1; k <= 5; ++k) {
        const std::string n = std::to_string(k);
        const ReceiverKind* kind = FindReceiverKind(groups.Get(g, "RecvType" + n));
        if (!kind) continue;
        const Rows& table = Of(kind->table);
        if (auto r = table.Named(groups.Get(g, "RecvName" + n)); r && table.On(*r, "Enabled"))
          receivers.emplace_back(&table, *r);
      }
      const std::string name = groups.Get(g, "Name");
      if (receivers.empty()) {
        Add(At("SuppGrp_Perm", g, "RecvName1"),
            "group \"" + name + "\" has no enabled receiver that exists");
        continue;
      }
      for (int day = 0; day < 7; ++day) {
        const std::string column = DutyTimeColumn(day);
        std::string gaps;
        for (int hour = 0; hour < 24; ++hour) {
          if (!DutyHourOn(groups.Number(g, column), hour)) continue;
          bool covered = false;
          for (const auto& [table, r] : receivers)
            covered = covered || DutyHourOn(table->Number(r, column), hour);
          if (!covered) gaps += (gaps.empty() ? "" : ",") + std::to_string(hour);
        }
        if (!gaps.empty())
          Add(At("SuppGrp_Perm", g, column), "group \"" + name + "\" is on duty with nobody on " +
                                                 "duty on " + kDayNames[day] + " at hours " + gaps);
      }
    }
  }

  std::string dir_;
  std::vector<TableInfo> catalogue_;
  std::map<std::string, Rows> tables_;
  std::vector<Finding> findings_;
};

}  // namespace

std::vector<Finding> CheckProgramDir(const std::string& dir) {
  auto db = OpenProgramDatabase(dir);
  return Checker(dir, *db).Run();
}

int RunCheck(const Args& args) {
  if (args.size() != 1) throw BadInput("usage: varnel-admin check DIR");
  const std::vector<Finding> findings = CheckProgramDir(args[0]);
  for (const Finding& f : findings) std::cout << f.where << ": " << f.text << "\n";
  if (findings.empty()) {
    std::cout << "No errors found in " << args[0] << "\n";
    return kExitOk;
  }
  std::cout << findings.size() << (findings.size() == 1 ? " error" : " errors") << " found in "
            << args[0] << "\n";
  return kExitFailed;
}

}  // namespace varnel::admin
