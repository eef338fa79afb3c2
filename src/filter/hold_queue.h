// The hold queue: "down" events of correlating support groups wait in "Hold_Queue.log" until
// an "up" event clears them, a reminder falls due or they expire.
#pragma once
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "service/varnel.h"

namespace varnel {

// At most this many entries are taken from the file per run; the lines after them are
// written back unchanged.
constexpr int kMaxHeldEntries = 300;
// Held messages are cut to this many characters.
constexpr int kHeldMessageChars = 400;
// A group text of the hold queue longer than the first number of characters is cut to the
// second.
constexpr long kHqGroupTextMaxChars = 2500;
constexpr long kHqGroupTextCutChars = 2400;

// One line of the hold queue: seven TAB-separated fields.
struct HeldEntry {
  std::string GroupName;
  std::string Expiry;  // "YYYY-MM-DD HH:MM:SS"
  std::string EventTime;
  std::string Priority;
  std::string NodeName;
  std::string Message;
  std::string Reminded;  // "False" or "True" (read in any letter case; anything else is False)
};

// Splits a line at its first six TABs; false when it has fewer (the line is no entry).
bool ParseHoldQueueLine(std::string_view line, HeldEntry& entry);
// The line of an entry; TAB, CR and LF inside fields become blanks.
std::string FormatHoldQueueLine(const HeldEntry& entry);
// The entry for an event held now: expiry now + holdMinutes, message cut to 400 characters.
HeldEntry HoldEvent(const std::string& groupName, const LocalTime& now, int holdMinutes,
                    const std::string& eventTime, const std::string& priority,
                    const std::string& nodeName, const std::string& message);

// True when a held entry is of the group for the node, or also duplicates the event (same
// priority, message compared by criteria as TestForDuplicate_Hq does).
bool HeldForNode(const HeldEntry& e, const std::string& groupName, const std::string& nodeName);
bool HeldDuplicates(const HeldEntry& e, const std::string& groupName, const std::string& criteria,
                    const std::string& priority, const std::string& nodeName,
                    const std::string& message);

// Message comparison words of CriteriaDupEvent and MessageUp; any other word never matches.
inline constexpr const char* kWholeStringEqual = "Whole String Equal";
inline constexpr const char* kFirstPartEqual = "First Part Equal";
inline constexpr const char* kLastPartEqual = "Last Part Equal";
inline constexpr const char* kAnyStringValid = "Any String Valid";
inline constexpr const char* kMessageCriteria[] = {kWholeStringEqual, kFirstPartEqual,
                                                   kLastPartEqual, kAnyStringValid};

// True when the hold queue holds an entry of the group for the node.
bool TestForName_Hq(Varnel& ctx, const std::string& groupName, const std::string& nodeName);
// True when the event duplicates a held entry of the group (same priority and node, message
// compared by one of the criteria words).
bool TestForDuplicate_Hq(Varnel& ctx, const std::string& groupName, const std::string& criteria,
                         const std::string& priority, const std::string& nodeName,
                         const std::string& message);
// The message test for clearing a held entry by an up event.
bool TestForMessage_Hq(std::string_view heldMessage, std::string_view eventMessage,
                       std::string_view criteria);

// Walks the hold queue once: expiry with escalation and sending, one reminder, clearing by
// up events of the event list; fills ctx.filter.HqSuppGrp and rewrites the file.
void SuppGroupCheck_Hq(Varnel& ctx);

}  // namespace varnel
