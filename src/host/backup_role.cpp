#include "host/backup_role.h"

#include <ifaddrs.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "maintenance/backup_link.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "service/errors.h"
#include "service/listener_status.h"

namespace varnel {

std::string OpenBackupServer(Varnel& ctx, Table& g) {
  bool backup;
  if (FileExists(ctx.Path("Varnel.ini"))) {
    backup = !ctx.IsPrimary;
  } else {
    backup = IsLocalAddress(g.Text("BackupAddress"));
    ctx.IsPrimary = !backup;
  }
  if (backup) {
    OpenBackupListener(ctx, g);
    Delay(ctx.io, kListenerStartPauseMs);
    Notice(ctx, evt::kInformation, "This is the Backup System.");
  } else {
    Notice(ctx, evt::kInformation, "This is the Primary System.");
  }
  return {};  // the backup listener stores no status
}

bool IsLocalAddress(const std::string& address) {
  in_addr want4{};
  in6_addr want6{};
  bool is4 = inet_pton(AF_INET, address.c_str(), &want4) == 1;
  bool is6 = !is4 && inet_pton(AF_INET6, address.c_str(), &want6) == 1;
  if (!is4 && !is6) return false;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool found = false;
  for (ifaddrs* a = list; a && !found; a = a->ifa_next) {
    if (!a->ifa_addr) continue;
    if (is4 && a->ifa_addr->sa_family == AF_INET)
      found = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == want4.s_addr;
    else if (is6 && a->ifa_addr->sa_family == AF_INET6)
      found = IN6_ARE_ADDR_EQUAL(&reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr, &want6);
  }
  freeifaddrs(list);
  return found;
}

}  // namespace varnel
