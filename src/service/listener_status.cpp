#include "service/listener_status.h"

#include "platform/text.h"
#include "service/errors.h"

namespace varnel {

std::string StartedStatus(const Varnel& ctx, const std::string& word,
                          const std::vector<std::string>& details) {
  std::string s = StatusTime(ctx) + "\r\n" + word;
  for (const auto& d : details) s += "\r\n" + d;
  return s;
}

std::string FailedStatus(const Varnel& ctx, const std::string& reason) {
  return LeftChars(StatusTime(ctx) + "\r\nFailed to Start\r\n" + reason, 100);
}

}  // namespace varnel
