#include "intake/trap_definitions.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace varnel {
namespace {

TEST(TrapDefinitionVar, SplitsAtTheFirstTwoSpaces) {
  const std::pair<const char*, const char*> cases[] = {
      // Two spaces: the name part is empty.
      {"1.3.6.1.2.1.2.2.1.8  ifOperStatus  up(1),down(2), testing(3)",
       "1.3.6.1.2.1.2.2.1.8||ifOperStatus  up(1),down(2), testing(3)"},
      {"1.3.6.1.4.1.9.1 severity critical(1),major(2)",
       "1.3.6.1.4.1.9.1|severity|critical(1),major(2)"},
      {"no-space-here", "o|n|t"},                           // unchanged
      {"1.3.6.1.4.1.9.2 onlyName", "1.3.6.1.4.1.9.2|n|t"},  // one space: only the OID
      {" ", "||"},
  };
  for (auto [text, expected] : cases) {
    TrapDefinitionVar v{"o", "n", "t"};
    ParseTrapDefinitionVar(text, v);
    EXPECT_EQ(v.varOid + "|" + v.varName + "|" + v.varType, expected) << text;
  }
}

class TrapDefinitionsTest : public testing::VarnelTest {};

TEST_F(TrapDefinitionsTest, LoadsTwoHundredRowsInTableOrder) {
  {
    Database db = Db();
    db.Begin();
    Table t = db.Open("Event_SNMP_MibTrap");
    for (int i = 1; i <= 201; ++i) {
      t.AddNew();
      t.Set("TrapOid", "1.3.6.1.4.1.1.0." + std::to_string(i));
      t.Update();
    }
    db.Commit();
  }
  ReadDb_Trap(ctx);
  EXPECT_EQ(ctx.snmp.SnmpTrap.size(), 200u);  // the 201st row is not loaded
  EXPECT_EQ(ctx.snmp.SnmpTrap[1].SnmpTrapOid, "1.3.6.1.4.1.1.0.1");
  EXPECT_EQ(ctx.snmp.SnmpTrap[200].SnmpTrapOid, "1.3.6.1.4.1.1.0.200");
}

}  // namespace
}  // namespace varnel
