#include "intake/mail_to_event.h"

#include "platform/files.h"
#include "platform/text.h"
#include "service/errors.h"

namespace varnel {

std::array<std::string, 3> GetCommandLine(const std::string& text) {
  std::array<std::string, 3> args;
  std::size_t current = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ' ' || c == '\t') && current < 2) {
      ++current;
    } else {
      args[current] += c;
    }
  }
  return args;
}

std::string MailPriority(const std::string& argument) {
  std::string p = Trim(ToUpper(argument));
  if (p.empty()) return kCritical;
  for (const char* w : {"1", "CRITICAL", "P1", "S1", "HIGH", "CRITICAL ERROR"})
    if (p == w) return kCritical;
  for (const char* w : {"2", "MAJOR", "P2", "S2", "SERVICE UNAVAILABLE", "SECURITY ISSUE"})
    if (p == w) return kMajor;
  for (const char* w : {"3", "MINOR", "P3", "INDETERMINATE", "S3"})
    if (p == w) return kMinor;
  for (const char* w : {"4", "WARNING", "P4", "S4"})
    if (p == w) return kWarning;
  return kNormal;
}

bool WriteSmtpMailEventsToEventLog(Varnel& ctx, const std::string& text) {
  return Guarded(ctx, "WriteSmtpMailEventsToEventLog", [&] {
    std::string now = ctx.clock.Now().Text();
    auto args = GetCommandLine(text);
    std::string source = Trim(LeftChars(args[0], 100));
    if (source.empty()) source = "noSourceArgument";
    std::string message = Trim(args[2]);
    std::string joined;
    for (std::size_t i = 0; i < message.size(); ++i) {
      if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
        joined += ">>";
        ++i;
      } else if (message[i] == '\r' || message[i] == '\n' || message[i] == '\t') {
        joined += ' ';
      } else {
        joined += message[i];
      }
    }
    while (!joined.empty() && joined.back() == '>') joined.pop_back();
    if (joined.empty()) joined = "noMessageArgument";
    AppendLines(ctx.Path("Event.log"),
                {now + "\t" + MailPriority(args[1]) + "\t" + source + "\t" + joined});
  });
}

}  // namespace varnel
