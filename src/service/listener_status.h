// The status texts that the listeners write into their settings tables at start.
#pragma once
#include <string>
#include <vector>

#include "service/varnel.h"

namespace varnel {

// The word of a started status; stopping a listener looks for it in the stored status.
inline constexpr const char* kSnmpAgentStarted = "SNMP Agent Started";
inline constexpr const char* kTrapServerStarted = "Trap Server Started";
inline constexpr const char* kCommPortOpened = "Comm Port Opened";
inline constexpr const char* kSyslogServerStarted = "Syslog Server Started";
inline constexpr const char* kSmtpServerStarted = "SMTP Server Started";
inline constexpr const char* kSmsServerStarted = "SMS Server Started";
// The status of a listener that is not enabled or was stopped.
inline constexpr const char* kNotStarted = "Not Started";
inline constexpr const char* kNotOpened = "Not Opened";  // the alarm panel port

// The pause after a listener starts, so that its first events are served before the next
// listener opens.
constexpr int kListenerStartPauseMs = 500;

// T CR LF word, then each detail line joined by CR LF (T = DateFormat + " HH:MM:SS").
std::string StartedStatus(const Varnel& ctx, const std::string& word,
                          const std::vector<std::string>& details);
// T CR LF "Failed to Start" CR LF reason (reason may be empty), cut to 100 characters.
std::string FailedStatus(const Varnel& ctx, const std::string& reason);

}  // namespace varnel
