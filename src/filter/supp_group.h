// The support group filter: which enabled, on-duty groups the events of this cycle concern,
// with one composed alarm text per group.
#pragma once
#include <optional>
#include <string>

#include "filter/hold_queue.h"
#include "filter/wildcard.h"
#include "platform/database.h"
#include "service/varnel.h"

namespace varnel {

// Alarm texts of one group are cut to this many characters.
constexpr long kMaxGroupTextChars = 25000;

// The first condition that decided a group's verdict on an event, in the order the filter
// tests them. Matched means the group takes the event into its alarm text.
enum class GroupCondition {
  Matched,
  Disabled,
  OffDuty,
  Priority,
  NodeFilter,
  MessageFilter,
  Duplicate,      // a held entry of the group duplicates the event
  UpLeftToQueue,  // an up event whose down is held: the hold queue deals with it
  HeldDown,       // a down event that is held and not sent at once
};

// The hold queue as the filter consults it.
class HeldEvents {
 public:
  virtual ~HeldEvents() = default;
  virtual bool HasNode(const std::string& group, const std::string& node) = 0;
  virtual bool IsDuplicate(const std::string& group, const std::string& criteria,
                           const std::string& priority, const std::string& node,
                           const std::string& message) = 0;
};

// The queue file of the program directory, read at every question.
class HoldQueueFile : public HeldEvents {
 public:
  explicit HoldQueueFile(Varnel& ctx) : ctx_(ctx) {}
  bool HasNode(const std::string& group, const std::string& node) override {
    return TestForName_Hq(ctx_, group, node);
  }
  bool IsDuplicate(const std::string& group, const std::string& criteria,
                   const std::string& priority, const std::string& node,
                   const std::string& message) override {
    return TestForDuplicate_Hq(ctx_, group, criteria, priority, node, message);
  }

 private:
  Varnel& ctx_;
};

// Whether the group on the current row of t takes events at the clock's time at all:
// Disabled, OffDuty, or Matched when it does.
GroupCondition GroupGate(const Clock& clock, Table& t);

// The event filter of the group on the current row of a SuppGrp_Perm table; the table must
// stay on that row while events are judged.
class GroupFilter {
 public:
  GroupFilter(Varnel& ctx, Table& group);

  struct Verdict {
    GroupCondition decided;
    bool hold;  // the event goes into the hold queue
  };
  Verdict Judge(const InEvent& ev, HeldEvents& queue);
  // The hold queue entry for ev held at now.
  HeldEntry HoldEntry(const LocalTime& now, const InEvent& ev);

  const std::string& Name() const { return name_; }

 private:
  struct Correlation {
    bool SkipDupEvent;
    std::string CriteriaDupEvent, PriorityUp, PrioritySearchUp;
    int HoldTimer;
    bool SendMessFirstDown, SendUpNotInQueue;
  };
  const Correlation& Corr();

  Table& group_;
  std::string name_, priority_, prioritySearch_;
  PatternList node_, message_;
  bool correlation_;
  std::optional<Correlation> corr_;  // read when first needed
};

// Fills ctx.filter.SuppGrp from the event list. Correlating groups hold their "down" events
// in "Hold_Queue.log"; groups that ask for acknowledgement add a line to "ReqAck.log".
void SuppGroupCheck(Varnel& ctx);

}  // namespace varnel
