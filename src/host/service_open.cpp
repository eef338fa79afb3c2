#include "host/service_open.h"

#include "host/listener_table.h"
#include "platform/event_loop.h"
#include "service/errors.h"
#include "service/listener_status.h"

namespace varnel {
namespace {

void SetListenerStatus(Varnel& ctx, const Listener& l, ListenerStatusCode code) {
  if (l.entry) ctx.ListenerStatus[static_cast<std::size_t>(l.entry)] = code;
}

std::string Failed(Varnel& ctx, const Listener* l, int number, const std::string& description) {
  std::string reason;
  const char* entry = nullptr;
  if (l && l->anyErrorEntry) {
    entry = l->anyErrorEntry;
  } else if (l && number == err::kAddrInUse && l->inUseEntry) {
    entry = l->inUseEntry;
    if (l->reasonLine) reason = "Port was in use";
  } else if (l && number == err::kAddrNotAvail && l->notValidEntry) {
    entry = l->notValidEntry;
    if (l->reasonLine) reason = "IP Address is not valid";
  }
  if (entry)
    ReportErrorText(ctx, entry, entry);
  else
    ReportError(ctx, "ServiceOpen", number, description);
  if (l) SetListenerStatus(ctx, *l, ListenerStatusCode::NotStarted);
  return FailedStatus(ctx, reason);
}

}  // namespace

std::string ListenerFailed(Varnel& ctx, const std::string& name, int number,
                           const std::string& description) {
  return Failed(ctx, FindListener(name), number, description);
}

void ServiceOpen(Varnel& ctx, const std::string& name) {
  const Listener* l = FindListener(name);
  if (!l) return;
  try {
    Database db = OpenDatabase(ctx);
    Table t = db.Open(l->table);
    std::string status;
    try {
      if (t.Flag(l->enabledColumn) && l->open) {
        status = l->open(ctx, t);
        SetListenerStatus(ctx, *l, ListenerStatusCode::Started);
      } else {
        status = l->notStarted;
        SetListenerStatus(ctx, *l, ListenerStatusCode::NotStarted);
      }
    } catch (const std::exception& e) {
      status = Failed(ctx, l, ErrorNumberOf(e), e.what());
    }
    if (l->statusColumn) {
      t.Set(l->statusColumn, status);
      t.Update();
    }
  } catch (const std::exception& e) {
    // The table itself could not be read or written.
    ReportError(ctx, "ServiceOpen", ErrorNumberOf(e), e.what());
  }
}

void ServiceClose(Varnel& ctx, const std::string& name) {
  Guarded(ctx, "ServiceClose", [&] {
    const Listener* l = FindListener(name);
    if (!l) return;
    if (!l->statusColumn) {
      if (l->close) l->close(ctx);  // the listener knows by itself whether it runs
      return;
    }
    Database db = OpenDatabase(ctx);
    Table t = db.Open(l->table);
    if (t.Text(l->statusColumn).find(l->startedWord) != std::string::npos) {
      if (l->close) l->close(ctx);
      ctx.io.poll();
    }
    t.Set(l->statusColumn, l->notStarted);
    t.Update();
  });
}

}  // namespace varnel
