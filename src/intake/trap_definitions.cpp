#include "intake/trap_definitions.h"

#include "platform/files.h"
#include "platform/text.h"
#include "service/errors.h"
#include "service/trace.h"

namespace varnel {
namespace {

void DumpDefinitions(Varnel& ctx) {
  if (!TraceEnabled(ctx, TraceCategory::DebugAllOnly)) return;
  TraceLines t(ctx);
  for (int i = 1; i <= kTrapDefinitions; ++i) {
    const TrapDefinition& d = ctx.snmp.SnmpTrap[static_cast<std::size_t>(i)];
    if (d.SnmpTrapOid.empty()) continue;
    t.Field("SnmpTrapOid", i, d.SnmpTrapOid).Field("SnmpTrapName", i, d.SnmpTrapName);
    std::string prefix = "SnmpTrapVarList(" + std::to_string(i) + ")";
    for (int k = 1; k <= kTrapVariables; ++k) {
      const TrapDefinitionVar& v = d.SnmpTrapVarList[static_cast<std::size_t>(k)];
      if (v.varOid.empty()) continue;
      t.Field(prefix + ".varOid", k, v.varOid)
          .Field(prefix + ".varName", k, v.varName)
          .Field(prefix + ".varType", k, v.varType);
    }
    t.Field("SnmpTrapLogEvent", i, d.SnmpTrapLogEvent ? "True" : "False")
        .Field("SnmpTrapPriority", i, d.SnmpTrapPriority)
        .Field("SnmpTrapNodeName", i, d.SnmpTrapNodeName)
        .Field("SnmpTrapMessage", i, d.SnmpTrapMessage)
        .Blank();
  }
  RewriteLines(ctx.Path(std::string("Debug/") + trace::kDbSnmpTraps), t.Lines());
}

}  // namespace

void ParseTrapDefinitionVar(const std::string& text, TrapDefinitionVar& entry) {
  if (text.empty() || text == " ") {
    entry = TrapDefinitionVar{};
    return;
  }
  auto first = text.find(' ');
  if (first == std::string::npos) return;
  auto second = text.find(' ', first + 1);
  entry.varOid = Trim(text.substr(0, first));
  if (second == std::string::npos) return;
  entry.varName = Trim(text.substr(first + 1, second - first - 1));
  entry.varType = Trim(text.substr(second + 1));
}

void ReadDb_Trap(Varnel& ctx) {
  Guarded(ctx, "ReadDb_Trap", [&] {
    auto& defs = ctx.snmp.SnmpTrap;
    for (auto& d : defs) d = TrapDefinition{};
    Database db = OpenDatabase(ctx);
    Table t = db.Open("Event_SNMP_MibTrap");
    for (int i = 1; i <= kTrapDefinitions && !t.Eof(); ++i, t.MoveNext()) {
      TrapDefinition& d = defs[static_cast<std::size_t>(i)];
      d.SnmpTrapOid = t.Text("TrapOid");
      d.SnmpTrapName = t.Text("TrapName");
      for (int k = 1; k <= kTrapVariables; ++k)
        ParseTrapDefinitionVar(t.Text("Var" + std::to_string(k)),
                               d.SnmpTrapVarList[static_cast<std::size_t>(k)]);
      d.SnmpTrapLogEvent = t.Flag("LogEvent");
      d.SnmpTrapPriority = t.Text("Priority");
      d.SnmpTrapNodeName = t.Text("NodeName");
      d.SnmpTrapMessage = t.Text("Message");
    }
    DumpDefinitions(ctx);
  });
}

}  // namespace varnel
