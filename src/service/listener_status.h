// The listeners opened at start: their tables, status columns and status texts.
#pragma once
#include <string>
#include <vector>

#include "service/varnel.h"

namespace varnel {

struct ListenerInfo {
  const char* name;          // "snmpAgent" ...
  const char* table;         // settings table
  const char* enabledColumn;
  const char* statusColumn;
  int entry;                 // ListenerStatus entry, 0 for none
  const char* startedWord;   // the text that marks the listener as started in its status
  const char* notStarted;    // "Not Started" or "Not Opened"
};

// The listeners with a status column, in start order; nullptr for other names.
const ListenerInfo* FindListener(const std::string& name);

// T CR LF word, then each detail line joined by CR LF (T = DateFormat + " HH:MM:SS").
std::string StartedStatus(const Varnel& ctx, const std::string& word,
                          const std::vector<std::string>& details);
// T CR LF "Failed to Start" CR LF reason (reason may be empty), cut to 100 characters.
std::string FailedStatus(const Varnel& ctx, const std::string& reason);

}  // namespace varnel
