// The two spellings of a line break in an alarm text: ">>" between the events of a group
// text inside the service, CR LF in what the transports hand on and in what they report.
#pragma once
#include <string>
#include <string_view>

namespace varnel {

// Milliseconds a transport rests after each delivery before the next one starts.
constexpr int kPauseAfterSendMs = 1000;

// Every occurrence of from in text replaced by to, scanning left to right.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

inline std::string GroupBreaksToCrLf(std::string_view text) {
  return ReplaceAll(text, ">>", "\r\n");
}
inline std::string CrLfToGroupBreaks(std::string_view text) {
  return ReplaceAll(text, "\r\n", ">>");
}

}  // namespace varnel
