#include "service/errors.h"

#include <new>
#include <stdexcept>

#include "platform/text.h"
#include "service/date_format.h"

namespace varnel {

void ReportError(Varnel& ctx, const std::string& procedure, int number,
                 const std::string& description) {
  std::string entry = "[";
  entry += std::to_string(number);
  entry += "] ";
  entry += description;
  entry += " (Module: ";
  entry += procedure;
  entry += ")";
  ctx.eventLog.Write(evt::kError, evt::kRuntimeError, entry);
  ++ctx.ErrorCount;
  ctx.LastErrorText =
      FormatDateTime(ctx.DateFormat, ctx.clock.Now()) + ": " + LeftChars(description, 240);
}

void ReportErrorText(Varnel& ctx, const std::string& entry, const std::string& lastErrorText) {
  ctx.eventLog.Write(evt::kError, evt::kRuntimeError, entry);
  ++ctx.ErrorCount;
  ctx.LastErrorText =
      FormatDateTime(ctx.DateFormat, ctx.clock.Now()) + ": " + LeftChars(lastErrorText, 240);
}

void Notice(Varnel& ctx, int type, const std::string& text) {
  ctx.eventLog.Write(type, evt::kNotice, text);
}

int ErrorNumberOf(const std::exception& e) {
  if (auto* v = dynamic_cast<const VarnelError*>(&e)) return v->Number();
  if (dynamic_cast<const std::bad_alloc*>(&e)) return 7;  // Out of memory
  if (dynamic_cast<const std::out_of_range*>(&e)) return err::kSubscript;
  if (dynamic_cast<const std::overflow_error*>(&e)) return err::kOverflow;
  return 5;  // Invalid procedure call or argument
}

std::string StatusTime(const Varnel& ctx) {
  return FormatDateTime(ctx.DateFormat + " HH:MM:SS", ctx.clock.Now());
}

}  // namespace varnel
