#include "service/event_list.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace varnel {
namespace {

void Fill(EventList& l, int n) {
  for (int i = 1; i <= n; ++i)
    l.Append("2026-01-01 00:00:00", kMajor, "node" + std::to_string(i), "m", kSourceSyslog);
}

TEST(EventList, HoldsThreeHundredAndDropsTheRest) {
  EventList l;
  Fill(l, 300);
  EXPECT_FALSE(l.Append("2026-01-01 00:00:01", kMajor, "node301", "m", kSourceSyslog));
  EXPECT_EQ(l.Count(), 300);
  EXPECT_EQ(l[300].Name, "node300");
  EXPECT_THROW(l[301], VarnelError);
  EXPECT_THROW(l[0], VarnelError);
}

TEST(EventList, RemoveAndCompactKeepOrderAndEmptyVacatedSlots) {
  EventList l;
  Fill(l, 5);
  l.Remove(2);
  l.Remove(4);
  l.Compact();
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l[1].Name, "node1");
  EXPECT_EQ(l[2].Name, "node3");
  EXPECT_EQ(l[3].Name, "node5");
  // The slots above the last entry are free again, so a later walk over all 300 positions
  // does not see copies of moved entries.
  for (int i = 4; i <= kMaxEvents; ++i) EXPECT_TRUE(l[i].Free()) << i;
  EXPECT_TRUE(l.Append("2026-01-01 00:00:02", kMinor, "node6", "m", kSourceSyslog));
  EXPECT_EQ(l[4].Name, "node6");
}

TEST(EventList, ClearEmptiesEveryField) {
  EventList l;
  Fill(l, 3);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_TRUE(l[1].Free());
  EXPECT_TRUE(l[1].Message.empty());
}

}  // namespace
}  // namespace varnel
