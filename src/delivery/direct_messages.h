// Messages that name their receiver themselves and bypass support groups, duty times and
// the hold queue: direct SNMP and mail messages from drop files, test messages from
// Receiver_Test, and the daily test event.
#pragma once
#include "delivery/process_send_list.h"
#include "service/varnel.h"

namespace varnel {

// Messages taken from one drop file per cycle; the lines after them wait for the next.
constexpr int kMaxDirectMessages = 50;

// Sends the messages of "SnmpMess.log" (written by trap reception).
void ProcessSnmpMessage(Varnel& ctx);
// Sends the messages of "SmtpMess.log" (written by the SMTP listener).
void ProcessSmtpMessage(Varnel& ctx);
// The same two with a given transport for every type.
void ProcessSnmpMessage(Varnel& ctx, Transport deliver);
void ProcessSmtpMessage(Varnel& ctx, Transport deliver);
// Sends every row of Receiver_Test and deletes it.
void ProcessTestMessage(Varnel& ctx);
// Once a day at TestSendTime, appends the configured test event to the event list.
void ProcessDailyTestMessage(Varnel& ctx);

}  // namespace varnel
