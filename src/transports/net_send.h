// Pop-up messages: the text written to every terminal of a local user, as write(1) does;
// receivers whose name holds "RUNPROG" run a program with the text instead.
#pragma once
#include <cstdint>
#include <string>

#include "service/varnel.h"

namespace varnel {

// Results of a terminal message, with the numbers the status texts give words to.
constexpr int kNetSendInvalidName = 87;    // "Invalid parameter"
constexpr int kNetSendWriteFailed = 2136;  // "Network error"
constexpr int kNetSendNoSuchUser = 2273;   // "The user name could not be found"

// Writes text to every terminal that utmpFile lists for user and that accepts messages.
// 0 when at least one terminal took it; 87 for an empty or impossible user name; 2273 when
// the user is not logged in; 2136 when no terminal of the user could be written.
int SendToUserTerminals(const std::string& utmpFile, const std::string& user,
                        const std::string& text);

// Delivers message to address (a local user name, or for a RUNPROG receiver the program to
// run). The message's ">>" become line breaks and it is cut to 512 characters; status kSent or
// kSendFailed and the status text report the outcome.
void NetSend(Varnel& ctx, const std::string& receiverName, const std::string& address,
             std::string& message, std::int16_t& status, std::string& statusText);

}  // namespace varnel
