#include "service/settings.h"

#include "platform/database.h"
#include "platform/snmp/up_time.h"
#include "service/errors.h"

namespace varnel {

void ReadDb_Updates(Varnel& ctx) {
  ctx.snmp.TrapTargets.clear();
  ctx.backup.RemoteBackupKept.reset();
  Guarded(ctx, "ReadDb_Updates", [&] {
    Database db = OpenDatabase(ctx);
    {
      Table t = db.Open("Event_CheckInterval");
      ctx.CheckInterval = t.Int16("CheckInterval");
    }
    Table g = db.Open("Settings_General");
    ctx.DebugMode = g.Text("DebugMode");
    ctx.BufferAllMessOffDuty = g.Flag("BufferAllMessOffDuty");
    ctx.NotifyDutyListOnOff = g.Flag("NotifyDutyListOnOff");
  });
}

snmp::TrapTarget ReadTrapTarget(Varnel& ctx, const std::string& table,
                                const std::string& switchColumn) {
  Database db = OpenDatabase(ctx);
  Table t = db.Open(table);
  snmp::TrapTarget target;
  target.forward = t.Flag(switchColumn);
  target.address = t.Text("TrapIpAddress");
  target.port = t.Int32("TrapUdpPort");  // ports above 32767 are common
  target.community = t.Text("TrapCommunity");
  target.protocol = t.Text("TrapProtocol");
  return target;
}

snmp::TrapTarget KeptTrapTarget(Varnel& ctx, const std::string& table,
                                const std::string& switchColumn) {
  const std::string key = table + "." + switchColumn;
  if (auto it = ctx.snmp.TrapTargets.find(key); it != ctx.snmp.TrapTargets.end()) return it->second;
  snmp::TrapTarget target = ReadTrapTarget(ctx, table, switchColumn);
  ctx.snmp.TrapTargets.emplace(key, target);
  return target;
}

snmp::Message NewServiceTrap(Varnel& ctx, const snmp::TrapTarget& target, int specific,
                             const std::string& v1AgentAddress) {
  return snmp::NewServiceTrap(*ctx.snmp.agent, target, specific, v1AgentAddress,
                              snmp::UpTimeTicks(ctx.StartTime, ctx.clock.Now()));
}

}  // namespace varnel
