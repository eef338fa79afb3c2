// The service context: owns the globals of every subsystem and refers to the platform.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/event_log.h"
#include "platform/slots.h"
#include "service/event_list.h"
#include "service/state/backup_state.h"
#include "service/state/delivery_state.h"
#include "service/state/filter_state.h"
#include "service/state/gsm_state.h"
#include "service/state/intake_state.h"
#include "service/state/log_state.h"
#include "service/state/snmp_state.h"

namespace asio {
class io_context;
}  // namespace asio

namespace varnel {

// Entries of ListenerStatus (1-based, as the agent reports them).
enum ListenerEntry {
  kLsTrapServer = 1,
  kLsCommPort = 2,
  kLsLogFile = 3,
  kLsSysLog1 = 4,
  kLsSysLog2 = 5,
  kLsSmtpServer = 6,
  kLsSmsServer = 7,
};
constexpr int kListenerEntries = 7;

// What the cycle needs to know of the listeners; set by the listeners themselves.
struct ListenerPorts {
  int trapLocalPort = 0;              // 0 while the trap listener is not bound
  std::array<bool, 2> sysLogBound{};  // Syslog 1 and 2 bound to a local port
  bool commPortIn = false;            // the alarm panel port was opened (it may be lost since)
};

// ServiceState: whether the cycle runs.
enum class ServiceStateCode : std::int16_t { Running = 1, Paused = 2 };
// UpdateRequest: 1 asks the next cycle to re-read the settings.
enum class UpdateRequestCode : std::int16_t { Reread = 1, None = 2 };
// StatusStep: what the service is doing, as the agent reports it.
enum class StatusStepCode : std::int16_t {
  Paused = 1,
  Countdown = 2,
  Checking = 3,
  Sending = 4,            // a transport prepares a delivery
  SendingMessage = 5,     // a transport hands a message over
  Maintenance = 6,        // database backup or housekeeping
  ReceivingDatabase = 7,  // the standby replaces its database
};
// An entry of ListenerStatus.
enum class ListenerStatusCode : std::int16_t { Unknown = 0, Started = 1, NotStarted = 2 };

// A change of the service's state asked for through the agent while a cycle runs (the agent
// is served during the cycle's waits). The request is answered at once; the change waits for
// the cycle to end, so that an activation does not drop files and queues the cycle is
// working on.
struct PendingAgentRequest {
  bool activate = false;  // the activation that drops what arrived while the service was not active
  std::optional<ServiceStateCode> serviceState;
  std::optional<UpdateRequestCode> updateRequest;
};

struct Varnel {
  Varnel(asio::io_context& io, const Clock& clock, EventLog& eventLog, std::string programDir);
  ~Varnel();
  Varnel(const Varnel&) = delete;
  Varnel& operator=(const Varnel&) = delete;

  // "\X" of the program directory.
  std::string Path(const std::string& name) const { return ProgramDir + "/" + name; }
  std::string DatabasePath() const { return Path("Varnel.mdb"); }

  asio::io_context& io;
  const Clock& clock;
  EventLog& eventLog;

  // General settings.
  std::string ProgramDir;
  std::string ConnectionString;  // the database path once the service has started
  std::string DateFormat;
  std::string DebugMode;
  std::string DbVersion;
  std::int16_t CheckInterval = 30;
  LocalTime StartTime;
  bool BufferAllMessOffDuty = false;
  bool NotifyDutyListOnOff = false;

  // Ini switches.
  bool ReadSmsCmd = false;
  bool SmtpMultiHomed = false;
  bool IsPrimary = true;

  // Main cycle.
  ServiceStateCode ServiceState = ServiceStateCode::Running;
  std::int16_t Countdown = 0;
  StatusStepCode StatusStep = StatusStepCode::Countdown;
  std::string StatusText;
  int LastHour = 0;
  std::string LastMinute;
  bool LogChanged = false;
  bool DatabaseSent = false;
  UpdateRequestCode UpdateRequest = UpdateRequestCode::None;
  bool PollMe = false;
  std::int16_t PollMeTimeout = 0;
  std::int32_t PollCountdown = 0;
  bool SmsServerActive = false;
  bool TimerEnabled = false;
  bool CycleRunning = false;
  PendingAgentRequest agentRequest;  // applied by the host when the running cycle ends

  // Error state.
  std::uint16_t ErrorCount = 0;
  std::string LastErrorText = "No internal execution error.";

  Slots<ListenerStatusCode, kListenerEntries> ListenerStatus;
  ListenerPorts listeners;

  EventList events;
  FilterState filter;
  DeliveryState delivery;
  IntakeState intake;
  SnmpState snmp;
  GsmState gsm;
  LogState logs;
  BackupState backup;
  int ReqAckIdCounter = 900;

  // Socket event traces: tick of the last trace per link.
  std::map<std::string, std::uint64_t> traceTicks;
};

// Sets what the agent reports as the service's activity.
inline void SetStatus(Varnel& ctx, StatusStepCode step, std::string text) {
  ctx.StatusStep = step;
  ctx.StatusText = std::move(text);
}

}  // namespace varnel
