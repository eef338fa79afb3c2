#include "delivery/send_list.h"

#include <optional>

#include "filter/duty_time.h"
#include "platform/files.h"
#include "service/errors.h"
#include "service/trace.h"

namespace varnel {
namespace {

const ReceiverKind* FindKind(const std::string& type) { return FindReceiverKind(type); }

const char* Word(bool b) { return b ? "True" : "False"; }

// Weekdays in the order the buffer trace lists them (Monday first).
constexpr int kTraceDays[] = {1, 2, 3, 4, 5, 6, 0};
constexpr const char* kTraceDayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

// Rewrites "BuffMess_List.txt" so that it always shows the current buffer list.
void TraceBufferList(Varnel& ctx) {
  if (!TraceEnabled(ctx, TraceCategory::FilterProcess)) return;
  TraceLines t(ctx);
  t.DumpTitle("Buffer Messages List (Off Duty)");
  const auto& list = ctx.delivery.BufferList;
  for (int k = 1; k <= kMaxBufferList; ++k) {
    const BufferEntry& b = list[k];
    if (b.Free()) continue;
    t.Field("BufferRecvName", k, b.BufferRecvName)
        .Field("BufferRecvType", k, b.BufferRecvType)
        .Field("BufferRecvAddr", k, b.BufferRecvAddr)
        .Field("BufferRecvOper", k, b.BufferRecvOper)
        .Field("BufferRecvMess", k, b.BufferRecvMess)
        .Field("BufferRecvPagerNumMoCall", k, Word(b.BufferRecvPagerNumMoCall))
        .Field("BufferRecvPagerNumCode", k, b.BufferRecvPagerNumCode)
        .Field("BufferRecvPagerNumDelay", k, std::to_string(b.BufferRecvPagerNumDelay));
    for (int d = 0; d < 7; ++d)
      t.Field(std::string("BufferRecvDutyTime") + kTraceDayNames[d], k,
              std::to_string(b.BufferRecvDutyTime[static_cast<std::size_t>(kTraceDays[d])]));
    t.Field("BufferRecvDateAdded", k, b.BufferRecvDateAdded).Blank();
  }
  RewriteLines(ctx.Path("Debug/" + std::string(trace::kBuffMessList)), t.Lines());
}

// Puts an off-duty receiver's message into the buffer list, unless the list is full or, with
// BufferAllMessOffDuty off, the receiver already has a message waiting there.
void BufferMessage(Varnel& ctx, Table& row, const std::string& message, const std::string& name,
                   const std::string& type, const ReceiverParameters& p) {
  auto& list = ctx.delivery.BufferList;
  int k = 0;
  for (int i = 1; i <= kMaxBufferList && k == 0; ++i)
    if (list[i].Free()) k = i;
  if (k == 0) return;
  if (!ctx.BufferAllMessOffDuty) {
    for (int i = 1; i <= kMaxBufferList; ++i)
      if (list[i].BufferRecvName == name && list[i].BufferRecvType == type) return;
  }
  BufferEntry b;
  b.BufferRecvName = name;
  b.BufferRecvType = type;
  b.BufferRecvAddr = p.Addr;
  b.BufferRecvOper = p.Oper;
  b.BufferRecvMess = message;
  b.BufferRecvPagerNumMoCall = p.PagerNumMoCall;
  b.BufferRecvPagerNumCode = p.PagerNumCode;
  b.BufferRecvPagerNumDelay = p.PagerNumDelay;
  for (int d = 0; d < 7; ++d)
    b.BufferRecvDutyTime[static_cast<std::size_t>(d)] = row.Int32(DutyTimeColumn(d));
  b.BufferRecvDateAdded = ctx.clock.Now().Text();
  list[k] = std::move(b);
}

void TraceSendList(Varnel& ctx, const std::string& title) {
  if (!TraceEnabled(ctx, TraceCategory::FilterProcess)) return;
  TraceLines t(ctx);
  t.DumpTitle(title);
  const auto& list = ctx.delivery.SendList;
  for (int i = 1; i <= kMaxSendList; ++i) {
    const SendEntry& e = list[i];
    if (e.Free()) continue;
    t.Field("RecvName", i, e.RecvName)
        .Field("RecvType", i, e.RecvType)
        .Field("RecvAddr", i, e.RecvAddr)
        .Field("RecvOper", i, e.RecvOper)
        .Field("RecvMess", i, e.RecvMess)
        .Field("RecvBuffMess", i, Word(e.RecvBuffMess))
        .Field("RecvPagerNumMoCall", i, Word(e.RecvPagerNumMoCall))
        .Field("RecvPagerNumCode", i, e.RecvPagerNumCode)
        .Field("RecvPagerNumDelay", i, std::to_string(e.RecvPagerNumDelay))
        .Blank();
  }
  t.Blank();
  WriteTrace(ctx, TraceCategory::FilterProcess, trace::kFilterProcess, t.Lines());
}

// One send list entry per receiver slot of the group table, in table order.
void BuildSendList(Varnel& ctx, const SuppGroupTable& groups, const char* procedure,
                   const char* title) {
  Guarded(ctx, procedure, [&] {
    auto& list = ctx.delivery.SendList;
    for (SendEntry& e : list) e = SendEntry{};
    std::optional<Database> db;  // opened only when some group has receivers
    std::optional<ReceiverTables> tables;
    int n = 0;
    for (int g = 1; g <= kMaxSuppGroups; ++g) {
      const SuppGroupEntry& group = groups[g];
      if (group.Free()) continue;
      for (int r = 0; r < kMaxGroupReceivers; ++r) {
        const std::string& name = group.RecvName[static_cast<std::size_t>(r)];
        const std::string& type = group.RecvType[static_cast<std::size_t>(r)];
        if (name == "None") continue;
        if (!db) {
          db.emplace(ctx.ConnectionString.empty() ? ctx.DatabasePath() : ctx.ConnectionString);
          tables.emplace(*db);
        }
        ReceiverParameters p = GetSendParameters(ctx, *tables, group.Mess, name, type);
        // Every slot counts, so an invalid receiver leaves its entry free.
        if (++n > kMaxSendList || !p.Valid) continue;
        FillSendEntry(list[n], name, type, group.Mess, p);
      }
    }
    // A receiver that several groups address with the same text gets it once.
    for (int i = 1; i <= kMaxSendList; ++i) {
      if (list[i].Free()) continue;
      for (int j = i + 1; j <= kMaxSendList; ++j) {
        SendEntry& later = list[j];
        if (later.RecvType == list[i].RecvType && later.RecvName == list[i].RecvName &&
            later.RecvMess == list[i].RecvMess) {
          later.RecvName.clear();
          later.RecvType.clear();
        }
      }
    }
    TraceSendList(ctx, title);
  });
}

}  // namespace

const char* ReceiverTable(const std::string& type) {
  const ReceiverKind* kind = FindKind(type);
  return kind ? kind->table : nullptr;
}

ReceiverParameters ReadReceiverRow(Table& t, const std::string& type) {
  ReceiverParameters found;
  const ReceiverKind* kind = FindKind(type);
  if (!kind) return found;
  found.Addr = t.Text(kind->address);
  if (kind->oper) found.Oper = t.Text(kind->oper);
  if (type == kMailSMTP) {
    found.Oper = t.Text("MailServer1");
    if (t.Flag("UseMailServer2")) {
      found.Oper += ';';
      found.Oper += t.Text("MailServer2");
    }
  } else if (type == kPagerNum) {
    found.PagerNumMoCall = t.Flag("MoCalling");
    found.PagerNumCode = t.Text("SendCode");
    found.PagerNumDelay = t.Int16("DelayTime");
  }
  if (kind->buffers) found.BuffMess = t.Flag("BufferMessages");
  return found;
}

Table* ReceiverTables::Find(const std::string& table, const std::string& name) {
  auto it = tables_.find(table);
  if (it == tables_.end()) {
    Indexed indexed{db_.Open(table), {}};
    std::size_t pos = 0;
    for (Table& t = indexed.table; !t.Eof(); t.MoveNext(), ++pos)
      indexed.first.emplace(t.Text("Name"), pos);  // keeps the first row of a name
    it = tables_.emplace(table, std::move(indexed)).first;
  }
  auto row = it->second.first.find(name);
  if (row == it->second.first.end()) return nullptr;
  Table& t = it->second.table;
  t.MoveFirst();
  for (std::size_t i = 0; i < row->second; ++i) t.MoveNext();
  return &t;
}

void FillSendEntry(SendEntry& e, const std::string& receiverName, const std::string& receiverType,
                   const std::string& message, const ReceiverParameters& p) {
  e.RecvName = receiverName;
  e.RecvType = receiverType;
  e.RecvAddr = p.Addr;
  e.RecvOper = p.Oper;
  e.RecvMess = message;
  e.RecvBuffMess = p.BuffMess;
  e.RecvPagerNumMoCall = p.PagerNumMoCall;
  e.RecvPagerNumCode = p.PagerNumCode;
  e.RecvPagerNumDelay = p.PagerNumDelay;
}

bool ReceiverExists(ReceiverTables& tables, const std::string& receiverName,
                    const std::string& receiverType) {
  const ReceiverKind* kind = FindKind(receiverType);
  return kind && tables.Find(kind->table, receiverName);
}

ReceiverParameters GetSendParameters(Varnel& ctx, ReceiverTables& tables,
                                     const std::string& message, const std::string& receiverName,
                                     const std::string& receiverType) {
  ReceiverParameters p;
  Guarded(ctx, "GetSendParameters", [&] {
    const ReceiverKind* kind = FindKind(receiverType);
    if (!kind) return;
    Table* row = tables.Find(kind->table, receiverName);
    if (!row) return;
    Table& t = *row;

    ReceiverParameters found = ReadReceiverRow(t, receiverType);
    const bool enabled = t.Flag("Enabled");
    const std::int32_t mask = t.Int32(DutyTimeColumn(ctx.clock.Now().weekday));
    if (!enabled) return;
    if (DutyTimeCheck(ctx.clock, mask)) {
      found.Valid = true;
      p = std::move(found);
      return;
    }
    if (found.BuffMess) BufferMessage(ctx, t, message, receiverName, receiverType, found);
    TraceBufferList(ctx);
  });
  return p;
}

ReceiverParameters GetSendParameters(Varnel& ctx, const std::string& message,
                                     const std::string& receiverName,
                                     const std::string& receiverType) {
  ReceiverParameters p;
  Guarded(ctx, "GetSendParameters", [&] {
    Database db = OpenDatabase(ctx);
    ReceiverTables tables(db);
    p = GetSendParameters(ctx, tables, message, receiverName, receiverType);
  });
  return p;
}

void MakeSendList(Varnel& ctx) {
  BuildSendList(ctx, ctx.filter.SuppGrp, "MakeSendList", "Send List");
}

void MakeSendList_Hq(Varnel& ctx) {
  BuildSendList(ctx, ctx.filter.HqSuppGrp, "MakeSendList_Hq", "Send List - Hold Queue");
}

}  // namespace varnel
