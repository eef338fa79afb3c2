// Turning the text of an event mail into an "Event.log" line.
#pragma once
#include <array>
#include <string>

#include "service/varnel.h"

namespace varnel {

// Splits "source priority message" like a command line: quotes group, and the third
// argument takes the rest of the text.
std::array<std::string, 3> GetCommandLine(const std::string& text);

// The priority word of a mail priority argument ("P1", "MAJOR", "3" ...).
std::string MailPriority(const std::string& argument);

// Appends the event of a mail text to "Event.log".
// False when the line could not be written (the error is reported).
bool WriteSmtpMailEventsToEventLog(Varnel& ctx, const std::string& text);

}  // namespace varnel
