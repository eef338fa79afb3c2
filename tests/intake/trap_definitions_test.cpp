#include "intake/trap_definitions.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/test_support.h"

namespace varnel {
namespace {

TEST(TrapDefinitionVar, SplitsAtTheFirstTwoSpaces) {
  TrapDefinitionVar v;
  ParseTrapDefinitionVar("1.3.6.1.2.1.2.2.1.8  ifOperStatus  up(1),down(2), testing(3)", v);
  EXPECT_EQ(v.varOid, "1.3.6.1.2.1.2.2.1.8");
  EXPECT_EQ(v.varName, "");  // two spaces: the name part is empty
  EXPECT_EQ(v.varType, "ifOperStatus  up(1),down(2), testing(3)");

  ParseTrapDefinitionVar("1.3.6.1.4.1.9.1 severity critical(1),major(2)", v);
  EXPECT_EQ(v.varOid, "1.3.6.1.4.1.9.1");
  EXPECT_EQ(v.varName, "severity");
  EXPECT_EQ(v.varType, "critical(1),major(2)");

  ParseTrapDefinitionVar("no-space-here", v);  // unchanged
  EXPECT_EQ(v.varName, "severity");
  ParseTrapDefinitionVar("1.3.6.1.4.1.9.2 onlyName", v);  // one space: only the OID
  EXPECT_EQ(v.varOid, "1.3.6.1.4.1.9.2");
  EXPECT_EQ(v.varName, "severity");
  ParseTrapDefinitionVar(" ", v);
  EXPECT_EQ(v.varOid, "");
  EXPECT_EQ(v.varType, "");
}

class TrapDefinitionsTest : public testing::VarnelTest {
 protected:
  void AddDefinition(const std::string& oid, const std::string& var1 = "") {
    Database db = Db();
    Table t = db.Open("Event_SNMP_MibTrap");
    AddDefinition(t, oid, var1);
  }
  static void AddDefinition(Table& t, const std::string& oid, const std::string& var1 = "") {
    t.AddNew();
    t.Set("TrapOid", oid);
    t.Set("TrapName", "name of " + oid);
    t.Set("Var1", var1);
    t.Set("LogEvent", true);
    t.Set("Priority", "$1");
    t.Set("NodeName", "$A");
    t.Set("Message", "msg $1");
    t.Update();
  }
};

TEST_F(TrapDefinitionsTest, LoadsTwoHundredRowsInTableOrder) {
  {
    Database db = Db();
    db.Begin();
    Table t = db.Open("Event_SNMP_MibTrap");
    for (int i = 1; i <= 201; ++i) AddDefinition(t, "1.3.6.1.4.1.1.0." + std::to_string(i));
    db.Commit();
  }
  ReadDb_Trap(ctx);
  const auto& defs = ctx.snmp.SnmpTrap;
  EXPECT_EQ(defs[1].SnmpTrapOid, "1.3.6.1.4.1.1.0.1");
  EXPECT_EQ(defs[200].SnmpTrapOid, "1.3.6.1.4.1.1.0.200");
  EXPECT_EQ(defs[200].SnmpTrapName, "name of 1.3.6.1.4.1.1.0.200");
  EXPECT_TRUE(defs[200].SnmpTrapLogEvent);
  EXPECT_EQ(defs[200].SnmpTrapPriority, "$1");
  EXPECT_EQ(defs.size(), 201u);  // slot 0 is not used; the 201st row is not loaded
  EXPECT_FALSE(FileExists(File("Debug/Db_SNMP_Traps.txt")));
}

TEST_F(TrapDefinitionsTest, DebugAllDumpsEveryDefinition) {
  AddDefinition("1.3.6.1.4.1.1.0.1", "1.3.6.1.4.1.1.1 sev critical(1)");
  ctx.DebugMode = "Event Sources";  // not enough for this dump
  ReadDb_Trap(ctx);
  EXPECT_FALSE(FileExists(File("Debug/Db_SNMP_Traps.txt")));
  ctx.DebugMode = "Debug All";
  ReadDb_Trap(ctx);
  ReadDb_Trap(ctx);  // the dump is rewritten, not appended
  EXPECT_EQ(ReadLines(File("Debug/Db_SNMP_Traps.txt")),
            (std::vector<std::string>{"SnmpTrapOid(1)=1.3.6.1.4.1.1.0.1",
                                      "SnmpTrapName(1)=name of 1.3.6.1.4.1.1.0.1",
                                      "SnmpTrapVarList(1).varOid(1)=1.3.6.1.4.1.1.1",
                                      "SnmpTrapVarList(1).varName(1)=sev",
                                      "SnmpTrapVarList(1).varType(1)=critical(1)",
                                      "SnmpTrapLogEvent(1)=True", "SnmpTrapPriority(1)=$1",
                                      "SnmpTrapNodeName(1)=$A", "SnmpTrapMessage(1)=msg $1",
                                      ""}));
}

}  // namespace
}  // namespace varnel
