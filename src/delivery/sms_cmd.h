// SMS commands: the lines of "SmsCmd.log" acknowledge alarms, run one of five prepared
// programs (answering with its reply file), or become events.
#pragma once
#include <string>
#include <string_view>

#include "service/varnel.h"

namespace varnel {

// Longest wait for a reply file, in seconds.
constexpr int kMaxReplyWaitSeconds = 32;
// Characters of one SMS answer.
constexpr long kSmsReplyChars = 160;
// Bytes read of a reply file; the rest could not be sent anyway.
constexpr std::size_t kReplyFileBytes = 64 * 1024;

enum class SmsCommandKind {
  None,     // no TAB: not a command line
  Program,  // "1" .. "5"
  Ack,      // "9" and two more digits
  Text,     // anything else
};

// One line of "SmsCmd.log" taken apart.
struct SmsCommand {
  SmsCommandKind kind = SmsCommandKind::None;
  std::string sender;      // trimmed
  std::string text;        // everything after the TAB
  int program = 0;         // Program: 1 .. 5
  std::string parameters;  // Program: trimmed text after the first blank
  int alarmId = 0;         // Ack: the three digits
  std::string status;      // Ack: "1" unless the answer gives one
  std::string info;        // Ack
};

SmsCommand ParseSmsCommand(std::string_view line);

// Milliseconds to wait for a reply file: WaitForReplyTime held to 0 .. 32 seconds.
int ReplyWaitMs(int waitForReplyTime);

// Works through "SmsCmd.log". Each line leaves the file before it is acted on, so an error
// never repeats it; after a program whose reply was awaited the remaining lines wait in the
// file for the next call.
void ProcessSmsCmd(Varnel& ctx);

// The reply file as one SMS text: lines joined, control characters as blanks, trimmed,
// at most 160 characters; "noReply" when nothing is left.
void ProcessSmsReply(Varnel& ctx, std::string& reply);

}  // namespace varnel
