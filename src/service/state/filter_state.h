// State of the support group filter for one cycle: the matched support group table and the
// hold group table, both read by the send-list builders in the same cycle.
#pragma once
#include <array>
#include <memory>
#include <string>

#include "platform/slots.h"

namespace varnel {

class PatternCache;

constexpr int kMaxSuppGroups = 255;
constexpr int kMaxGroupReceivers = 5;

// One entry of a group table; an entry with an empty Name is free.
struct SuppGroupEntry {
  std::string Name;  // SuppGrpName / HqSuppGrpName
  std::string Mess;  // SuppGrpMess / HqSuppGrpMess: the alarm texts joined by ">>"
  std::array<std::string, kMaxGroupReceivers> RecvName;  // RecvName1..5 at [0..4]
  std::array<std::string, kMaxGroupReceivers> RecvType;  // RecvType1..5 at [0..4]
  bool Free() const { return Name.empty(); }
  // Empties the entry in place (cheaper than assigning a new one to each of 255 every cycle).
  void Clear() {
    Name.clear();
    Mess.clear();
    for (auto& r : RecvName) r.clear();
    for (auto& r : RecvType) r.clear();
  }
};

// Entries are numbered 1..255. Free entries can lie between used ones.
using SuppGroupTable = Slots<SuppGroupEntry, kMaxSuppGroups>;

struct FilterState {
  SuppGroupTable SuppGrp;    // matched support groups, filled by SuppGroupCheck
  SuppGroupTable HqSuppGrp;  // hold queue groups, filled by SuppGroupCheck_Hq
  // Compiled patterns of StringCompareText/StringCompareBin, made on first use.
  std::shared_ptr<PatternCache> Patterns;
};

}  // namespace varnel
