// The listeners that the service opens at start and closes at stop, one row each: where
// their settings and status live, how they open and close, and what a failure writes.
#pragma once
#include <string>

#include "platform/database.h"
#include "service/varnel.h"

namespace varnel {

struct Listener {
  const char* name;   // "snmpAgent" ...
  const char* table;  // settings table
  const char* enabledColumn;
  const char* statusColumn = nullptr;  // none: the listener stores no status
  int entry = 0;                       // ListenerStatus entry, 0 for none
  // Starts the listener from its open settings row and returns its started status text.
  // None while this server has no such listener: enabled or not, it stays not started.
  std::string (*open)(Varnel&, Table&) = nullptr;
  void (*close)(Varnel&) = nullptr;   // none: nothing to stop
  const char* startedWord = nullptr;  // marks the listener as started in its status
  const char* notStarted = "";        // status when not enabled and after the stop
  // Failure entries for error 10048, for 10049, and for every error; none: the generic entry.
  const char* inUseEntry = nullptr;
  const char* notValidEntry = nullptr;
  const char* anyErrorEntry = nullptr;
  bool reasonLine = false;  // the failed status adds "Port was in use" or "IP Address is not valid"
};

// The row of a listener name; nullptr for any other name.
const Listener* FindListener(const std::string& name);

}  // namespace varnel
