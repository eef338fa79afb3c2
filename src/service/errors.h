// The error convention: one guard per procedure body; errors become event-log entry 106.
#pragma once
#include <exception>
#include <string>

#include "platform/database.h"
#include "platform/error.h"
#include "service/varnel.h"

namespace varnel {

// Entry "[n] description (Module: procedure)"; ErrorCount + 1; LastErrorText from the description.
void ReportError(Varnel& ctx, const std::string& procedure, int number,
                 const std::string& description);
// An entry with its own text; LastErrorText := time ": " lastErrorText.
void ReportErrorText(Varnel& ctx, const std::string& entry, const std::string& lastErrorText);
// A notice (107) of type information or warning; not an error.
void Notice(Varnel& ctx, int type, const std::string& text);

// Error number of an exception: its own for VarnelError, a classic one otherwise.
int ErrorNumberOf(const std::exception& e);

// Runs body; any error abandons the rest of it and is reported under procedure's name.
// Returns false when the body failed.
template <class Body>
bool Guarded(Varnel& ctx, const std::string& procedure, Body&& body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    ReportError(ctx, procedure, ErrorNumberOf(e), e.what());
  }
  return false;
}

// A connection to the service's database (one per procedure).
inline Database OpenDatabase(const Varnel& ctx) {
  return Database(ctx.ConnectionString.empty() ? ctx.DatabasePath() : ctx.ConnectionString);
}

// Current time in DateFormat + " HH:MM:SS", as status texts carry it.
std::string StatusTime(const Varnel& ctx);

}  // namespace varnel
