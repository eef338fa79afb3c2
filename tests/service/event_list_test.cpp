#include "service/event_list.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace varnel {
namespace {

TEST(EventList, HoldsThreeHundredAndCompactEmptiesTheSlotsItVacates) {
  EventList l;
  for (int i = 1; i <= 301; ++i)
    l.Append("2026-01-01 00:00:00", kMajor, "node" + std::to_string(i), "m", kSourceSyslog);
  EXPECT_EQ(l.Count(), 300);
  EXPECT_EQ(l[300].Name, "node300");
  EXPECT_THROW(l[301], VarnelError);
  EXPECT_THROW(l[0], VarnelError);
  for (int i = 1; i <= 300; ++i)
    if (i != 1 && i != 3 && i != 300) l.Remove(i);
  l.Compact();
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l[1].Name + l[2].Name + l[3].Name, "node1node3node300");
  // Free slots above the last entry: a later walk over all 300 sees no copies.
  for (int i = 4; i <= kMaxEvents; ++i) EXPECT_TRUE(l[i].Free()) << i;
  EXPECT_TRUE(l.Append("2026-01-01 00:00:02", kMinor, "node6", "m", kSourceSyslog));
  EXPECT_EQ(l[4].Name, "node6");
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_TRUE(l[1].Free() && l[1].Message.empty());
}

}  // namespace
}  // namespace varnel
