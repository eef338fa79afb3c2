// Incoming SMS: reads every message stored on the GSM terminal, deletes it there and
// appends sender TAB text to "SmsCmd.log" for the SMS command handler.
#pragma once
#include <string>

#include "platform/database.h"
#include "service/varnel.h"

namespace varnel {

// Messages taken from the terminal in one call; the rest stay for the next call.
constexpr std::size_t kSmsPerRead = 50;

// Starts the incoming SMS reader from the open Event_SMS row t: loads the storage and the
// protocol, deletes the messages stored while the service was down, and returns the started
// status text.
std::string StartSmsServer(Varnel& ctx, Table& t);

// One reading session. With clearOnly the messages are deleted without being acted on
// (service start). Messages already deleted are decoded even when a later command fails.
void ReadSms(Varnel& ctx, bool clearOnly);

// Decodes one SMS-DELIVER PDU (hex, no service centre field) into a line for "SmsCmd.log",
// which the reading call writes. A malformed PDU is reported and skipped.
void DecodePduIncom(Varnel& ctx, const std::string& pdu);

}  // namespace varnel
